#include "ProcessRecord.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "Device/Device.h"
#include "Device/DeviceFiles.h"

namespace launcher {
namespace {

constexpr std::size_t kMaximumRecordSize = 64;

// Polls `process` until it is gone or `timeout` passes.
bool waitGone(const ProcessIdentity& process, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (isAlive(process)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::poll(nullptr, 0, 5);
  }
  return true;
}

}  // namespace

std::optional<unsigned long long> processStartTime(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(in, text)) return std::nullopt;
  // The name (field 2) may hold spaces and parentheses: the fields after it follow the last ')'.
  const auto close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  std::string state;
  fields >> state;
  if (state == "Z" || state == "X") return std::nullopt;
  std::string skipped;
  for (int field = 4; field < 22; ++field) fields >> skipped;  // up to the start time, field 22
  unsigned long long startTime = 0;
  if (!(fields >> startTime)) return std::nullopt;
  return startTime;
}

std::filesystem::path recordPath(const std::string& name) {
  const auto pids = device::runSubdirectory("pids");
  if (pids.empty()) return {};
  return pids / (name + ".pid");
}

bool writeRecord(const std::string& name, pid_t pid) {
  const auto path = recordPath(name);
  const auto start = processStartTime(pid);
  if (path.empty() || !start) return false;
  return device::replaceFile(path, std::to_string(pid) + ' ' + std::to_string(*start) + '\n');
}

std::optional<ProcessIdentity> readRecord(const std::string& name) {
  const auto path = recordPath(name);
  if (path.empty()) return std::nullopt;
  // A record is what `down` stops: one reached through a link could name any process.
  const int fd = device::openInDevice(path, O_RDONLY);
  if (fd < 0) return std::nullopt;
  char text[kMaximumRecordSize + 1] = {};
  ssize_t length;
  do {
    length = ::read(fd, text, kMaximumRecordSize);
  } while (length < 0 && errno == EINTR);
  ::close(fd);
  if (length <= 0 || static_cast<std::size_t>(length) >= kMaximumRecordSize) return std::nullopt;
  long long pid = 0;
  unsigned long long startTime = 0;
  if (std::sscanf(text, "%lld %llu", &pid, &startTime) != 2 || pid <= 1 || pid > 0x3fffffff)
    return std::nullopt;
  return ProcessIdentity{static_cast<pid_t>(pid), startTime};
}

void removeRecord(const std::string& name) {
  const auto path = recordPath(name);
  std::error_code ignored;
  if (!path.empty()) std::filesystem::remove(path, ignored);
}

bool isAlive(const ProcessIdentity& process) {
  const auto start = processStartTime(process.pid);
  return start && *start == process.startTime;
}

bool stopProcess(const ProcessIdentity& process, std::chrono::milliseconds grace) {
  if (!isAlive(process)) return true;
  ::kill(process.pid, SIGTERM);
  if (waitGone(process, grace)) return true;
  if (isAlive(process)) ::kill(process.pid, SIGKILL);
  return waitGone(process, std::chrono::seconds(5));
}

}  // namespace launcher
