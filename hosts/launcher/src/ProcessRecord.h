#pragma once
// The pid records under run/pids/: "<pid> <start time>", the start time (from /proc) telling a
// recorded process from a later one that happens to get the same pid.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace launcher {

struct ProcessIdentity {
  pid_t pid = 0;
  unsigned long long startTime = 0;
};

// The process's start time, or nothing when it does not exist or has already ended (a zombie).
std::optional<unsigned long long> processStartTime(pid_t pid);

// run/pids/<name>.pid of the current device.
std::filesystem::path recordPath(const std::string& name);

// Records `pid` under `name` (written beside and renamed into place); false on failure.
bool writeRecord(const std::string& name, pid_t pid);
std::optional<ProcessIdentity> readRecord(const std::string& name);
void removeRecord(const std::string& name);

// True while the recorded process itself still runs.
bool isAlive(const ProcessIdentity& process);

// SIGTERM, then SIGKILL once `grace` has passed; true when the process is gone.
bool stopProcess(const ProcessIdentity& process, std::chrono::milliseconds grace);

}  // namespace launcher
