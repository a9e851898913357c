#pragma once
// The road of one rendered buffer to a host's screen, timed from outside: the audio daemon is
// paused through its control service (silence is not captured, so the plot holds still) and
// resumed, and the host says when its screen first showed a new frame. The time covers the
// request to resume, the daemon's next render, the capture and send, the merge into the history,
// the wait for the next display-link tick, the drawing (in an app, the history's fetch too) and
// the display refresh that shows it.

#include <chrono>
#include <optional>
#include <string>

namespace control {

// The audio daemon's control service.
inline constexpr const char* kAudioDaemon = "mediaserverd";

// Milliseconds from asking the audio daemon to resume (after a pause) to the first new frame of
// `hostName`'s screen; nothing when the daemon did not answer or no frame came within `timeout`.
// The daemon is asked to play again afterwards.
std::optional<double> timeRenderToScreen(
    const std::string& hostName = "SpringBoard",
    std::chrono::milliseconds timeout = std::chrono::milliseconds(500));

}  // namespace control
