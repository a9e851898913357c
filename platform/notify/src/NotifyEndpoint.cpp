#include "NotifyEndpoint.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "NotifyDirectory.h"

namespace notify_internal {

namespace {

// Socket paths are limited to 108 bytes; going through the folder's descriptor keeps the address
// short however deep the device directory is.
struct FolderAddress {
  int folder = -1;
  sockaddr_un address{};

  FolderAddress(const std::filesystem::path& path, const std::string& name) {
    folder = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%s", folder,
                  name.c_str());
  }
  ~FolderAddress() {
    if (folder >= 0) ::close(folder);
  }
  bool valid() const { return folder >= 0; }
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }
};

std::string newIdentifier() {
  std::random_device entropy;
  char text[64];
  std::snprintf(text, sizeof text, "%d-%08x%08x", static_cast<int>(::getpid()), entropy(),
                entropy());
  return text;
}

}  // namespace

NotifyEndpoint* NotifyEndpoint::forDirectory(const NotifyDirectory& directory,
                                             PostReceiver receiver) {
  static std::mutex lock;
  static std::map<std::filesystem::path, NotifyEndpoint*> endpoints;
  std::lock_guard guard(lock);
  if (auto found = endpoints.find(directory.root()); found != endpoints.end()) {
    return found->second;
  }

  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  const std::string identifier = newIdentifier();
  FolderAddress address(directory.endpointsFolder(), identifier);
  if (!address.valid() || ::bind(fd, address.get(), sizeof address.address) != 0) {
    ::close(fd);
    return nullptr;
  }
  // Kept for the life of the process, as is its thread.
  auto* endpoint = new NotifyEndpoint();
  endpoint->notifyRoot_ = directory.root();
  endpoint->identifier_ = identifier;
  endpoint->socket_ = fd;
  endpoint->receiver_ = receiver;
  std::thread([endpoint] { endpoint->receiveLoop(); }).detach();
  endpoints.emplace(directory.root(), endpoint);
  return endpoint;
}

void NotifyEndpoint::receiveLoop() {
  char buffer[kMaximumNameLength];
  for (;;) {
    const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (n == 0) continue;
    receiver_(notifyRoot_, std::string_view(buffer, static_cast<std::size_t>(n)));
  }
}

SendResult sendToEndpoint(const std::filesystem::path& endpointsFolder,
                          const std::string& identifier, std::string_view name) {
  if (name.empty() || name.size() > kMaximumNameLength) return SendResult::failed;
  FolderAddress address(endpointsFolder, identifier);
  if (!address.valid()) return SendResult::failed;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return SendResult::failed;
  // A receiver that has stopped reading must not hold the poster up for long.
  timeval timeout{0, 200 * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  ssize_t n;
  do {
    n = ::sendto(fd, name.data(), name.size(), MSG_NOSIGNAL, address.get(), sizeof address.address);
  } while (n < 0 && errno == EINTR);
  const int error = errno;
  ::close(fd);
  if (n == static_cast<ssize_t>(name.size())) return SendResult::delivered;
  if (error == ECONNREFUSED || error == ENOENT || error == ENOTSOCK) return SendResult::gone;
  return SendResult::failed;
}

}  // namespace notify_internal
