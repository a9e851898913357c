// Exchanges between this process and a service process: statuses, the restart of the service,
// large bodies, and what thousands of exchanges leave behind.

#include <gtest/gtest.h>
#include <servers/bootstrap.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "ChildProcess.h"
#include "TempDevice.h"
#include "TransportTestPattern.h"
#include "TransportTestSupport.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"
#include "WaitFor.h"

using namespace transport_test;

namespace {

LMConnection connectionTo(const char* name) {
  LMConnection connection{};
  std::strncpy(connection.name, name, sizeof connection.name - 1);
  return connection;
}

// The exchange, again while its reply does not come within the 50 ms wait: an exchange that has
// a pool made and mapped, on a crowded machine, can outlast it, and that is not what these tests
// are about. Any other status ends it; one that never comes ends with the wait's deadline.
kern_return_t answered(LMConnection& connection, int32_t id, const void* data, uint32_t length,
                       LMResponseBuffer& buffer) {
  kern_return_t status = MACH_RCV_TIMED_OUT;
  testing_support::waitFor([&] {
    status = LMConnectionSendTwoWay(&connection, id, data, length, &buffer);
    return status != MACH_RCV_TIMED_OUT;
  });
  return status;
}

bool serviceIsUp(const char* name) {
  mach_port_t port = MACH_PORT_NULL;
  if (bootstrap_look_up(0, name, &port) != BOOTSTRAP_SUCCESS) return false;
  mach_port_deallocate(mach_task_self(), port);
  return true;
}

class TransportExchangeTest : public testing::Test {
 protected:
  void startServer() {
    server_ = std::make_unique<testing_support::ChildProcess>(
        testing_support::binaryDirectory() / "bin" / "transport_test_server",
        std::vector<std::string>{kVellamorServiceIdentifier});
    ASSERT_TRUE(testing_support::waitFor([] { return serviceIsUp(kVellamorServiceIdentifier); }));
  }
  void TearDown() override {
    if (server_) server_->stop();
  }

  testing_support::TempDevice device_;
  std::unique_ptr<testing_support::ChildProcess> server_;
  LMConnection connection_ = connectionTo(kVellamorServiceIdentifier);
  LMResponseBuffer buffer_;
};

TEST_F(TransportExchangeTest, ReplyToPortZeroSendsNothing) {
  WireRecorder wire;
  EXPECT_EQ(LMSendReply(MACH_PORT_NULL, &okay, sizeof okay), KERN_SUCCESS);
  EXPECT_TRUE(wire.datagrams.empty());
}

TEST_F(TransportExchangeTest, LookUpOfUnregisteredNameFailsWithoutSending) {
  LMConnection nobody = connectionTo("org.vellamor2.nobody");
  WireRecorder wire;
  EXPECT_EQ(LMConnectionSendTwoWay(&nobody, 2, &blankmsg, sizeof blankmsg, &buffer_),
            BOOTSTRAP_UNKNOWN_SERVICE);
  EXPECT_TRUE(wire.datagrams.empty());
  EXPECT_EQ(nobody.port, MACH_PORT_NULL);
  EXPECT_EQ(buffer_.message.body.msgh_descriptor_count, 0u);
}

TEST_F(TransportExchangeTest, UnknownIdEndsInTheReceiveTimeOut) {
  startServer();
  EXPECT_EQ(LMConnectionSendTwoWay(&connection_, 99, &blankmsg, sizeof blankmsg, &buffer_),
            MACH_RCV_TIMED_OUT);
  EXPECT_EQ(buffer_.message.body.msgh_descriptor_count, 0u) << "nothing for the caller to free";
  LMResponseBufferFree(&buffer_);
  // The service is still there for the next request.
  EXPECT_EQ(LMConnectionSendTwoWay(&connection_, 1, &blankmsg, sizeof blankmsg, &buffer_),
            KERN_SUCCESS);
}

TEST_F(TransportExchangeTest, RestartedServiceIsFoundAgainByTheNextExchange) {
  startServer();
  ASSERT_EQ(LMConnectionSendTwoWay(&connection_, 1, &blankmsg, sizeof blankmsg, &buffer_),
            KERN_SUCCESS);
  const mach_port_t first = connection_.port;
  ASSERT_NE(first, MACH_PORT_NULL);

  server_->signal(SIGKILL);
  ASSERT_TRUE(server_->wait().has_value());
  startServer();

  WireRecorder wire;
  ASSERT_EQ(LMConnectionSendTwoWay(&connection_, 1, &blankmsg, sizeof blankmsg, &buffer_),
            KERN_SUCCESS);
  EXPECT_EQ(LMMessageGetDataLength(&buffer_.message), sizeof okay);
  LMResponseBufferFree(&buffer_);
  ASSERT_FALSE(wire.errors.empty()) << "the first send went to the dead port";
  EXPECT_TRUE(wire.errors.front() == ECONNREFUSED || wire.errors.front() == EPIPE);
  EXPECT_EQ(wire.datagrams.size(), 2u) << "one send to the dead port, one to the new one";
  EXPECT_NE(connection_.port, first);
}

// Two processes registering one name at the same moment: one serves, the other is refused.
TEST_F(TransportExchangeTest, TwoServicesRegisteringAtOnceHaveOneWinner) {
  const auto server = testing_support::binaryDirectory() / "bin" / "transport_test_server";
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    testing_support::ChildProcess first(server, {kVellamorServiceIdentifier});
    testing_support::ChildProcess second(server, {kVellamorServiceIdentifier});
    ASSERT_TRUE(testing_support::waitFor([&] { return !first.running() || !second.running(); }));
    auto& loser = first.running() ? second : first;
    auto& winner = first.running() ? first : second;
    const auto status = loser.wait();
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << "refused, not crashed";
    EXPECT_TRUE(winner.running());
    EXPECT_TRUE(testing_support::waitFor([&] {
      return LMConnectionSendTwoWay(&connection_, 1, &blankmsg, sizeof blankmsg, &buffer_) ==
             KERN_SUCCESS;
    })) << "the winner serves";
    winner.stop();
  }
}

TEST_F(TransportExchangeTest, HistoryArrivesOutOfLineIntact) {
  startServer();
  ASSERT_EQ(answered(connection_, 2, &blankmsg, sizeof blankmsg, buffer_), KERN_SUCCESS);
  EXPECT_EQ(buffer_.message.head.msgh_bits & MACH_MSGH_BITS_COMPLEX, MACH_MSGH_BITS_COMPLEX);
  ASSERT_EQ(LMMessageGetDataLength(&buffer_.message), kHistoryBytes);
  const auto* body = static_cast<const uint8_t*>(LMMessageGetData(&buffer_.message));
  ASSERT_NE(body, nullptr);
  const std::vector<uint8_t> expected = patternBytes(kHistoryBytes);
  EXPECT_EQ(std::memcmp(body, expected.data(), kHistoryBytes), 0);
  LMResponseBufferFree(&buffer_);
  EXPECT_EQ(buffer_.message.body.msgh_descriptor_count, 0u);
  LMResponseBufferFree(&buffer_);  // a second free hands back nothing more

  // Given back, the chunk carries the next history; held, it is never reused.
  LMResponseBuffer held, next;
  ASSERT_EQ(answered(connection_, 2, &blankmsg, sizeof blankmsg, held), KERN_SUCCESS);
  EXPECT_EQ(LMMessageGetData(&held.message), body) << "the body given back was not released";
  ASSERT_EQ(answered(connection_, 2, &blankmsg, sizeof blankmsg, next), KERN_SUCCESS);
  EXPECT_NE(LMMessageGetData(&next.message), body) << "a held body's chunk was reused";
  EXPECT_EQ(std::memcmp(LMMessageGetData(&held.message), expected.data(), kHistoryBytes), 0);
  LMResponseBufferFree(&held);
  LMResponseBufferFree(&next);
}

TEST_F(TransportExchangeTest, BodiesOfEverySizeComeBackUnchanged) {
  startServer();
  for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{4095}, std::size_t{4096},
                             std::size_t{4097}, kPacketBytes, kHistoryBytes}) {
    SCOPED_TRACE(length);
    const std::vector<uint8_t> body = patternBytes(length);
    ASSERT_EQ(answered(connection_, 7, body.data(), static_cast<uint32_t>(length), buffer_),
              KERN_SUCCESS);
    ASSERT_EQ(LMMessageGetDataLength(&buffer_.message), length);
    if (length > 0) {
      EXPECT_EQ(std::memcmp(LMMessageGetData(&buffer_.message), body.data(), length), 0);
    }
    LMResponseBufferFree(&buffer_);
  }
}

TEST_F(TransportExchangeTest, TenThousandExchangesLeaveNothingBehind) {
  startServer();
  const std::vector<uint8_t> packet = patternBytes(kPacketBytes);
  auto exchange = [&](int i) {
    const int32_t id = i % 10 == 0 ? 2 : 1;
    const kern_return_t status = id == 2
                                     ? answered(connection_, 2, &blankmsg, sizeof blankmsg, buffer_)
                                     : answered(connection_, 1, packet.data(),
                                                static_cast<uint32_t>(packet.size()), buffer_);
    LMResponseBufferFree(&buffer_);
    return status;
  };
  ASSERT_EQ(exchange(0), KERN_SUCCESS);  // the first exchange makes what is kept
  ASSERT_EQ(exchange(1), KERN_SUCCESS);
  const std::string serverProc = "/proc/" + std::to_string(server_->pid());
  const std::size_t descriptors = countEntries("/proc/self/fd");
  const std::size_t mappings = countLines("/proc/self/maps");
  const std::size_t names = mach_stand_in::portNameCount();
  const std::size_t serverDescriptors = countEntries(serverProc + "/fd");
  const std::size_t serverMappings = countLines(serverProc + "/maps");

  int failures = 0;
  for (int i = 0; i < 10000; ++i)
    if (exchange(i) != KERN_SUCCESS) ++failures;
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(countEntries("/proc/self/fd"), descriptors);
  EXPECT_EQ(countLines("/proc/self/maps"), mappings);
  EXPECT_EQ(mach_stand_in::portNameCount(), names);
  // The service closes a reply's socket just after the client has the reply: wait for it.
  EXPECT_TRUE(testing_support::waitFor([&] {
    return countEntries(serverProc + "/fd") <= serverDescriptors;
  })) << countEntries(serverProc + "/fd")
      << " descriptors, " << serverDescriptors << " before";
  // The service's allocator may merge or split a few areas of its own; a leak would be thousands.
  EXPECT_LE(countLines(serverProc + "/maps"), serverMappings + 4);
  EXPECT_EQ(countEntries(device_.path() / "run" / "ports"), 2u)
      << "only the service's socket and the one reply port kept for the next exchange";
}

}  // namespace
