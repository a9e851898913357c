#pragma once
// The control requests every host with a screen answers the same way:
//
//   capture FILE [SCALE]      the screen drawn into a PNG (SCALE device pixels per point, 2)
//   figures, screen-figures   refreshes seen and new frames among them (ScreenWatch.h); a host
//                             with figures of its own answers "figures" itself
//   first-change-after NS     CLOCK_MONOTONIC of the first new frame after NS: "ok none" or
//                             "ok <ns>" (how a render's road to the screen is timed)

#include <HostControl/ControlRequest.h>
#include <UIKit/UIView.h>

#include <optional>
#include <string>

namespace screen {

// The reply to one of the requests above about `root`; nothing for any other request.
std::optional<std::string> answerScreenRequest(const control::ControlRequest& request,
                                               UIView* root);

// Draws `root` into a PNG at `scale`; false and a reason on failure.
bool captureScreen(UIView* root, const std::string& path, double scale, std::string* error);

}  // namespace screen
