#pragma once
// SpringBoard's control service ("SpringBoard" in the device's run/control/): the commands with
// which the launcher, the demo and the tests drive its lock screen.
//
//   show-artwork [FILE]   the now-playing artwork comes on screen (FILE: a PNG to show)
//   hide-artwork          the artwork goes away
//   rotate [ORIENTATION]  the artwork controller is told of a rotation (1 to 4; default 3)
//   blank | light         the screen goes off or on ("com.apple.springboard.hasBlankedScreen")
//   now-playing T|A[|E|D[|P]] the title, artist and play-pause glyph (NowPlayingInfo.h)
//   capture, live-frames, frame-figures: the screen's frames (HostFrames/ScreenFrames.h)
//   figures, first-change-after NS: as every host's screen (ScreenRequests.h)

#include <string>

#include <HostControl/ControlRequest.h>

namespace springboard {

// Offers the service; false (and a log line) when it cannot be offered.
bool startControlService();

// One command's reply ("ok ..." or "error ...").
std::string handleControlRequest(const control::ControlRequest& request);

}  // namespace springboard
