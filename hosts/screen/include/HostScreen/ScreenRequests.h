#pragma once
// The control requests every host with a screen answers the same way:
//
//   capture, live-frames, frame-figures: the render server's (HostFrames/ScreenFrames.h)
//   screen-figures            refreshes seen and new frames among them (ScreenWatch.h)
//   figures                   what the plot on the screen did (PlotWatch.h), then the same
//   first-change-after NS     CLOCK_MONOTONIC of the first new frame after NS: "ok none" or
//                             "ok <ns>" (how a render's road to the screen is timed)

#include <HostControl/ControlService.h>
#include <UIKit/UIView.h>

#include <optional>
#include <string>

namespace screen {

// The reply to one of the requests above about the host's screen; nothing for any other request.
std::optional<std::string> answerScreenRequest(const control::ControlRequest& request);

// A host with a screen comes up: its frames drawn from `root` by the render server, its control
// service offered under `hostName`; false (and a log line) when the service cannot be offered.
bool serveScreenHost(const std::string& hostName, UIView* root, control::ControlHandler handler);

}  // namespace screen
