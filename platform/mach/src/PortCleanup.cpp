// A receive right's socket outlives a process that is killed; the name is never bound again, so
// a socket that refuses a connection is dead for good and may be removed by anyone.

#include "PortCleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <mach/SystemCallHooks.h>
#include <mach/mach.h>
#include "Envelope.h"
#include "RunDirectory.h"

namespace mach_stand_in {

UniqueDescriptor connectTo(const std::string& address) {
  sockaddr_un socketAddress;
  socklen_t length;
  if (!socketAddressFor(address, socketAddress, length)) {
    errno = ENOENT;
    return {};
  }
  UniqueDescriptor connection(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!connection.valid()) return {};
  for (;;) {
    if (systemCalls().connect(connection.get(), reinterpret_cast<sockaddr*>(&socketAddress),
                              length) == 0)
      return connection;
    if (errno == EINTR) continue;
    const int error = errno;
    if (error == ECONNREFUSED) removeDeadSocket(address);
    errno = error;
    return {};
  }
}

bool portIsAlive(const std::string& address) {
  return connectTo(address).valid();
}

void notifySendOnceDestroyed(const std::string& address, uint32_t generation) {
  UniqueDescriptor connection = connectTo(address);
  if (!connection.valid()) return;
  struct {
    Envelope envelope;
    mach_msg_header_t header;
  } notification{};
  notification.envelope.magic = kEnvelopeMagic;
  notification.envelope.messageSize = sizeof(mach_msg_header_t);
  notification.envelope.destinationDisposition = MACH_MSG_TYPE_PORT_SEND_ONCE;
  notification.envelope.destinationGeneration = generation;
  notification.header.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_PORT_SEND_ONCE, 0);
  notification.header.msgh_size = sizeof(mach_msg_header_t);
  notification.header.msgh_id = MACH_NOTIFY_SEND_ONCE;
  static_assert(sizeof notification == sizeof(Envelope) + sizeof(mach_msg_header_t));
  iovec part{&notification, sizeof notification};
  msghdr header{};
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  // A full queue drops it: the client then ends in its receive time-out.
  while (systemCalls().sendmsg(connection.get(), &header, MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
         errno == EINTR) {
  }
}

void removeDeadSocket(const std::string& address) {
  const int directory = runDirectoryDescriptor();
  if (directory >= 0) unlinkat(directory, address.c_str(), 0);
}

std::size_t removeDeadPortSockets() {
  const int directory = runDirectoryDescriptor();
  if (directory < 0) return 0;
  const int listing = openat(directory, "ports", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  if (listing < 0) return 0;
  DIR* entries = fdopendir(listing);
  if (!entries) {
    close(listing);
    return 0;
  }
  std::size_t removed = 0;
  while (const dirent* entry = readdir(entries)) {
    if (entry->d_name[0] == '.') continue;
    const std::string address = std::string("ports/") + entry->d_name;
    sockaddr_un socketAddress;
    socklen_t length;
    if (!socketAddressFor(address, socketAddress, length)) continue;
    UniqueDescriptor probe(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!probe.valid()) break;
    int result;
    do {
      result = connect(probe.get(), reinterpret_cast<sockaddr*>(&socketAddress), length);
    } while (result != 0 && errno == EINTR);
    if (result != 0 && errno == ECONNREFUSED && unlinkat(directory, address.c_str(), 0) == 0)
      ++removed;
  }
  closedir(entries);
  return removed;
}

}  // namespace mach_stand_in
