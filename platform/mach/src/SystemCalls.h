#pragma once
// The system calls the Mach stand-in makes, behind one table so that a test can inject EINTR,
// EAGAIN or short writes. The helpers below retry what the platform would retry.

#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>

namespace mach_internal {

struct SystemCalls {
  ssize_t (*sendmsg)(int fd, const msghdr* message, int flags);
  ssize_t (*recvmsg)(int fd, msghdr* message, int flags);
  int (*poll)(pollfd* fds, nfds_t count, int timeoutMs);
  ssize_t (*write)(int fd, const void* data, size_t length);
};

// The table in use; tests replace entries and put the defaults back.
SystemCalls& systemCalls();
const SystemCalls& defaultSystemCalls();

// write() until every byte is written; false on an error other than EINTR.
bool writeAll(int fd, const void* data, std::size_t length);

// poll() for `events` on `fd` within `timeoutMs` (-1: no limit), across EINTR. 1 when ready,
// 0 on time-out, -1 on error.
int waitFor(int fd, short events, int timeoutMs);

}  // namespace mach_internal
