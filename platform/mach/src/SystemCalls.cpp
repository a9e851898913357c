#include "SystemCalls.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace mach_internal {

const SystemCalls& defaultSystemCalls() {
  static const SystemCalls calls{&::sendmsg, &::recvmsg, &::poll, &::write};
  return calls;
}

SystemCalls& systemCalls() {
  static SystemCalls calls = defaultSystemCalls();
  return calls;
}

bool writeAll(int fd, const void* data, std::size_t length) {
  const auto* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = systemCalls().write(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

int waitFor(int fd, short events, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  while (true) {
    int remaining = -1;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      remaining = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd entry{fd, events, 0};
    const int ready = systemCalls().poll(&entry, 1, remaining);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    return 1;
  }
}

}  // namespace mach_internal
