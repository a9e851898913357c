// mach_msg: sending and receiving one message as one datagram.

#include <fcntl.h>
#include <linux/memfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "PortSpace.h"
#include "SystemCalls.h"
#include "WireFormat.h"
#include "mach/mach.h"

using namespace mach_internal;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left before `deadline`, or -1 when there is no deadline.
int remainingMs(bool limited, Clock::time_point deadline) {
  if (!limited) return -1;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// A copy of the body in a sealed memfd: the receiver's view never changes afterwards.
UniqueFd sealedCopy(const void* body, std::size_t size) {
  UniqueFd fd(
      static_cast<int>(::syscall(SYS_memfd_create, "mach-ool", MFD_CLOEXEC | MFD_ALLOW_SEALING)));
  if (!fd) return {};
  if (size > 0 && !writeAll(fd.get(), body, size)) return {};
  if (::fcntl(fd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
    return {};
  return fd;
}

mach_msg_return_t sendMessage(mach_msg_header_t* msg, mach_msg_size_t sendSize, bool limited,
                              mach_msg_timeout_t timeout) {
  if (sendSize < sizeof(mach_msg_header_t)) return MACH_SEND_MSG_TOO_SMALL;
  const mach_msg_size_t size = msg->msgh_size;
  if (size < sizeof(mach_msg_header_t) || size > sendSize || size > kMaxMessageSize)
    return MACH_SEND_INVALID_HEADER;

  const mach_msg_bits_t remoteType = MACH_MSGH_BITS_REMOTE(msg->msgh_bits);
  const mach_msg_bits_t localType = MACH_MSGH_BITS_LOCAL(msg->msgh_bits);
  Envelope envelope{};
  envelope.magic = kEnvelopeMagic;
  std::string destination;
  auto& space = PortSpace::shared();
  {
    std::lock_guard guard(space.lock);
    PortRight* remote = space.find(msg->msgh_remote_port);
    if (remote == nullptr) return MACH_SEND_INVALID_DEST;
    const bool fits =
        (remoteType == MACH_MSG_TYPE_MOVE_SEND_ONCE && remote->kind == PortRight::Kind::sendOnce) ||
        ((remoteType == MACH_MSG_TYPE_COPY_SEND || remoteType == MACH_MSG_TYPE_MOVE_SEND) &&
         remote->kind == PortRight::Kind::send) ||
        (remoteType == MACH_MSG_TYPE_MAKE_SEND && remote->kind == PortRight::Kind::receive) ||
        (remoteType == MACH_MSG_TYPE_COPY_SEND && remote->kind == PortRight::Kind::receive);
    if (!fits) return MACH_SEND_INVALID_DEST;
    destination = remote->address;
    if (msg->msgh_local_port != MACH_PORT_NULL) {
      PortRight* local = space.find(msg->msgh_local_port);
      if (localType != MACH_MSG_TYPE_MAKE_SEND_ONCE || local == nullptr ||
          local->kind != PortRight::Kind::receive)
        return MACH_SEND_INVALID_REPLY;
      envelope.replyAddressLength = static_cast<uint32_t>(local->address.size());
      std::memcpy(envelope.replyAddress, local->address.data(), local->address.size());
    }
  }

  UniqueFd body;
  if (msg->msgh_bits & MACH_MSGH_BITS_COMPLEX) {
    if (size < kComplexMinimumSize) return MACH_SEND_INVALID_DATA;
    const auto* bytes = reinterpret_cast<const char*>(msg);
    uint32_t count = 0;
    std::memcpy(&count, bytes + kDescriptorCountOffset, sizeof count);
    mach_msg_ool_descriptor_t descriptor{};
    std::memcpy(&descriptor, bytes + kFirstDescriptorOffset, sizeof descriptor);
    if (count != 1 || descriptor.type != MACH_MSG_OOL_DESCRIPTOR) return MACH_SEND_INVALID_DATA;
    if (descriptor.size > 0 && descriptor.address == 0) return MACH_SEND_INVALID_DATA;
    body = sealedCopy(reinterpret_cast<const void*>(descriptor.address), descriptor.size);
    if (!body) return MACH_SEND_NO_BUFFER;
  }

  sockaddr_un target{};
  target.sun_family = AF_UNIX;
  std::memcpy(target.sun_path, destination.data(), destination.size());
  iovec parts[2] = {{&envelope, sizeof envelope}, {msg, size}};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr header{};
  header.msg_name = &target;
  header.msg_namelen = sizeof target;
  header.msg_iov = parts;
  header.msg_iovlen = 2;
  if (body) {
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    cmsghdr* rights = CMSG_FIRSTHDR(&header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    const int fd = body.get();
    std::memcpy(CMSG_DATA(rights), &fd, sizeof fd);
  }

  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
  while (true) {
    const ssize_t sent =
        systemCalls().sendmsg(senderSocket(), &header, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent >= 0) break;
    if (errno == EINTR) continue;
    if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR || errno == ENOTSOCK)
      return MACH_SEND_INVALID_DEST;
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS) return MACH_SEND_NO_BUFFER;
    // The receiver's queue is full: wait for it to drain, within the send time-out.
    if (limited && remainingMs(true, deadline) == 0) return MACH_SEND_TIMED_OUT;
    ::poll(nullptr, 0, 1);
  }

  if (remoteType == MACH_MSG_TYPE_MOVE_SEND_ONCE) {
    std::lock_guard guard(space.lock);
    space.rights.erase(msg->msgh_remote_port);
  }
  return MACH_MSG_SUCCESS;
}

void countDrop() {
  auto& space = PortSpace::shared();
  std::lock_guard guard(space.lock);
  ++space.dropped;
}

// Reads one datagram from `socket` and, when it is a well-formed message from this user, lays it
// out in `msg`. Returns MACH_MSG_SUCCESS, MACH_RCV_TOO_LARGE, or MACH_RCV_INVALID_DATA for a
// datagram that was dropped (the caller waits for the next).
mach_msg_return_t receiveOne(int socket, mach_msg_header_t* msg, mach_msg_size_t rcvSize,
                             mach_port_name_t rcvName) {
  thread_local std::vector<char> datagram(sizeof(Envelope) + kMaxMessageSize + 1);
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred)) + CMSG_SPACE(4 * sizeof(int))];
  iovec part{datagram.data(), datagram.size()};
  msghdr header{};
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  ssize_t length;
  do {
    length = systemCalls().recvmsg(socket, &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
  } while (length < 0 && errno == EINTR);
  if (length < 0) return MACH_RCV_TIMED_OUT;  // nothing there after all

  // Every descriptor that arrived is ours to close unless it becomes the body.
  std::vector<UniqueFd> descriptors;
  bool fromThisUser = false;
  for (cmsghdr* c = CMSG_FIRSTHDR(&header); c != nullptr; c = CMSG_NXTHDR(&header, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
      const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (std::size_t i = 0; i < count; ++i) {
        int fd;
        std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
        descriptors.emplace_back(fd);
      }
    } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS) {
      ucred credentials;
      std::memcpy(&credentials, CMSG_DATA(c), sizeof credentials);
      fromThisUser = credentials.uid == ::getuid();
    }
  }

  auto drop = [] {
    countDrop();
    return MACH_RCV_INVALID_DATA;
  };
  if ((header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0 || !fromThisUser) return drop();
  if (static_cast<std::size_t>(length) < sizeof(Envelope) + sizeof(mach_msg_header_t))
    return drop();
  Envelope envelope;
  std::memcpy(&envelope, datagram.data(), sizeof envelope);
  if (envelope.magic != kEnvelopeMagic || envelope.replyAddressLength > kMaxAddressLength)
    return drop();
  const std::size_t size = static_cast<std::size_t>(length) - sizeof(Envelope);
  char* bytes = datagram.data() + sizeof(Envelope);
  mach_msg_header_t received;
  std::memcpy(&received, bytes, sizeof received);
  if (received.msgh_size != size) return drop();

  const bool complex = (received.msgh_bits & MACH_MSGH_BITS_COMPLEX) != 0;
  void* mapped = nullptr;
  std::size_t mappedLength = 0;
  mach_msg_ool_descriptor_t descriptor{};
  if (complex) {
    if (size < kComplexMinimumSize || descriptors.size() != 1) return drop();
    uint32_t count = 0;
    std::memcpy(&count, bytes + kDescriptorCountOffset, sizeof count);
    std::memcpy(&descriptor, bytes + kFirstDescriptorOffset, sizeof descriptor);
    if (count != 1 || descriptor.type != MACH_MSG_OOL_DESCRIPTOR) return drop();
    struct stat info {};
    if (::fstat(descriptors[0].get(), &info) != 0 || info.st_size < 0 ||
        static_cast<uint64_t>(info.st_size) < descriptor.size)
      return drop();
    const int seals = ::fcntl(descriptors[0].get(), F_GET_SEALS);
    if (seals < 0 || (seals & F_SEAL_WRITE) == 0)
      return drop();  // the sender could still change it
    if (descriptor.size > 0) {
      mappedLength = descriptor.size;
      mapped = ::mmap(nullptr, mappedLength, PROT_READ, MAP_PRIVATE, descriptors[0].get(), 0);
      if (mapped == MAP_FAILED) return drop();
    }
  } else if (!descriptors.empty()) {
    return drop();
  }

  if (size + sizeof(mach_msg_trailer_t) > rcvSize) {
    if (mapped != nullptr) ::munmap(mapped, mappedLength);
    return MACH_RCV_TOO_LARGE;
  }

  auto& space = PortSpace::shared();
  mach_port_name_t replyName = MACH_PORT_NULL;
  {
    std::lock_guard guard(space.lock);
    if (envelope.replyAddressLength > 0)
      replyName = space.insert(PortRight{
          PortRight::Kind::sendOnce,
          std::string(envelope.replyAddress, envelope.replyAddressLength), UniqueFd(), 0});
    if (mapped != nullptr) space.mappings[reinterpret_cast<uintptr_t>(mapped)] = mappedLength;
  }
  std::memcpy(msg, bytes, size);
  msg->msgh_remote_port = replyName;
  msg->msgh_local_port = rcvName;
  msg->msgh_voucher_port = 0;
  msg->msgh_bits = (complex ? MACH_MSGH_BITS_COMPLEX : 0) |
                   (replyName != MACH_PORT_NULL ? MACH_MSG_TYPE_PORT_SEND_ONCE : 0);
  if (complex) {
    descriptor.address = reinterpret_cast<uint64_t>(mapped);
    std::memcpy(reinterpret_cast<char*>(msg) + kFirstDescriptorOffset, &descriptor,
                sizeof descriptor);
  }
  const mach_msg_trailer_t trailer{0, sizeof(mach_msg_trailer_t)};
  std::memcpy(reinterpret_cast<char*>(msg) + size, &trailer, sizeof trailer);
  return MACH_MSG_SUCCESS;
}

mach_msg_return_t receiveMessage(mach_msg_header_t* msg, mach_msg_size_t rcvSize,
                                 mach_port_name_t rcvName, bool limited,
                                 mach_msg_timeout_t timeout) {
  if (rcvSize < sizeof(mach_msg_header_t)) return MACH_RCV_TOO_LARGE;
  int socket = mach_port_get_descriptor(rcvName);
  if (socket < 0) return MACH_RCV_INVALID_NAME;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
  while (true) {
    const int ready = waitFor(socket, POLLIN, remainingMs(limited, deadline));
    if (ready < 0) return MACH_RCV_INVALID_NAME;
    if (ready == 0) return MACH_RCV_TIMED_OUT;
    const mach_msg_return_t status = receiveOne(socket, msg, rcvSize, rcvName);
    if (status == MACH_MSG_SUCCESS || status == MACH_RCV_TOO_LARGE) return status;
    // A dropped or vanished datagram: keep waiting for a real message within the time-out.
  }
}

}  // namespace

mach_msg_return_t mach_msg(mach_msg_header_t* msg, mach_msg_option_t option,
                           mach_msg_size_t sendSize, mach_msg_size_t rcvSize,
                           mach_port_name_t rcvName, mach_msg_timeout_t timeout,
                           mach_port_name_t notify) {
  (void)notify;
  if (msg == nullptr) return MACH_SEND_INVALID_DATA;
  if (option & MACH_SEND_MSG) {
    const mach_msg_return_t status =
        sendMessage(msg, sendSize, (option & MACH_SEND_TIMEOUT) != 0, timeout);
    if (status != MACH_MSG_SUCCESS) return status;
  }
  if (option & MACH_RCV_MSG)
    return receiveMessage(msg, rcvSize, rcvName, (option & MACH_RCV_TIMEOUT) != 0, timeout);
  return MACH_MSG_SUCCESS;
}
