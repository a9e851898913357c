#pragma once
// The system calls the Mach stand-in makes, called through this table so that a test can make
// them fail the way the kernel may (EINTR, a short write) and check the stand-in copes.

#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

namespace mach_stand_in {

struct SystemCalls {
  ssize_t (*sendmsg)(int fd, const msghdr* message, int flags);
  ssize_t (*recvmsg)(int fd, msghdr* message, int flags);
  int (*poll)(pollfd* fds, nfds_t count, int timeoutMilliseconds);
  ssize_t (*pwrite)(int fd, const void* data, size_t size, off_t offset);
  int (*connect)(int fd, const sockaddr* address, socklen_t length);
};

// The table in use; tests replace entries and restore them with `restoreSystemCalls`.
SystemCalls& systemCalls();
void restoreSystemCalls();

}  // namespace mach_stand_in
