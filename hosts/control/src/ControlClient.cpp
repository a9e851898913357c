#include "HostControl/ControlClient.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ControlSocket.h"
#include "HostControl/ControlRequest.h"
#include "HostControl/ControlService.h"

namespace control {

bool request(const std::string& hostName, const std::string& text, std::string* reply,
             std::chrono::milliseconds timeout) {
  std::string ignored;
  std::string& out = reply != nullptr ? *reply : ignored;
  if (text.empty() || text.size() > kMaxMessageBytes) {
    out = "request too long";
    return false;
  }
  const auto address = socketAddress(serviceAddress(hostName));
  if (!address) {
    out = "no device";
    return false;
  }
  const int connection = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (connection < 0) {
    out = std::strerror(errno);
    return false;
  }
  bool answered = false;
  if (::connect(connection, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
    out = hostName + " offers no control service (" + std::strerror(errno) + ")";
  } else if (::send(connection, text.data(), text.size(), MSG_NOSIGNAL) !=
             static_cast<ssize_t>(text.size())) {
    out = std::string("cannot send: ") + std::strerror(errno);
  } else {
    pollfd ready{connection, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(timeout.count())) != 1) {
      out = hostName + " did not answer in time";
    } else {
      char buffer[kMaxMessageBytes];
      const ssize_t received = ::recv(connection, buffer, sizeof buffer, 0);
      if (received <= 0) {
        out = hostName + " closed the connection without an answer";
      } else {
        out.assign(buffer, static_cast<std::size_t>(received));
        answered = out.rfind("ok", 0) == 0;
      }
    }
  }
  ::close(connection);
  return answered;
}

}  // namespace control
