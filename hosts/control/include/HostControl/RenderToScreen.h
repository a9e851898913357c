#pragma once
// The road of one rendered buffer to a host's screen, timed from outside: the audio daemon is
// paused (silence is not captured, so the plot holds still) and resumed, and the host says when
// its screen first showed a new frame. The time covers the daemon's next render, the capture and
// send, the merge into the history, the wait for the next display-link tick, the drawing (in an
// app, the history's fetch too) and the display refresh that shows it.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

namespace control {

// Milliseconds from resuming the daemon `daemon` (SIGUSR2 after SIGUSR1) to the first new frame
// of `hostName`'s screen; nothing when none came within `timeout`. The daemon is playing again
// afterwards.
std::optional<double> timeRenderToScreen(
    pid_t daemon, const std::string& hostName = "SpringBoard",
    std::chrono::milliseconds timeout = std::chrono::milliseconds(500));

}  // namespace control
