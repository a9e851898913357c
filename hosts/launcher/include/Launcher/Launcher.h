#pragma once
// Booting a device: `up` starts a supervisor that runs the five host programs (restarting any
// host that dies, as the phone's launch daemon does); `down` stops the supervisor and
// every host by the pids recorded under run/pids/, never by name; `status` reads those records.

#include <sys/types.h>

#include <string>
#include <vector>

namespace launcher {

struct HostProgram {
  const char* name;       // the program's name and the name of its records
  const char* phonePath;  // where the device keeps it
};

// The five host programs, in boot order.
const std::vector<HostProgram>& hostPrograms();

struct ProcessStatus {
  std::string name;
  pid_t pid = 0;  // 0: no record
  bool running = false;
};

// Boots the current device (VELLAMOR_DEVICE); false and a message when it is not a device, is
// already up, or the hosts do not start.
bool up(std::string* error);
// Stops the current device's processes; true when none is left.
bool down(std::string* error);
// The supervisor ("launcher") first, then the hosts.
std::vector<ProcessStatus> status();

}  // namespace launcher
