#pragma once
// The road of one rendered buffer to the lock screen, timed from outside: the audio daemon is
// paused (silence is not captured, so the plot holds still) and resumed, and SpringBoard says
// when its lock screen first drew a newer packet. The time covers the daemon's next render, the
// capture and send, the merge into the history and the wait for the next display-link tick.

#include <sys/types.h>

#include <chrono>
#include <optional>

namespace control {

// Milliseconds from resuming the daemon `daemon` (SIGUSR2 after SIGUSR1) to the end of the
// first lock-screen drawing of a newer packet; nothing when none came within `timeout`. The
// daemon is playing again afterwards.
std::optional<double> timeRenderToLockScreen(
    pid_t daemon, std::chrono::milliseconds timeout = std::chrono::milliseconds(500));

}  // namespace control
