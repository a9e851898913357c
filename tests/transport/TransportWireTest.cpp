// What the transport puts on the wire for the shapes of the service's records, the copy meaning
// of out-of-line bodies, and the stand-in's behaviour when system calls are interrupted or short.

#include <gtest/gtest.h>
#include <servers/bootstrap.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BodyChunks.h"
#include "ChildProcess.h"
#include "Envelope.h"
#include "TempDevice.h"
#include "TransportTestPattern.h"
#include "TransportTestSupport.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"
#include "WaitFor.h"

using namespace transport_test;

namespace {

mach_msg_header_t headerOf(const std::vector<uint8_t>& datagram) {
  mach_msg_header_t header{};
  if (datagram.size() >= sizeof(mach_stand_in::Envelope) + sizeof header)
    std::memcpy(&header, datagram.data() + sizeof(mach_stand_in::Envelope), sizeof header);
  return header;
}

// A receive right of this process with a send right under the same name.
struct OwnPort {
  mach_port_t name = MACH_PORT_NULL;
  OwnPort() {
    mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &name);
    mach_port_insert_right(mach_task_self(), name, name, MACH_MSG_TYPE_MAKE_SEND);
  }
  ~OwnPort() {
    mach_port_deallocate(mach_task_self(), name);
    mach_port_mod_refs(mach_task_self(), name, MACH_PORT_RIGHT_RECEIVE, -1);
  }
};

mach_msg_return_t receive(mach_port_t port, LMResponseBuffer& buffer, mach_msg_timeout_t ms) {
  return mach_msg(&buffer.message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer, port, ms,
                  MACH_PORT_NULL);
}

class TransportWireTest : public testing::Test {
 protected:
  void TearDown() override { mach_stand_in::restoreSystemCalls(); }
  testing_support::TempDevice device_;
};

struct ShapeCase {
  int32_t id;
  std::size_t requestLength;
  uint32_t requestBits, requestSize;
  std::size_t replyLength;
  uint32_t replyBits, replySize;
};

class RecordShapeTest : public TransportWireTest, public testing::WithParamInterface<ShapeCase> {};

// The request goes through the client's own path; it waits in the service's queue (nobody
// serves it, so the client times out), and the reply is sent to a reply port this test keeps.
TEST_P(RecordShapeTest, HeadersMatchTheRecords) {
  const ShapeCase c = GetParam();
  OwnPort service;
  ASSERT_EQ(bootstrap_register(0, kVellamorServiceIdentifier, service.name), BOOTSTRAP_SUCCESS);
  LMConnection connection{};
  std::strcpy(connection.name, kVellamorServiceIdentifier);
  const std::vector<uint8_t> request = patternBytes(c.requestLength);
  LMResponseBuffer buffer;
  {
    WireRecorder wire;
    EXPECT_EQ(LMConnectionSendTwoWay(&connection, c.id, request.data(),
                                     static_cast<uint32_t>(request.size()), &buffer),
              MACH_RCV_TIMED_OUT);
    ASSERT_EQ(wire.datagrams.size(), 1u);
    const mach_msg_header_t header = headerOf(wire.datagrams[0]);
    EXPECT_EQ(header.msgh_bits, c.requestBits);
    EXPECT_EQ(header.msgh_size, c.requestSize);
    EXPECT_EQ(header.msgh_id, c.id);
  }
  ASSERT_EQ(receive(service.name, buffer, 1000), MACH_MSG_SUCCESS);
  EXPECT_EQ(LMMessageGetDataLength(&buffer.message), c.requestLength);
  EXPECT_EQ(std::memcmp(LMMessageGetData(&buffer.message), request.data(), c.requestLength), 0);
  LMResponseBufferFree(&buffer);

  OwnPort replyPort;
  LMMessage ask{};
  ask.head.msgh_bits = 0x1513;
  ask.head.msgh_size = LMBufferSizeForLength(0);
  ask.head.msgh_remote_port = service.name;
  ask.head.msgh_local_port = replyPort.name;
  ASSERT_EQ(mach_msg(&ask.head, MACH_SEND_MSG, ask.head.msgh_size, 0, 0, 0, 0), MACH_MSG_SUCCESS);
  ASSERT_EQ(receive(service.name, buffer, 1000), MACH_MSG_SUCCESS);
  const std::vector<uint8_t> reply = patternBytes(c.replyLength);
  {
    WireRecorder wire;
    EXPECT_EQ(LMSendReply(buffer.message.head.msgh_remote_port, reply.data(),
                          static_cast<uint32_t>(reply.size())),
              KERN_SUCCESS);
    ASSERT_EQ(wire.datagrams.size(), 1u);
    const mach_msg_header_t header = headerOf(wire.datagrams[0]);
    EXPECT_EQ(header.msgh_bits, c.replyBits);
    EXPECT_EQ(header.msgh_size, c.replySize);
    EXPECT_EQ(header.msgh_id, 0);
  }
  ASSERT_EQ(receive(replyPort.name, buffer, 1000), MACH_MSG_SUCCESS);
  ASSERT_EQ(LMMessageGetDataLength(&buffer.message), c.replyLength);
  EXPECT_EQ(std::memcmp(LMMessageGetData(&buffer.message), reply.data(), c.replyLength), 0);
  LMResponseBufferFree(&buffer);
}

INSTANTIATE_TEST_SUITE_P(Messages, RecordShapeTest,
                         testing::Values(ShapeCase{1, kPacketBytes, 0x80001513, 44, 4, 0x12, 48},
                                         ShapeCase{2, 4, 0x1513, 48, kHistoryBytes, 0x80000012, 44},
                                         ShapeCase{3, 4, 0x1513, 48, 4, 0x12, 48}));

TEST_F(TransportWireTest, OutOfLineBodyIsUnchangedByLaterWritesOfTheSender) {
  OwnPort port;
  std::vector<uint8_t> body = patternBytes(kHistoryBytes);
  const std::vector<uint8_t> original = body;
  alignas(8) uint8_t bytes[LMNativeLayout::kLargestMessage] = {};
  auto* message = reinterpret_cast<LMMessage*>(bytes);
  message->head.msgh_bits = MACH_MSG_TYPE_COPY_SEND;
  message->head.msgh_size = LMBufferSizeForLength(kHistoryBytes);
  message->head.msgh_remote_port = port.name;
  LMMessageAssignData(message, body.data(), kHistoryBytes);
  ASSERT_EQ(mach_msg(&message->head, MACH_SEND_MSG, message->head.msgh_size, 0, 0, 0, 0),
            MACH_MSG_SUCCESS);
  std::memset(body.data(), 0x5a, body.size());
  LMResponseBuffer buffer;
  ASSERT_EQ(receive(port.name, buffer, 1000), MACH_MSG_SUCCESS);
  std::memset(body.data(), 0xa5, body.size());
  ASSERT_EQ(LMMessageGetDataLength(&buffer.message), kHistoryBytes);
  EXPECT_EQ(std::memcmp(LMMessageGetData(&buffer.message), original.data(), kHistoryBytes), 0);
  LMResponseBufferFree(&buffer);
}

// Interrupted and short system calls: counted per call so each test can fail the first few.
struct Faults {
  static inline int remaining = 0;
  static inline int calls = 0;
  static void arm(int count) {
    remaining = count;
    calls = 0;
  }
  static bool fail() {
    ++calls;
    if (remaining == 0) return false;
    --remaining;
    return true;
  }
  static ssize_t interruptedSend(int fd, const msghdr* m, int flags) {
    if (fail()) return errno = EINTR, -1;
    return ::sendmsg(fd, m, flags);
  }
  static ssize_t busySend(int fd, const msghdr* m, int flags) {
    if (fail()) return errno = EAGAIN, -1;
    return ::sendmsg(fd, m, flags);
  }
  static ssize_t interruptedReceive(int fd, msghdr* m, int flags) {
    if (fail()) return errno = EINTR, -1;
    return ::recvmsg(fd, m, flags);
  }
  static int interruptedPoll(pollfd* fds, nfds_t count, int timeout) {
    if (fail()) return errno = EINTR, -1;
    return ::poll(fds, count, timeout);
  }
  static ssize_t shortWrite(int fd, const void* data, size_t size, off_t offset) {
    ++calls;
    if (calls % 3 == 0) return errno = EINTR, -1;
    return ::pwrite(fd, data, size < 1000 ? size : 1000, offset);
  }
};

// Message 2 with `body`, or message `id` with a send-once right to `replyPort` when one is given.
void sendBody(mach_port_t port, const std::vector<uint8_t>& body,
              mach_port_t replyPort = MACH_PORT_NULL, int32_t id = 2) {
  const auto bytes = static_cast<uint32_t>(body.size());
  LMResponseBuffer buffer;
  LMMessage* message = &buffer.message;
  std::memset(message, 0, sizeof *message);
  message->head.msgh_bits = MACH_MSGH_BITS(
      MACH_MSG_TYPE_COPY_SEND, replyPort != MACH_PORT_NULL ? MACH_MSG_TYPE_MAKE_SEND_ONCE : 0);
  message->head.msgh_size = LMBufferSizeForLength(bytes);
  message->head.msgh_remote_port = port;
  message->head.msgh_local_port = replyPort;
  message->head.msgh_id = id;
  LMMessageAssignData(message, body.data(), bytes);
  ASSERT_EQ(mach_msg(&message->head, MACH_SEND_MSG | MACH_SEND_TIMEOUT, message->head.msgh_size, 0,
                     0, 1000, 0),
            MACH_MSG_SUCCESS);
}

// Two bodies held at once come in different chunks and each stays as it was sent; a chunk
// handed back by vm_deallocate carries the next body.
TEST_F(TransportWireTest, HeldPooledBodiesStaySnapshotsAndTheirChunksComeBack) {
  OwnPort port;
  std::vector<uint8_t> first(kHistoryBytes, 0x11), second(kHistoryBytes, 0x22);
  LMResponseBuffer held, next, again;
  sendBody(port.name, first);
  ASSERT_EQ(receive(port.name, held, 1000), MACH_MSG_SUCCESS);
  sendBody(port.name, second);
  ASSERT_EQ(receive(port.name, next, 1000), MACH_MSG_SUCCESS);
  const void* firstAddress = LMMessageGetData(&held.message);
  EXPECT_NE(firstAddress, LMMessageGetData(&next.message));
  EXPECT_EQ(std::memcmp(firstAddress, first.data(), kHistoryBytes), 0);
  EXPECT_EQ(std::memcmp(LMMessageGetData(&next.message), second.data(), kHistoryBytes), 0);

  LMResponseBufferFree(&held);
  sendBody(port.name, patternBytes(kHistoryBytes));
  ASSERT_EQ(receive(port.name, again, 1000), MACH_MSG_SUCCESS);
  EXPECT_EQ(LMMessageGetData(&again.message), firstAddress) << "the chunk handed back is reused";
  EXPECT_EQ(std::memcmp(LMMessageGetData(&next.message), second.data(), kHistoryBytes), 0);
  LMResponseBufferFree(&next);
  LMResponseBufferFree(&again);
}

// A reply port is reused by the next exchange: a reply, or the send-once notification, that
// comes late for the earlier one is dropped as stale and never read as the later one's.
TEST_F(TransportWireTest, LateRepliesToAnEarlierExchangeAreNeverTakenForTheNextOne) {
  OwnPort service;
  auto requestThrough = [&](mach_port_t replyPort) {
    LMMessage ask{};
    ask.head.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, MACH_MSG_TYPE_MAKE_SEND_ONCE);
    ask.head.msgh_size = LMBufferSizeForLength(0);
    ask.head.msgh_remote_port = service.name;
    ask.head.msgh_local_port = replyPort;
    EXPECT_EQ(mach_msg(&ask.head, MACH_SEND_MSG, ask.head.msgh_size, 0, 0, 0, 0), MACH_MSG_SUCCESS);
    LMResponseBuffer request;
    EXPECT_EQ(receive(service.name, request, 1000), MACH_MSG_SUCCESS);
    return request.message.head.msgh_remote_port;  // the send-once right
  };
  mach_port_t earlier = MACH_PORT_NULL;
  ASSERT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &earlier), KERN_SUCCESS);
  const mach_port_t lateReply = requestThrough(earlier);
  const mach_port_t lateNotification = requestThrough(earlier);
  mach_port_mod_refs(mach_task_self(), earlier, MACH_PORT_RIGHT_RECEIVE, -1);  // timed out

  mach_port_t later = MACH_PORT_NULL;
  ASSERT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &later), KERN_SUCCESS);
  const mach_port_t reply = requestThrough(later);
  const uint64_t staleBefore = mach_stand_in::dropCounts().stale;
  const std::vector<uint8_t> late = patternBytes(kHistoryBytes);
  ASSERT_EQ(LMSendReply(lateReply, late.data(), kHistoryBytes), KERN_SUCCESS)
      << "the reply port's socket was not kept for the next exchange";
  ASSERT_EQ(mach_port_deallocate(mach_task_self(), lateNotification), KERN_SUCCESS);
  ASSERT_EQ(LMSendReply(reply, &okay, sizeof okay), KERN_SUCCESS);
  LMResponseBuffer buffer;
  ASSERT_EQ(receive(later, buffer, 1000), MACH_MSG_SUCCESS);
  EXPECT_EQ(buffer.message.head.msgh_id, 0);
  ASSERT_EQ(LMMessageGetDataLength(&buffer.message), sizeof okay) << "a late reply was taken";
  EXPECT_EQ(mach_stand_in::dropCounts().stale, staleBefore + 2);
  EXPECT_EQ(receive(later, buffer, 0), MACH_RCV_TIMED_OUT);
  mach_port_mod_refs(mach_task_self(), later, MACH_PORT_RIGHT_RECEIVE, -1);
}

// Whether the last body sent went in a pooled chunk.
bool wentPooled(const WireRecorder& wire) {
  mach_stand_in::Envelope envelope{};
  if (wire.datagrams.empty() || wire.datagrams.back().size() < sizeof envelope) return false;
  std::memcpy(&envelope, wire.datagrams.back().data(), sizeof envelope);
  return envelope.bodyInPool != 0;
}

// Every chunk of a size class sent to a receiver that never takes them up: while it lives they
// stay its (the next body goes in a memfd of its own); once it is gone they come back.
TEST_F(TransportWireTest, ChunksNoReceiverTookUpComeBackOnlyOnceItIsGone) {
  auto unread = std::make_unique<OwnPort>();
  OwnPort other;
  std::vector<std::vector<uint8_t>> bodies;
  for (uint8_t i = 0; i < 4; ++i) {
    bodies.emplace_back(kHistoryBytes, static_cast<uint8_t>(0x40 + i));
    sendBody(unread->name, bodies.back());
  }
  const std::vector<uint8_t> body = patternBytes(kHistoryBytes);
  LMResponseBuffer buffer;
  {
    WireRecorder wire;
    sendBody(other.name, body);
    EXPECT_FALSE(wentPooled(wire)) << "a chunk a live receiver may still take was reused";
  }
  ASSERT_EQ(receive(other.name, buffer, 1000), MACH_MSG_SUCCESS);
  LMResponseBufferFree(&buffer);
  ASSERT_EQ(receive(unread->name, buffer, 1000), MACH_MSG_SUCCESS);
  EXPECT_EQ(std::memcmp(LMMessageGetData(&buffer.message), bodies[0].data(), kHistoryBytes), 0);
  LMResponseBufferFree(&buffer);

  unread.reset();                         // three still in flight to it
  std::vector<LMResponseBuffer> held(4);  // each round needs another chunk
  for (LMResponseBuffer& each : held) {
    WireRecorder wire;
    sendBody(other.name, body);
    EXPECT_TRUE(wentPooled(wire));
    ASSERT_EQ(receive(other.name, each, 1000), MACH_MSG_SUCCESS);
    EXPECT_EQ(std::memcmp(LMMessageGetData(&each.message), body.data(), kHistoryBytes), 0);
  }
  for (LMResponseBuffer& each : held) LMResponseBufferFree(&each);
}

// A pool's memfd goes to a port once: the chunks that follow name the pool the port has.
TEST_F(TransportWireTest, APoolsMemfdGoesToAPortOnce) {
  OwnPort port;
  for (const uint8_t expected : {uint8_t{1}, uint8_t{2}, uint8_t{2}}) {
    const std::vector<uint8_t> body = patternBytes(kHistoryBytes);
    WireRecorder wire;
    sendBody(port.name, body);
    ASSERT_EQ(wire.datagrams.size(), 1u);
    mach_stand_in::Envelope envelope{};
    std::memcpy(&envelope, wire.datagrams[0].data(), sizeof envelope);
    EXPECT_EQ(envelope.bodyInPool, expected);
    LMResponseBuffer buffer;
    ASSERT_EQ(receive(port.name, buffer, 1000), MACH_MSG_SUCCESS);
    ASSERT_EQ(LMMessageGetDataLength(&buffer.message), kHistoryBytes);
    EXPECT_EQ(std::memcmp(LMMessageGetData(&buffer.message), body.data(), kHistoryBytes), 0);
    LMResponseBufferFree(&buffer);
  }
}

struct ManySendersCase {
  const char* name;
  int senders;
  std::vector<uint32_t> lengths;  // of the bodies each sender echoes, one per chunk size used
  friend void PrintTo(const ManySendersCase& c, std::ostream* out) { *out << c.name; }
};

class ManySendersTest : public TransportWireTest,
                        public testing::WithParamInterface<ManySendersCase> {};

// Services that each echo bodies to one receiver, twice over: more pools than the receiver
// keeps mapped, and later bodies sent without their pool's memfd. Every body arrives intact.
TEST_P(ManySendersTest, EveryBodyArrives) {
  const ManySendersCase c = GetParam();
  std::vector<std::unique_ptr<testing_support::ChildProcess>> senders;
  std::vector<mach_port_t> services;
  for (int i = 0; i < c.senders; ++i)
    senders.push_back(std::make_unique<testing_support::ChildProcess>(
        testing_support::binaryDirectory() / "bin" / "transport_test_server",
        std::vector<std::string>{"org.vellamor2.test.sender" + std::to_string(i)}));
  for (int i = 0; i < c.senders; ++i) {
    const std::string name = "org.vellamor2.test.sender" + std::to_string(i);
    mach_port_t service = MACH_PORT_NULL;
    ASSERT_TRUE(testing_support::waitFor([&] {
      return bootstrap_look_up(0, name.c_str(), &service) == BOOTSTRAP_SUCCESS;
    })) << name;
    services.push_back(service);
  }
  OwnPort replies;
  const uint64_t droppedBefore = mach_stand_in::dropCounts().total();
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < services.size(); ++i) {
      for (const uint32_t length : c.lengths) {
        SCOPED_TRACE(testing::Message() << "round " << round << ", sender " << i << ", " << length);
        const std::vector<uint8_t> body = patternBytes(length);
        sendBody(services[i], body, replies.name, 7);
        LMResponseBuffer buffer;
        ASSERT_EQ(receive(replies.name, buffer, 10000), MACH_MSG_SUCCESS);
        ASSERT_EQ(LMMessageGetDataLength(&buffer.message), length);
        EXPECT_EQ(std::memcmp(LMMessageGetData(&buffer.message), body.data(), length), 0);
        LMResponseBufferFree(&buffer);
      }
    }
  }
  EXPECT_EQ(mach_stand_in::dropCounts().total(), droppedBefore);
  for (mach_port_t service : services) mach_port_deallocate(mach_task_self(), service);
}

static_assert(7 * 5 > mach_stand_in::kMostMappedPools);
INSTANTIATE_TEST_SUITE_P(
    Receivers, ManySendersTest,
    testing::Values(
        // More living senders than eight, one pool each.
        ManySendersCase{"NineSenders", 9, {kHistoryBytes}},
        // More pools than a receiver keeps mapped at all: the rest come by the copying path.
        ManySendersCase{
            "SevenSendersInEveryChunkSize", 7, {40000, 100000, 200000, 400000, 900000}}),
    [](const testing::TestParamInfo<ManySendersCase>& info) {
      return std::string(info.param.name);
    });

void sendAndReceiveHistory(mach_port_t port, uint32_t bytes = kHistoryBytes) {
  const std::vector<uint8_t> body = patternBytes(bytes);
  sendBody(port, body);
  LMResponseBuffer buffer;
  ASSERT_EQ(receive(port, buffer, 1000), MACH_MSG_SUCCESS);
  EXPECT_EQ(buffer.message.head.msgh_id, 2);
  ASSERT_EQ(LMMessageGetDataLength(&buffer.message), bytes);
  EXPECT_EQ(std::memcmp(LMMessageGetData(&buffer.message), body.data(), bytes), 0);
  LMResponseBufferFree(&buffer);
  LMResponseBuffer extra;
  EXPECT_EQ(receive(port, extra, 0), MACH_RCV_TIMED_OUT) << "delivered exactly once";
}

TEST_F(TransportWireTest, InterruptedCallsAreRetried) {
  OwnPort port;
  auto& calls = mach_stand_in::systemCalls();
  calls.sendmsg = &Faults::interruptedSend;
  Faults::arm(3);
  sendAndReceiveHistory(port.name);
  EXPECT_EQ(Faults::remaining, 0);

  mach_stand_in::restoreSystemCalls();
  calls.recvmsg = &Faults::interruptedReceive;
  Faults::arm(3);
  sendAndReceiveHistory(port.name);
  EXPECT_EQ(Faults::remaining, 0);

  mach_stand_in::restoreSystemCalls();
  calls.pwrite = &Faults::shortWrite;
  Faults::arm(0);
  // Larger than any pooled chunk: the body goes into a memfd of its own.
  sendAndReceiveHistory(port.name, 2 * 1024 * 1024);
  EXPECT_GT(Faults::calls, 2000) << "the body was written in short pieces";

  mach_stand_in::restoreSystemCalls();
  calls.sendmsg = &Faults::busySend;
  Faults::arm(5);
  sendAndReceiveHistory(port.name);
  EXPECT_EQ(Faults::remaining, 0);
}

TEST_F(TransportWireTest, InterruptedWaitStillEndsAtItsTimeOut) {
  OwnPort port;
  mach_stand_in::systemCalls().poll = &Faults::interruptedPoll;
  Faults::arm(1000000);
  LMResponseBuffer buffer;
  EXPECT_EQ(receive(port.name, buffer, 20), MACH_RCV_TIMED_OUT);
}

TEST_F(TransportWireTest, FullQueueEndsInTheSendTimeOut) {
  OwnPort port;
  mach_stand_in::systemCalls().sendmsg = &Faults::busySend;
  Faults::arm(1000000);
  LMMessage message{};
  message.head.msgh_bits = MACH_MSG_TYPE_COPY_SEND;
  message.head.msgh_size = LMBufferSizeForLength(0);
  message.head.msgh_remote_port = port.name;
  EXPECT_EQ(mach_msg(&message.head, MACH_SEND_MSG | MACH_SEND_TIMEOUT, message.head.msgh_size, 0, 0,
                     20, 0),
            MACH_SEND_TIMED_OUT);
  mach_stand_in::restoreSystemCalls();
  LMResponseBuffer buffer;
  EXPECT_EQ(receive(port.name, buffer, 0), MACH_RCV_TIMED_OUT);
}

// A client that never reads its reply port: each reply through its send-once right is delivered
// or dropped at once, and the server keeps no right behind, however many requests name it.
TEST_F(TransportWireTest, RepliesToAClientThatNeverReadsNeverWait) {
  struct Run {
    std::vector<kern_return_t> statuses;
    std::size_t namesBefore = 0, namesAfter = 0;
  };
  auto run = std::make_shared<Run>();
  auto done = std::make_shared<std::atomic<bool>>(false);
  // A reply that waits for room never returns: the run goes on a thread of its own.
  std::thread([run, done] {
    OwnPort service;
    mach_port_t client = MACH_PORT_NULL;
    mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &client);
    run->namesBefore = mach_stand_in::portNameCount();
    for (int i = 0; i < 24; ++i) {
      LMResponseBuffer request;
      std::memset(&request.message, 0, sizeof request.message);
      request.message.head.msgh_bits =
          MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, MACH_MSG_TYPE_MAKE_SEND_ONCE);
      request.message.head.msgh_size = LMBufferSizeForLength(sizeof blankmsg);
      request.message.head.msgh_remote_port = service.name;
      request.message.head.msgh_local_port = client;
      request.message.head.msgh_id = 2;
      LMMessageAssignData(&request.message, &blankmsg, sizeof blankmsg);
      if (mach_msg(&request.message.head, MACH_SEND_MSG | MACH_SEND_TIMEOUT,
                   request.message.head.msgh_size, 0, 0, 1000, 0) != MACH_MSG_SUCCESS ||
          receive(service.name, request, 1000) != MACH_MSG_SUCCESS)
        break;
      run->statuses.push_back(LMSendReply(request.message.head.msgh_remote_port, &okay, 4));
    }
    run->namesAfter = mach_stand_in::portNameCount();
    mach_port_mod_refs(mach_task_self(), client, MACH_PORT_RIGHT_RECEIVE, -1);
    *done = true;
  }).detach();
  ASSERT_TRUE(testing_support::waitFor([&] { return done->load(); })) << "a reply waited";
  ASSERT_EQ(run->statuses.size(), 24u);
  EXPECT_EQ(run->statuses.front(), KERN_SUCCESS);
  EXPECT_EQ(run->statuses.back(), MACH_SEND_NO_BUFFER) << "the queue is full by then";
  EXPECT_EQ(run->namesAfter, run->namesBefore);
}

}  // namespace
