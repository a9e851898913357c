#include "System/DeviceSystem.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Device/Device.h"

namespace {

constexpr int kAnswerWaitMilliseconds = 5000;
constexpr std::size_t kLongestLine = 4096;
constexpr int kCommandNotRun = 127 << 8;

// The launch daemon's answer to `line`; false when none came.
bool ask(const std::string& line, std::string* answer) {
  const auto control = device::runSubdirectory("control");
  const std::string path = (control / device_system::kLaunchDaemonService).string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (control.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int connection = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (connection < 0) return false;
  bool answered = false;
  pollfd ready{connection, POLLIN, 0};
  char buffer[kLongestLine];
  if (::connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      ::send(connection, line.data(), line.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(line.size()) &&
      ::poll(&ready, 1, kAnswerWaitMilliseconds) == 1) {
    const ssize_t received = ::recv(connection, buffer, sizeof buffer, 0);
    if (received > 0) {
      answer->assign(buffer, static_cast<std::size_t>(received));
      answered = true;
    }
  }
  ::close(connection);
  return answered;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int system(const char* command) {
  if (!device::isConfigured()) {
    errno = ENOSYS;
    return command == nullptr ? 0 : -1;
  }
  if (command == nullptr) return 1;  // the launch daemon stands in for the shell
  const std::string line = std::string(device_system::kSystemRequest) + " " + command;
  if (line.size() > kLongestLine || line.find_first_of("\r\n") != std::string::npos)
    return kCommandNotRun;
  std::string answer;
  if (!ask(line, &answer)) {
    errno = ESRCH;
    return -1;
  }
  if (answer.rfind("ok ", 0) != 0) return kCommandNotRun;
  char* end = nullptr;
  const long status = std::strtol(answer.c_str() + 3, &end, 10);
  return end != answer.c_str() + 3 && status >= 0 && status <= 0xffff ? static_cast<int>(status)
                                                                      : kCommandNotRun;
}
