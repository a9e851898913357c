#pragma once
// The C library's `system` inside a device. On the phone a command line runs in a shell of the
// phone; on this machine a shell would reach every process of every device and of anyone else
// ("killall" stops all processes of a name). So inside a device `system` starts no shell: it hands
// the command line to the device's launch daemon (the supervisor), which decides what to carry out
// on the device's own recorded processes, and returns the wait status it answers. A process gets
// this `system` by linking this library (before the C library, as a program's own libraries are).
//
// The request goes to the supervisor's control service (run/control/<kLaunchDaemonService>) as
// the line "system COMMAND"; the answer is "ok STATUS" (a wait status) or "error REASON".
//   - the launch daemon refuses the command, or the command is not one line: 127 << 8, as a shell
//     that cannot find the command;
//   - no launch daemon answers (the device is down): -1 with errno ESRCH;
//   - outside a device: nothing is run, -1 with errno ENOSYS (and 0 for a null command: no shell).

namespace device_system {

inline constexpr const char* kLaunchDaemonService = "launcher";
inline constexpr const char* kSystemRequest = "system";

}  // namespace device_system
