// Hostile datagrams sent straight to a port's socket: each is dropped and counted under its
// reason, its descriptors are closed, and the next real message still arrives.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <vector>

#include "BodyChunks.h"
#include "Envelope.h"
#include "TempDevice.h"
#include "TransportTestSupport.h"
#include "Vellamor2/Messaging/LMConnection.h"

using namespace transport_test;
using mach_stand_in::DropCounts;
using mach_stand_in::Envelope;

namespace {

// One crafted datagram: the bytes and the descriptors that go with it (owned).
struct Datagram {
  std::vector<uint8_t> bytes;
  std::vector<int> descriptors;
  ~Datagram() {
    for (int fd : descriptors) close(fd);
  }
  Envelope envelope() const {
    Envelope e;
    std::memcpy(&e, bytes.data(), sizeof e);
    return e;
  }
  void setEnvelope(const Envelope& e) { std::memcpy(bytes.data(), &e, sizeof e); }
  template <class T>
  void put(std::size_t messageOffset, T value) {
    std::memcpy(bytes.data() + sizeof(Envelope) + messageOffset, &value, sizeof value);
  }
};

// A well-formed plain message of `size` bytes, as the stand-in would send it.
Datagram plainMessage(uint32_t size = 48) {
  Datagram d;
  d.bytes.assign(sizeof(Envelope) + size, 0);
  Envelope e{};
  e.magic = mach_stand_in::kEnvelopeMagic;
  e.messageSize = size;
  e.destinationDisposition = MACH_MSG_TYPE_PORT_SEND;
  d.setEnvelope(e);
  d.put<uint32_t>(0, 0);     // bits
  d.put<uint32_t>(4, size);  // size
  d.put<int32_t>(20, 1234);  // id
  return d;
}

int memfdOf(std::size_t size, bool sealed) {
  int fd = memfd_create("hostile", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) return fd;
  if (sealed) fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
  return fd;
}

// A complex message claiming an out-of-line body of `claimed` bytes.
Datagram outOfLineMessage(uint32_t claimed) {
  Datagram d = plainMessage(44);
  d.put<uint32_t>(0, MACH_MSGH_BITS_COMPLEX);
  d.put<uint32_t>(24, 1);           // descriptor count
  d.put<uint32_t>(36, 0x01000100);  // copy virtual, type out-of-line
  d.put<uint32_t>(40, claimed);
  Envelope e = d.envelope();
  e.outOfLineSize = claimed;
  d.setEnvelope(e);
  return d;
}

constexpr uint32_t kTicket = mach_stand_in::kInFlight | 7;

// A pool of eight chunks of 64 KiB as a sender makes it, every chunk in flight under kTicket
// (or in state `chunkState`), with the message claiming `claimed` bytes at `offset`.
Datagram pooledMessage(uint32_t claimed, uint32_t offset, bool sealed = true, off_t shortenBy = 0,
                       uint32_t chunkState = kTicket) {
  constexpr uint32_t kChunk = mach_stand_in::kSmallestChunk, kChunks = 8;
  Datagram d = outOfLineMessage(claimed);
  Envelope e = d.envelope();
  e.bodyInPool = 1;
  e.outOfLineOffset = offset;
  e.chunkTicket = kTicket;
  d.setEnvelope(e);
  int fd = memfd_create("hostile-pool", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  const off_t length = mach_stand_in::kPoolHeaderSize + off_t{kChunks} * kChunk - shortenBy;
  EXPECT_EQ(ftruncate(fd, length), 0);
  std::vector<uint32_t> header(4 + kChunks, chunkState);
  header[0] = mach_stand_in::kPoolMagic;
  header[1] = kChunk;
  header[2] = kChunks;
  header[3] = 0;
  EXPECT_EQ(pwrite(fd, header.data(), header.size() * 4, 0),
            static_cast<ssize_t>(header.size() * 4));
  if (sealed) fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL);
  d.descriptors.push_back(fd);
  return d;
}

constexpr uint32_t kFirstChunk = mach_stand_in::kPoolHeaderSize;

// A chunk claimed to be of a pool this port was handed before (none was), with or without a memfd.
Datagram handedOverChunkMessage(bool withMemfd) {
  Datagram d = pooledMessage(4096, kFirstChunk);
  Envelope e = d.envelope();
  e.bodyInPool = 2;
  d.setEnvelope(e);
  if (!withMemfd) {
    for (int fd : d.descriptors) close(fd);
    d.descriptors.clear();
  }
  return d;
}

void sendRaw(const std::string& path, const Datagram& d) {
  int sender = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.data(), path.size());
  iovec part{const_cast<uint8_t*>(d.bytes.data()), d.bytes.size()};
  msghdr header{};
  header.msg_name = &address;
  header.msg_namelen = sizeof address;
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  std::vector<char> control(CMSG_SPACE(sizeof(int) * d.descriptors.size()));
  if (!d.descriptors.empty()) {
    header.msg_control = control.data();
    header.msg_controllen = control.size();
    cmsghdr* rights = CMSG_FIRSTHDR(&header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int) * d.descriptors.size());
    std::memcpy(CMSG_DATA(rights), d.descriptors.data(), sizeof(int) * d.descriptors.size());
  }
  EXPECT_EQ(sendmsg(sender, &header, 0), static_cast<ssize_t>(d.bytes.size()));
  close(sender);
}

struct BadCase {
  const char* name;
  std::function<Datagram()> make;
  uint64_t DropCounts::*reason;
};

class BadDatagramTest : public testing::TestWithParam<BadCase> {
 protected:
  void SetUp() override {
    mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port_);
    mach_port_insert_right(mach_task_self(), port_, port_, MACH_MSG_TYPE_MAKE_SEND);
  }
  void TearDown() override {
    mach_port_deallocate(mach_task_self(), port_);
    mach_port_mod_refs(mach_task_self(), port_, MACH_PORT_RIGHT_RECEIVE, -1);
  }
  testing_support::TempDevice device_;
  mach_port_t port_ = MACH_PORT_NULL;
};

TEST_P(BadDatagramTest, IsDroppedCountedAndClosed) {
  const BadCase& c = GetParam();
  const std::string path = mach_stand_in::receiveSocketPath(port_);
  ASSERT_FALSE(path.empty());
  LMResponseBuffer buffer;
  // The first receive makes what the receiver keeps.
  LMMessage good{};
  good.head.msgh_bits = MACH_MSG_TYPE_COPY_SEND;
  good.head.msgh_size = LMBufferSizeForLength(0);
  good.head.msgh_remote_port = port_;
  good.head.msgh_id = 77;
  ASSERT_EQ(mach_msg(&good.head, MACH_SEND_MSG, good.head.msgh_size, 0, 0, 0, 0), KERN_SUCCESS);
  ASSERT_EQ(mach_msg(&buffer.message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer, port_,
                     1000, 0),
            KERN_SUCCESS);

  const DropCounts before = mach_stand_in::dropCounts();
  const std::size_t descriptors = countEntries("/proc/self/fd");
  const std::size_t mappings = countLines("/proc/self/maps");
  {
    Datagram bad = c.make();
    sendRaw(path, bad);
  }
  ASSERT_EQ(mach_msg(&good.head, MACH_SEND_MSG, good.head.msgh_size, 0, 0, 0, 0), KERN_SUCCESS);
  ASSERT_EQ(mach_msg(&buffer.message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer, port_,
                     1000, 0),
            KERN_SUCCESS);
  EXPECT_EQ(buffer.message.head.msgh_id, 77) << "the bad datagram never reaches the caller";
  const DropCounts after = mach_stand_in::dropCounts();
  EXPECT_EQ(after.*c.reason, before.*c.reason + 1);
  EXPECT_EQ(after.total(), before.total() + 1);
  EXPECT_EQ(countEntries("/proc/self/fd"), descriptors);
  EXPECT_EQ(countLines("/proc/self/maps"), mappings);
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, BadDatagramTest,
    testing::Values(BadCase{"ShorterThanTheEnvelope",
                            [] {
                              Datagram d = plainMessage();
                              d.bytes.resize(20);
                              return d;
                            },
                            &DropCounts::truncated},
                    BadCase{"LongerThanAnyMessage",
                            [] { return plainMessage(mach_stand_in::kMaxMessageSize + 64); },
                            &DropCounts::truncated},
                    BadCase{"CutInsideTheHeader",
                            [] {
                              Datagram d = plainMessage();
                              d.bytes.resize(sizeof(Envelope) + 12);
                              return d;
                            },
                            &DropCounts::badSize},
                    BadCase{"HeaderSizeDisagreesWithLength",
                            [] {
                              Datagram d = plainMessage();
                              d.put<uint32_t>(4, 52);
                              return d;
                            },
                            &DropCounts::badSize},
                    BadCase{"EnvelopeSizeDisagreesWithLength",
                            [] {
                              Datagram d = plainMessage();
                              Envelope e = d.envelope();
                              e.messageSize = 4096;
                              d.setEnvelope(e);
                              return d;
                            },
                            &DropCounts::badSize},
                    BadCase{"OutOfLineClaimWithoutDescriptorBytes",
                            [] {
                              Datagram d = plainMessage(28);
                              d.put<uint32_t>(0, MACH_MSGH_BITS_COMPLEX);
                              d.put<uint32_t>(24, 1);
                              return d;
                            },
                            &DropCounts::badDescriptor},
                    BadCase{"OutOfLineClaimWithoutFileDescriptor",
                            [] { return outOfLineMessage(4096); }, &DropCounts::badDescriptor},
                    BadCase{"FileDescriptorOnPlainMessage",
                            [] {
                              Datagram d = plainMessage();
                              d.descriptors.push_back(memfdOf(4096, true));
                              return d;
                            },
                            &DropCounts::badDescriptor},
                    BadCase{"TooManyFileDescriptors",
                            [] {
                              Datagram d = plainMessage();
                              for (int i = 0; i < 12; ++i)
                                d.descriptors.push_back(memfdOf(16, true));
                              return d;
                            },
                            &DropCounts::truncated},
                    BadCase{"MemfdSmallerThanClaimed",
                            [] {
                              Datagram d = outOfLineMessage(655372);
                              d.descriptors.push_back(memfdOf(4096, true));
                              return d;
                            },
                            &DropCounts::badMemory},
                    BadCase{"MemfdNotSealed",
                            [] {
                              Datagram d = outOfLineMessage(4096);
                              d.descriptors.push_back(memfdOf(4096, false));
                              return d;
                            },
                            &DropCounts::badMemory},
                    BadCase{"PipeInsteadOfMemory",
                            [] {
                              Datagram d = outOfLineMessage(4096);
                              int ends[2];
                              EXPECT_EQ(pipe2(ends, O_CLOEXEC), 0);
                              d.descriptors = {ends[0], ends[1]};
                              return d;
                            },
                            &DropCounts::badDescriptor},
                    BadCase{"ReplyAddressOutsideThePorts",
                            [] {
                              Datagram d = plainMessage();
                              Envelope e = d.envelope();
                              e.replyDisposition = MACH_MSG_TYPE_PORT_SEND_ONCE;
                              const char address[] = "ports/../../bootstrap";
                              e.replyAddressLength = sizeof address - 1;
                              std::memcpy(e.replyAddress, address, sizeof address - 1);
                              d.setEnvelope(e);
                              return d;
                            },
                            &DropCounts::badReplyPort}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

// Pooled chunks from a sender that lies about its pool.
INSTANTIATE_TEST_SUITE_P(
    HostilePools, BadDatagramTest,
    testing::Values(
        BadCase{"NotSealed", [] { return pooledMessage(4096, kFirstChunk, false); },
                &DropCounts::badMemory},
        BadCase{"ShorterThanItsHeaderSays",
                [] { return pooledMessage(4096, kFirstChunk, true, 4096); },
                &DropCounts::badMemory},
        BadCase{"ChunkPastTheEnd",
                [] { return pooledMessage(4096, kFirstChunk + 8 * mach_stand_in::kSmallestChunk); },
                &DropCounts::badMemory},
        BadCase{"OffsetInsideAChunk", [] { return pooledMessage(4096, kFirstChunk + 4096); },
                &DropCounts::badMemory},
        BadCase{"BodyLargerThanItsChunk",
                [] { return pooledMessage(mach_stand_in::kSmallestChunk + 1, kFirstChunk); },
                &DropCounts::badMemory},
        BadCase{"ChunkNotInFlight",
                [] { return pooledMessage(4096, kFirstChunk, true, 0, mach_stand_in::kChunkFree); },
                &DropCounts::badMemory},
        // Taken back by its sender and sent again: the earlier message no longer owns it.
        BadCase{"ChunkUnderAnotherTicket",
                [] { return pooledMessage(4096, kFirstChunk, true, 0, kTicket + 1); },
                &DropCounts::badMemory},
        BadCase{"ChunkHeldByAReceiver", [] { return pooledMessage(4096, kFirstChunk, true, 0, 1); },
                &DropCounts::badMemory},
        // A chunk of a pool said to be handed over before: none was, or one comes with it.
        BadCase{"PoolNeverHandedOver", [] { return handedOverChunkMessage(false); },
                &DropCounts::badMemory},
        BadCase{"HandedOverPoolWithAMemfd", [] { return handedOverChunkMessage(true); },
                &DropCounts::badDescriptor}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

// A sender's pool that the receiver maps already is taken without a look at the descriptor only
// for a chunk in flight in it under the message's ticket: a chunk of another pool of that sender
// (a restarted one under the same pid) is read from the pool the message names.
TEST(KnownPoolTest, ChunkNotInFlightInItIsReadFromThePoolTheMessageNames) {
  testing_support::TempDevice device;
  mach_port_t port = MACH_PORT_NULL;
  ASSERT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port), KERN_SUCCESS);
  const std::string path = mach_stand_in::receiveSocketPath(port);
  LMResponseBuffer buffer;
  auto receive = [&] {
    return mach_msg(&buffer.message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer, port,
                    1000, 0);
  };
  for (const uint8_t fill : {uint8_t{0x11}, uint8_t{0x22}}) {
    Datagram d = pooledMessage(4096, kFirstChunk);
    const std::vector<uint8_t> body(4096, fill);
    ASSERT_EQ(pwrite(d.descriptors[0], body.data(), body.size(), kFirstChunk),
              static_cast<ssize_t>(body.size()));
    sendRaw(path, d);
    ASSERT_EQ(receive(), KERN_SUCCESS);
    ASSERT_EQ(LMMessageGetDataLength(&buffer.message), body.size());
    EXPECT_EQ(std::memcmp(LMMessageGetData(&buffer.message), body.data(), body.size()), 0);
    LMResponseBufferFree(&buffer);
  }
  mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
}

// A receiver that holds more bodies at once than it holds chunks in place: every one arrives,
// the later ones copied out.
TEST(HeldChunksTest, BodiesBeyondTheBoundStillArrive) {
  testing_support::TempDevice device;
  mach_port_t port = MACH_PORT_NULL;
  ASSERT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port), KERN_SUCCESS);
  const std::string path = mach_stand_in::receiveSocketPath(port);
  constexpr uint32_t kPools = 9, kChunks = 8;  // as pooledMessage makes them
  static_assert(kPools * kChunks > mach_stand_in::kMostHeldChunks);
  std::vector<LMResponseBuffer> held(kPools * kChunks);
  for (uint32_t pool = 0; pool < kPools; ++pool) {
    Datagram d = pooledMessage(4096, kFirstChunk);
    for (uint32_t chunk = 0; chunk < kChunks; ++chunk) {
      const uint32_t i = pool * kChunks + chunk;
      Envelope e = d.envelope();
      e.outOfLineOffset = kFirstChunk + chunk * mach_stand_in::kSmallestChunk;
      d.setEnvelope(e);
      const std::vector<uint8_t> body(4096, static_cast<uint8_t>(i));
      ASSERT_EQ(pwrite(d.descriptors[0], body.data(), body.size(), e.outOfLineOffset),
                static_cast<ssize_t>(body.size()));
      sendRaw(path, d);
      ASSERT_EQ(mach_msg(&held[i].message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0,
                         sizeof(LMResponseBuffer), port, 1000, 0),
                KERN_SUCCESS)
          << "body " << i;
      ASSERT_EQ(LMMessageGetDataLength(&held[i].message), body.size());
      EXPECT_EQ(std::memcmp(LMMessageGetData(&held[i].message), body.data(), body.size()), 0);
    }
  }
  for (LMResponseBuffer& buffer : held) LMResponseBufferFree(&buffer);
  mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
}

// An empty out-of-line body travels without memory; the receiver must not hand on whatever
// address the sender wrote into the descriptor.
TEST(EmptyOutOfLineBodyTest, NeverCarriesTheSendersAddress) {
  testing_support::TempDevice device;
  mach_port_t port = MACH_PORT_NULL;
  ASSERT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port), KERN_SUCCESS);
  Datagram d = outOfLineMessage(0);
  d.put<uint64_t>(28, 0xdeadbeef000ull);
  sendRaw(mach_stand_in::receiveSocketPath(port), d);
  LMResponseBuffer buffer;
  ASSERT_EQ(mach_msg(&buffer.message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer, port,
                     1000, 0),
            KERN_SUCCESS);
  void* address = &address;
  std::memcpy(&address, reinterpret_cast<const char*>(&buffer.message) + 28, sizeof address);
  EXPECT_EQ(address, nullptr);
  EXPECT_EQ(LMMessageGetData(&buffer.message), nullptr);
  EXPECT_EQ(LMMessageGetDataLength(&buffer.message), 0u);
  LMResponseBufferFree(&buffer);
  mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
}

// A plain message whose bytes look like a descriptor names no memory of the receiver's: freeing
// it must leave the named pages alone.
TEST(PlainMessageClaimingMemoryTest, FreeLeavesTheNamedPagesMapped) {
  testing_support::TempDevice device;
  mach_port_t port = MACH_PORT_NULL;
  ASSERT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port), KERN_SUCCESS);
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* victim = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(victim, MAP_FAILED);
  Datagram d = plainMessage(48);
  d.put<uint32_t>(24, 1);
  d.put<uint64_t>(28, reinterpret_cast<uintptr_t>(victim));
  d.put<uint32_t>(36, 0x01000100);
  d.put<uint32_t>(40, static_cast<uint32_t>(page));
  sendRaw(mach_stand_in::receiveSocketPath(port), d);
  LMResponseBuffer buffer;
  ASSERT_EQ(mach_msg(&buffer.message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer, port,
                     1000, 0),
            KERN_SUCCESS);
  EXPECT_EQ(LMMessageGetData(&buffer.message), nullptr);
  LMResponseBufferFree(&buffer);
  EXPECT_EQ(msync(victim, page, MS_ASYNC), 0) << "the page was unmapped";
  munmap(victim, page);
  mach_port_mod_refs(mach_task_self(), port, MACH_PORT_RIGHT_RECEIVE, -1);
}

}  // namespace
