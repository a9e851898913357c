#include "HostControl/ControlService.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CoreFoundation/CFRunLoop.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "ControlSocket.h"
#include "Device/Device.h"
#include "Device/DeviceFiles.h"

namespace control {
namespace {

// How long an accepted caller may take to send its request: the main thread waits that long.
constexpr int kRequestWaitMilliseconds = 200;

bool callerIsOurUser(int connection) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  return ::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
         credentials.uid == ::getuid();
}

void reply(int connection, const std::string& text) {
  const std::size_t length = std::min(text.size(), kMaxMessageBytes);
  (void)::send(connection, text.data(), length, MSG_NOSIGNAL);
}

// The connection of the request being handled, while its handler runs; taken by replyLater.
int connectionBeingAnswered = -1;
bool replyTaken = false;

void serveOne(const ControlHandler& handler, int connection) {
  if (!callerIsOurUser(connection)) return;
  pollfd ready{connection, POLLIN, 0};
  if (::poll(&ready, 1, kRequestWaitMilliseconds) != 1) return;
  char buffer[kMaxMessageBytes + 1];
  const ssize_t received = ::recv(connection, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
  if (received <= 0) return;
  std::string error;
  const auto request =
      static_cast<std::size_t>(received) > kMaxMessageBytes
          ? std::nullopt
          : parseControlRequest(buffer, static_cast<std::size_t>(received), &error);
  if (!request) {
    reply(connection, "error " + (error.empty() ? std::string("request too long") : error));
    return;
  }
  connectionBeingAnswered = connection;
  replyTaken = false;
  const std::string text = handler(*request);
  connectionBeingAnswered = -1;
  if (!replyTaken) reply(connection, text);
}

void acceptCallers(int listener, void* info) {
  answerCallers(listener, *static_cast<ControlHandler*>(info));
}

}  // namespace

void answerCallers(int listener, const ControlHandler& handler) {
  for (;;) {
    const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return;
    serveOne(handler, connection);
    ::close(connection);
  }
}

LaterReply::~LaterReply() {
  send("error no reply");
}

void LaterReply::send(const std::string& text) {
  if (connection_ < 0) return;
  reply(connection_, text);
  ::close(connection_);
  connection_ = -1;
}

LaterReply replyLater() {
  if (connectionBeingAnswered < 0 || replyTaken) return LaterReply();
  const int copy = ::fcntl(connectionBeingAnswered, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return LaterReply();
  replyTaken = true;
  return LaterReply(copy);
}

std::string serviceAddress(const std::string& hostName) {
  const auto directory = device::runSubdirectory("control");
  if (directory.empty()) return {};
  return (directory / hostName).string();
}

int listen(const std::string& hostName, std::string* error) {
  auto fail = [&](std::string reason) {
    if (error != nullptr) *error = std::move(reason);
    return -1;
  };
  const std::string path = serviceAddress(hostName);
  const auto address = socketAddress(path);
  if (!address) return fail("no run directory for the control service");
  // The socket belongs to whoever holds the lock beside it, for as long as that host runs: a
  // second instance neither takes the socket nor removes it. The lock is never closed; the
  // kernel releases it when the host ends.
  const int ownership =
      device::openInDevice(std::filesystem::path(path).parent_path() /
                               (std::string(".").append(hostName).append(".lock")),
                           O_RDWR | O_CREAT);
  if (ownership < 0) return fail("cannot lock " + path + ": " + std::strerror(errno));
  if (::flock(ownership, LOCK_EX | LOCK_NB) != 0) {
    ::close(ownership);
    return fail("another " + hostName + " serves this device");
  }
  const int listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener < 0) {
    ::close(ownership);
    return fail(std::string("socket: ") + std::strerror(errno));
  }
  ::unlink(path.c_str());  // a previous boot's
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
      ::listen(listener, 8) != 0) {
    const std::string reason = std::strerror(errno);
    ::close(listener);
    ::close(ownership);
    return fail("cannot offer " + path + ": " + reason);
  }
  ::chmod(path.c_str(), 0600);
  return listener;
}

bool serve(const std::string& hostName, ControlHandler handler, std::string* error) {
  const int listener = listen(hostName, error);
  if (listener < 0) return false;
  // The service lives as long as the host.
  auto* service = new ControlHandler(std::move(handler));
  CFRunLoopSourceRef source =
      CFRunLoopSourceCreateWithDescriptor(listener, &acceptCallers, service);
  CFRunLoopAddSource(CFRunLoopGetMain(), source, kCFRunLoopCommonModes);
  return true;
}

}  // namespace control
