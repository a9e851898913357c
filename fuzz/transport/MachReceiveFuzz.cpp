// Arbitrary datagrams, with or without a memfd beside them, sent to a port of this process and
// received as the run loop receives them. A received message is read through the transport's
// getters, its body touched and freed, its reply right given up.
//
// Input: byte 0 picks the memfd (bit 0: send one, bit 1: seal it), bytes 1-4 its size (capped),
// the rest is the datagram.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "Vellamor2/Messaging/LMConnection.h"

namespace {

mach_port_t port = MACH_PORT_NULL;
int sender = -1;
sockaddr_un address{};

void setUp() {
  char directory[] = "/tmp/fuzz_mach_receive.XXXXXX";
  if (!mkdtemp(directory)) abort();
  setenv("VELLAMOR_DEVICE", directory, 1);
  if (mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port) != KERN_SUCCESS) abort();
  const std::string path = mach_stand_in::receiveSocketPath(port);
  if (path.empty() || path.size() >= sizeof address.sun_path) abort();
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  sender = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

int memoryFor(uint8_t choice, uint32_t size) {
  if ((choice & 1) == 0) return -1;
  int fd = memfd_create("fuzz", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return -1;
  if (ftruncate(fd, size % (1u << 20)) != 0) {
    close(fd);
    return -1;
  }
  if (choice & 2) fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
  return fd;
}

void sendDatagram(const uint8_t* data, size_t size, int memory) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (port == MACH_PORT_NULL) setUp();
  if (size < 5) return 0;
  uint32_t memorySize;
  std::memcpy(&memorySize, data + 1, sizeof memorySize);
  const int memory = memoryFor(data[0], memorySize);
  sendDatagram(data + 5, size - 5, memory);
  if (memory >= 0) close(memory);

  static LMResponseBuffer buffer;
  if (mach_msg(&buffer.message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer, port, 0,
               MACH_PORT_NULL) != MACH_MSG_SUCCESS)
    return 0;
  const auto* body = static_cast<const uint8_t*>(LMMessageGetData(&buffer.message));
  const uint32_t length = LMMessageGetDataLength(&buffer.message);
  volatile uint8_t sum = 0;
  if (body)
    for (uint32_t i = 0; i < length; i += 512) sum = static_cast<uint8_t>(sum + body[i]);
  const mach_port_t reply = buffer.message.head.msgh_remote_port;
  if (reply != MACH_PORT_NULL) mach_port_deallocate(mach_task_self(), reply);
  LMResponseBufferFree(&buffer);
  return 0;
}
