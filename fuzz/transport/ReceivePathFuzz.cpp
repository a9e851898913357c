// Arbitrary datagrams, with or without a memfd, fed to a receive right: the receiver must drop
// what is malformed, never crash, and never keep a descriptor it was handed.

#include <fcntl.h>
#include <mach/mach.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

mach_port_t service = MACH_PORT_NULL;
sockaddr_un address{};

#pragma pack(push, 4)
struct ReceiveBuffer {
  mach_msg_header_t header;
  mach_msg_body_t body;
  mach_msg_ool_descriptor_t descriptor;
  char room[16 * 1024 + 64];
};
#pragma pack(pop)

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static char directory[] = "/tmp/vellamor-fuzz-XXXXXX";
  if (!mkdtemp(directory)) std::abort();
  setenv("VELLAMOR_DEVICE", directory, 1);
  if (mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &service) != KERN_SUCCESS)
    std::abort();
  std::string path = mach_stand_in::receiveSocketPath(service);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) std::abort();
  std::strcpy(address.sun_path, path.c_str());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // First byte: whether a memfd travels, whether it is sealed, and its size in pages.
  const uint8_t control = data[0];
  int raw = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  iovec part{const_cast<uint8_t*>(data + 1), size - 1};
  msghdr header{};
  header.msg_name = &address;
  header.msg_namelen = sizeof address;
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  alignas(cmsghdr) char rights[CMSG_SPACE(sizeof(int))]{};
  int memory = -1;
  if (control & 1) {
    memory = memfd_create("fuzz", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    ftruncate(memory, (control >> 2) * 4096);
    if (control & 2) fcntl(memory, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE);
    header.msg_control = rights;
    header.msg_controllen = sizeof rights;
    cmsghdr* part0 = CMSG_FIRSTHDR(&header);
    part0->cmsg_level = SOL_SOCKET;
    part0->cmsg_type = SCM_RIGHTS;
    part0->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(part0), &memory, sizeof memory);
  }
  sendmsg(raw, &header, MSG_DONTWAIT);
  if (memory >= 0) close(memory);
  close(raw);
  static ReceiveBuffer received;
  if (mach_msg(&received.header, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof received, service, 0,
               MACH_PORT_NULL) == MACH_MSG_SUCCESS) {
    if ((received.header.msgh_bits & MACH_MSGH_BITS_COMPLEX) && received.body.msgh_descriptor_count)
      vm_deallocate(mach_task_self(), reinterpret_cast<vm_address_t>(received.descriptor.address),
                    received.descriptor.size);
    if (received.header.msgh_remote_port != MACH_PORT_NULL)
      mach_port_deallocate(mach_task_self(), received.header.msgh_remote_port);
  }
  return 0;
}
