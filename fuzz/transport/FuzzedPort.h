#pragma once
// A receive right of this process in a device of its own, datagrams sent straight to its socket
// (with a memfd beside them or not), and the receive that the run loop does: a message that gets
// through is read through the transport's getters to its last byte, its reply right given up and
// its body handed back.

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "Vellamor2/Messaging/LMConnection.h"

namespace fuzzed_port {

inline mach_port_t port = MACH_PORT_NULL;
inline int sender = -1;
inline sockaddr_un address{};

inline void open(const char* deviceTemplate) {
  if (port != MACH_PORT_NULL) return;
  std::string directory = deviceTemplate;
  if (!mkdtemp(directory.data())) abort();
  setenv("VELLAMOR_DEVICE", directory.c_str(), 1);
  if (mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port) != KERN_SUCCESS) abort();
  const std::string path = mach_stand_in::receiveSocketPath(port);
  if (path.empty() || path.size() >= sizeof address.sun_path) abort();
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  sender = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

// Sends the bytes as one datagram, with `memory` (when not negative) as its descriptor.
inline void send(const uint8_t* data, size_t size, int memory) {
  iovec part{const_cast<uint8_t*>(data), size};
  msghdr header{};
  header.msg_name = &address;
  header.msg_namelen = sizeof address;
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (memory >= 0) {
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    cmsghdr* rights = CMSG_FIRSTHDR(&header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &memory, sizeof memory);
  }
  sendmsg(sender, &header, MSG_DONTWAIT);
}

inline void receiveAndRelease() {
  static LMResponseBuffer buffer;
  if (mach_msg(&buffer.message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer, port, 0,
               MACH_PORT_NULL) != MACH_MSG_SUCCESS)
    return;
  const auto* body = static_cast<const uint8_t*>(LMMessageGetData(&buffer.message));
  const uint32_t length = LMMessageGetDataLength(&buffer.message);
  volatile uint8_t sum = 0;
  if (body != nullptr && length > 0) {
    for (uint32_t i = 0; i < length; i += 512) sum = static_cast<uint8_t>(sum + body[i]);
    sum = static_cast<uint8_t>(sum + body[length - 1]);
  }
  const mach_port_t reply = buffer.message.head.msgh_remote_port;
  if (reply != MACH_PORT_NULL) mach_port_deallocate(mach_task_self(), reply);
  LMResponseBufferFree(&buffer);
}

}  // namespace fuzzed_port
