#include <fcntl.h>
#include <gtest/gtest.h>
#include <mach/mach.h>
#include <servers/bootstrap.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include <mach/SystemCallHooks.h>

#include "TempDevice.h"

namespace {

#pragma pack(push, 4)
struct OutOfLineMessage {
  mach_msg_header_t header;
  mach_msg_body_t body;
  mach_msg_ool_descriptor_t descriptor;
};
struct ReceiveBuffer {
  OutOfLineMessage message;
  char room[4200];
};
#pragma pack(pop)

size_t openDescriptors() {
  size_t count = 0;
  for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

mach_port_t receiveRight() {
  mach_port_t port = MACH_PORT_NULL;
  EXPECT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port), KERN_SUCCESS);
  EXPECT_EQ(mach_port_insert_right(mach_task_self(), port, port, MACH_MSG_TYPE_MAKE_SEND),
            KERN_SUCCESS);
  return port;
}

void destroy(mach_port_t port) {
  mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
  mach_port_deallocate(mach_task_self(), port);
}

TEST(Mach, LookUpOfAnUnregisteredNameFailsWithTheBootstrapStatus) {
  testing_support::TempDevice device;
  mach_port_t bootstrap, found = MACH_PORT_NULL;
  ASSERT_EQ(task_get_special_port(mach_task_self(), TASK_BOOTSTRAP_PORT, &bootstrap), KERN_SUCCESS);
  EXPECT_EQ(bootstrap_look_up(bootstrap, "org.vellamor2.nothing", &found),
            BOOTSTRAP_UNKNOWN_SERVICE);
  EXPECT_EQ(found, MACH_PORT_NULL);
}

TEST(Mach, OutOfLineBodyArrivesIntactAndUnchangedByLaterWritesWithNothingLeftBehind) {
  testing_support::TempDevice device;
  mach_port_t service = receiveRight();
  mach_port_t bootstrap;
  task_get_special_port(mach_task_self(), TASK_BOOTSTRAP_PORT, &bootstrap);
  ASSERT_EQ(bootstrap_register(bootstrap, "org.vellamor2.test", service), KERN_SUCCESS);
  mach_port_t client = MACH_PORT_NULL;
  ASSERT_EQ(bootstrap_look_up(bootstrap, "org.vellamor2.test", &client), KERN_SUCCESS);

  constexpr size_t kSize = 655372;
  std::vector<unsigned char> body(kSize);
  for (size_t i = 0; i < kSize; ++i) body[i] = static_cast<unsigned char>(i * 7);
  // Counted after the first round, which opens the send right's cached socket.
  size_t descriptorsBefore = 0, namesBefore = 0;
  for (int round = 0; round < 200; ++round) {
    if (round == 1) {
      descriptorsBefore = openDescriptors();
      namesBefore = mach_stand_in::portNameCount();
    }
    OutOfLineMessage request{};
    request.header.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, 0) | MACH_MSGH_BITS_COMPLEX;
    request.header.msgh_size = sizeof request;
    request.header.msgh_remote_port = client;
    request.header.msgh_id = 2;
    request.body.msgh_descriptor_count = 1;
    request.descriptor.address = body.data();
    request.descriptor.size = kSize;
    request.descriptor.copy = MACH_MSG_VIRTUAL_COPY;
    request.descriptor.type = MACH_MSG_OOL_DESCRIPTOR;
    ASSERT_EQ(mach_msg(&request.header, MACH_SEND_MSG | MACH_SEND_TIMEOUT, sizeof request, 0,
                       MACH_PORT_NULL, 50, MACH_PORT_NULL),
              MACH_MSG_SUCCESS);
    body[0] ^= 0xff;  // the sender writes its buffer after sending
    ReceiveBuffer received{};
    ASSERT_EQ(mach_msg(&received.message.header, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0,
                       sizeof received, service, 1000, MACH_PORT_NULL),
              MACH_MSG_SUCCESS);
    EXPECT_EQ(received.message.header.msgh_id, 2);
    EXPECT_EQ(received.message.header.msgh_local_port, service);
    ASSERT_EQ(received.message.descriptor.size, kSize);
    auto* view = static_cast<unsigned char*>(received.message.descriptor.address);
    EXPECT_EQ(view[0], static_cast<unsigned char>(body[0] ^ 0xff));
    EXPECT_EQ(std::memcmp(view + 1, body.data() + 1, kSize - 1), 0);
    EXPECT_EQ(vm_deallocate(mach_task_self(), reinterpret_cast<vm_address_t>(view), kSize),
              KERN_SUCCESS);
  }
  EXPECT_EQ(openDescriptors(), descriptorsBefore);
  EXPECT_EQ(mach_stand_in::portNameCount(), namesBefore);
  mach_port_deallocate(mach_task_self(), client);
  destroy(service);
}

TEST(Mach, SendToAPortWhoseReceiverIsGoneIsAnInvalidDestination) {
  testing_support::TempDevice device;
  mach_port_t service = receiveRight();
  mach_port_t bootstrap, client;
  task_get_special_port(mach_task_self(), TASK_BOOTSTRAP_PORT, &bootstrap);
  ASSERT_EQ(bootstrap_register(bootstrap, "org.vellamor2.gone", service), KERN_SUCCESS);
  ASSERT_EQ(bootstrap_look_up(bootstrap, "org.vellamor2.gone", &client), KERN_SUCCESS);
  destroy(service);
  mach_msg_header_t header{};
  header.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, 0);
  header.msgh_size = sizeof header;
  header.msgh_remote_port = client;
  EXPECT_EQ(mach_msg(&header, MACH_SEND_MSG | MACH_SEND_TIMEOUT, sizeof header, 0, MACH_PORT_NULL,
                     50, MACH_PORT_NULL),
            MACH_SEND_INVALID_DEST);
  // A registration whose port has died is no longer found.
  mach_port_t again = MACH_PORT_NULL;
  EXPECT_EQ(bootstrap_look_up(bootstrap, "org.vellamor2.gone", &again), BOOTSTRAP_UNKNOWN_SERVICE);
  mach_port_deallocate(mach_task_self(), client);
}

// The kernel may interrupt a call or write less than asked; the stand-in carries on.
TEST(Mach, InterruptedCallsAndShortWritesStillDeliverTheWholeBody) {
  testing_support::TempDevice device;
  static int interruptions;
  interruptions = 0;
  auto& calls = mach_stand_in::systemCalls();
  calls.pwrite = [](int fd, const void* data, size_t size, off_t offset) -> ssize_t {
    return ::pwrite(fd, data, size < 1000 ? size : 1000, offset);
  };
  calls.recvmsg = [](int fd, msghdr* message, int flags) -> ssize_t {
    if (interruptions++ < 2) {
      errno = EINTR;
      return -1;
    }
    return ::recvmsg(fd, message, flags);
  };
  calls.sendmsg = [](int fd, const msghdr* message, int flags) -> ssize_t {
    if (interruptions++ < 4) {
      errno = EINTR;
      return -1;
    }
    return ::sendmsg(fd, message, flags);
  };
  mach_port_t service = receiveRight();
  std::vector<unsigned char> body(32784);
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<unsigned char>(i);
  OutOfLineMessage request{};
  request.header.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_MAKE_SEND, 0) | MACH_MSGH_BITS_COMPLEX;
  request.header.msgh_size = sizeof request;
  request.header.msgh_remote_port = service;
  request.body.msgh_descriptor_count = 1;
  request.descriptor.address = body.data();
  request.descriptor.size = static_cast<mach_msg_size_t>(body.size());
  request.descriptor.type = MACH_MSG_OOL_DESCRIPTOR;
  EXPECT_EQ(mach_msg(&request.header, MACH_SEND_MSG | MACH_SEND_TIMEOUT, sizeof request, 0,
                     MACH_PORT_NULL, 50, MACH_PORT_NULL),
            MACH_MSG_SUCCESS);
  ReceiveBuffer received{};
  EXPECT_EQ(mach_msg(&received.message.header, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof received,
                     service, 1000, MACH_PORT_NULL),
            MACH_MSG_SUCCESS);
  mach_stand_in::restoreSystemCalls();
  ASSERT_EQ(received.message.descriptor.size, body.size());
  EXPECT_EQ(std::memcmp(received.message.descriptor.address, body.data(), body.size()), 0);
  vm_deallocate(mach_task_self(),
                reinterpret_cast<vm_address_t>(received.message.descriptor.address), body.size());
  destroy(service);
}

TEST(Mach, ReceiveTimesOutWhenNothingComes) {
  testing_support::TempDevice device;
  mach_port_t service = receiveRight();
  ReceiveBuffer received{};
  EXPECT_EQ(mach_msg(&received.message.header, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof received,
                     service, 5, MACH_PORT_NULL),
            MACH_RCV_TIMED_OUT);
  destroy(service);
}

// Raw datagrams that a broken or hostile peer might send.
struct BadDatagram {
  const char* name;
  std::vector<unsigned char> bytes;
  bool withMemfd;
  size_t memfdSize;
};

std::vector<unsigned char> envelopeFor(uint32_t messageSize, uint32_t headerSize, uint32_t bits,
                                       uint32_t outOfLine, uint32_t descriptorCount,
                                       size_t actualMessageBytes) {
  std::vector<unsigned char> datagram(64 + actualMessageBytes, 0);
  uint32_t magic = 0x4d534756;
  std::memcpy(&datagram[0], &magic, 4);
  std::memcpy(&datagram[4], &messageSize, 4);
  std::memcpy(&datagram[8], &outOfLine, 4);
  datagram[14] = MACH_MSG_TYPE_PORT_SEND;
  if (actualMessageBytes >= 8) {
    std::memcpy(&datagram[64], &bits, 4);
    std::memcpy(&datagram[68], &headerSize, 4);
  }
  if (actualMessageBytes >= 28) std::memcpy(&datagram[64 + 24], &descriptorCount, 4);
  if (actualMessageBytes >= 44) {
    uint32_t flags = 0x01000100;
    std::memcpy(&datagram[64 + 36], &flags, 4);
    std::memcpy(&datagram[64 + 40], &outOfLine, 4);
  }
  return datagram;
}

class MachBadInput : public ::testing::TestWithParam<BadDatagram> {};

TEST_P(MachBadInput, IsDroppedAndCountedWithoutLeakingADescriptor) {
  testing_support::TempDevice device;
  mach_port_t service = receiveRight();
  std::string path = mach_stand_in::receiveSocketPath(service);
  int raw = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string relative = std::filesystem::relative(path).string();
  ASSERT_LT(relative.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, relative.c_str());
  const BadDatagram& bad = GetParam();
  iovec part{const_cast<unsigned char*>(bad.bytes.data()), bad.bytes.size()};
  msghdr header{};
  header.msg_name = &address;
  header.msg_namelen = sizeof address;
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))]{};
  int memory = -1;
  if (bad.withMemfd) {
    memory = memfd_create("bad", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    ASSERT_EQ(ftruncate(memory, static_cast<off_t>(bad.memfdSize)), 0);
    fcntl(memory, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE);
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    cmsghdr* rights = CMSG_FIRSTHDR(&header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &memory, sizeof memory);
  }
  ASSERT_EQ(sendmsg(raw, &header, 0), static_cast<ssize_t>(bad.bytes.size())) << strerror(errno);
  if (memory >= 0) close(memory);
  close(raw);
  const size_t descriptorsBefore = openDescriptors();
  const uint64_t droppedBefore = mach_stand_in::dropCounts().total();
  ReceiveBuffer received{};
  EXPECT_EQ(mach_msg(&received.message.header, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof received,
                     service, 0, MACH_PORT_NULL),
            MACH_RCV_TIMED_OUT);
  EXPECT_EQ(mach_stand_in::dropCounts().total(), droppedBefore + 1);
  EXPECT_EQ(openDescriptors(), descriptorsBefore);
  destroy(service);
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, MachBadInput,
    ::testing::Values(
        BadDatagram{"Truncated", std::vector<unsigned char>(10, 0), false, 0},
        BadDatagram{"SizeFieldDisagrees", envelopeFor(48, 48, 0x11, 0, 0, 44), false, 0},
        BadDatagram{"HeaderSizeDisagrees", envelopeFor(44, 40, 0x11, 0, 0, 44), false, 0},
        BadDatagram{"OutOfLineWithoutDescriptor",
                    envelopeFor(44, 44, 0x11 | MACH_MSGH_BITS_COMPLEX, 4096, 0, 44), false, 0},
        BadDatagram{"OutOfLineWithoutFileDescriptor",
                    envelopeFor(44, 44, 0x11 | MACH_MSGH_BITS_COMPLEX, 4096, 1, 44), false, 0},
        BadDatagram{"FileDescriptorOnInlineMessage", envelopeFor(32, 32, 0x11, 0, 0, 32), true,
                    4096},
        BadDatagram{"MemfdSmallerThanClaimed",
                    envelopeFor(44, 44, 0x11 | MACH_MSGH_BITS_COMPLEX, 655372, 1, 44), true, 4096}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
