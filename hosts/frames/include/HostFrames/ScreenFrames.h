#pragma once
// The frames of a host's screen. The main thread only commits the screen's layer tree (an
// immutable snapshot); the process's render server draws it on its own thread, so a capture or
// a live frame never holds the main thread for the drawing. The control requests:
//
//   capture FILE [SCALE]      the screen drawn into a PNG (SCALE device pixels per point, 2);
//                             answered once the file is written: "ok captured_us=N commit_us=N"
//   live-frames on [SCALE]    30 times a second, the screen committed and drawn as a JPEG frame
//                             into run/frames/<host>.frame (LiveFrame.h); SCALE 1 by default
//   live-frames off           no more frames
//   frame-figures             "ok commits=N commit_max_us=N commit_p50_us=N commit_cpu_max_us=N
//                             draw_p50_us=N frames=N": what committing held the main thread (and
//                             worked on it, preemption aside), what drawing took

#include <HostControl/ControlRequest.h>
#include <UIKit/UIView.h>

#include <optional>
#include <string>

namespace frames {

// Starts the render server for `host`'s screen `root` (which lives as long as the host). Main
// thread, once.
void startScreenFrames(const std::string& host, UIView* root);

// The reply to one of the requests above; nothing for any other request. Main thread.
std::optional<std::string> answerFrameRequest(const control::ControlRequest& request);

}  // namespace frames
