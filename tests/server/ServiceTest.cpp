#include <CoreFoundation/CFPreferences.h>
#include <CoreFoundation/CFRunLoop.h>
#include <gtest/gtest.h>
#include <mach/SystemCallHooks.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "TempDevice.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"
#include "Vellamor2/SpringBoardServer.h"
#include "WaitFor.h"

namespace {

using testing_support::TempDevice;

struct Reply {
  kern_return_t status = -1;
  uint32_t descriptors = 0;
  std::vector<unsigned char> body;
};

// One client exchange from another thread, while this thread serves the run loop as
// SpringBoard's main thread does.
Reply exchange(int32_t messageId, const void* data, uint32_t length) {
  Reply reply;
  std::atomic<bool> done{false};
  std::thread client([&] {
    LMConnection connection{};
    std::memcpy(connection.name, kVellamorServiceIdentifier, sizeof kVellamorServiceIdentifier);
    auto buffer = std::make_unique<LMResponseBuffer>();
    reply.status = LMConnectionSendTwoWay(&connection, messageId, data, length, buffer.get());
    reply.descriptors = buffer->message.body.msgh_descriptor_count;
    const auto* body = static_cast<const unsigned char*>(LMMessageGetData(&buffer->message));
    if (reply.status == 0 && body != nullptr) {
      reply.body.assign(body, body + LMMessageGetDataLength(&buffer->message));
    }
    LMResponseBufferFree(buffer.get());
    done = true;
  });
  testing_support::waitFor([&] {
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, true);
    return done.load();
  });
  client.join();
  return reply;
}

std::vector<unsigned char> packet(int32_t channels, int32_t frames, float value) {
  auto record = std::make_unique<mediaServerAudioDataStruct>();
  for (auto& channel : record->data) std::fill(std::begin(channel), std::end(channel), value);
  record->numberBuffers = channels;
  record->numberFrames = frames;
  const auto* bytes = reinterpret_cast<const unsigned char*>(record.get());
  return {bytes, bytes + sizeof *record};
}

std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

class HistoryService : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&ServerData, 0, sizeof ServerData);
    SpringBoardServer::startService();
    // The pools of both bodies' sizes made and mapped first: on a crowded machine that can
    // outlast the 50 ms wait, and it is not what these tests are about. A snapshot request's
    // body is not looked at.
    const auto warm = packet(2, 512, 0.0f);
    ASSERT_TRUE(testing_support::waitFor(
        [&] { return exchange(kHistorySnapshotMessageId, warm.data(), warm.size()).status == 0; }));
  }
  void TearDown() override { mach_stand_in::restoreSystemCalls(); }
  TempDevice device_;
};

// Watches the first datagram that this (the service's) thread sends: the reply of the next
// exchange. The hook sees `busy` as it is while the reply goes out, and may refuse the datagram.
struct FirstReply {
  static inline std::thread::id server;
  static inline bool seen = false;
  static inline bool refuse = false;
  static inline bool busyWhileSent = false;
  explicit FirstReply(bool refuseIt) {
    server = std::this_thread::get_id();
    seen = false;
    refuse = refuseIt;
    mach_stand_in::systemCalls().sendmsg = &send;
  }
  static ssize_t send(int fd, const msghdr* message, int flags) {
    if (std::this_thread::get_id() == server && !seen) {
      seen = true;
      busyWhileSent = ServerData.busy;
      if (refuse) return errno = ENOBUFS, -1;
    }
    return ::sendmsg(fd, message, flags);
  }
};

TEST_F(HistoryService, ASnapshotBeforeAnyPacketIsAllZero) {
  const Reply reply = exchange(kHistorySnapshotMessageId, &blankmsg, sizeof blankmsg);
  ASSERT_EQ(reply.status, 0);
  EXPECT_EQ(reply.descriptors, 1u);
  ASSERT_EQ(reply.body.size(), 655372u);
  EXPECT_TRUE(std::all_of(reply.body.begin(), reply.body.end(), [](auto b) { return b == 0; }));
}

TEST_F(HistoryService, APacketIsAcknowledgedAndTheNextSnapshotHoldsIt) {
  const auto bytes = packet(2, 512, 0.25f);
  const Reply ack = exchange(kAudioPacketMessageId, bytes.data(), bytes.size());
  ASSERT_EQ(ack.status, 0);
  ASSERT_EQ(ack.body.size(), 4u);
  EXPECT_EQ(std::memcmp(ack.body.data(), &okay, 4), 0);

  const int32_t anyBody = 0x7F7F7F7F;  // the request body is not looked at
  const Reply snapshot = exchange(kHistorySnapshotMessageId, &anyBody, sizeof anyBody);
  ASSERT_EQ(snapshot.body.size(), sizeof(serverDataStruct));
  serverDataStruct history;
  std::memcpy(&history, snapshot.body.data(), sizeof history);
  EXPECT_EQ(history.numberBuffers, 2);
  EXPECT_EQ(history.numberFrames, 512);
  EXPECT_FALSE(history.busy);
  EXPECT_EQ(history.data[0][9727], 0.0f);
  EXPECT_EQ(history.data[0][9728], 0.25f);
  EXPECT_EQ(history.data[1][10239], 0.25f);
}

TEST_F(HistoryService, MalformedPacketsAreAcknowledgedAndChangeNothing) {
  const auto good = packet(2, 256, 1.0f);
  ASSERT_EQ(exchange(kAudioPacketMessageId, good.data(), good.size()).status, 0);
  auto before = std::make_unique<serverDataStruct>(ServerData);
  const std::vector<std::vector<unsigned char>> bodies = {
      {0, 0, 0, 0},
      std::vector<unsigned char>(good.begin(), good.end() - 1),
      packet(3, 256, 2.0f),
      packet(2, 0, 2.0f),
      packet(2, 4097, 2.0f)};
  for (const auto& body : bodies) {
    const Reply ack = exchange(kAudioPacketMessageId, body.data(), body.size());
    EXPECT_EQ(ack.status, 0) << body.size();
    EXPECT_EQ(ack.body.size(), 4u);
    EXPECT_EQ(std::memcmp(&ServerData, before.get(), sizeof ServerData), 0) << body.size();
  }
}

TEST_F(HistoryService, BusyLastsFromTheMergeUntilTheAcknowledgementIsSent) {
  FirstReply watch(false);
  const auto bytes = packet(2, 512, 0.5f);
  ASSERT_EQ(exchange(kAudioPacketMessageId, bytes.data(), bytes.size()).status, 0);
  ASSERT_TRUE(FirstReply::seen);
  EXPECT_TRUE(FirstReply::busyWhileSent);
  EXPECT_FALSE(ServerData.busy);
}

TEST_F(HistoryService, AReplyThatCannotBeSentEndsTheClientsWaitAtOnce) {
  FirstReply watch(true);
  const Reply reply = exchange(kHistorySnapshotMessageId, &blankmsg, sizeof blankmsg);
  EXPECT_EQ(reply.status, MIG_SERVER_DIED) << "told, not left to its receive time-out";
  EXPECT_EQ(reply.descriptors, 0u);
  EXPECT_TRUE(reply.body.empty());
}

TEST_F(HistoryService, AReplyRightThatIsASendRightIsNotKept) {
  LMConnection connection{};
  std::memcpy(connection.name, kVellamorServiceIdentifier, sizeof kVellamorServiceIdentifier);
  const std::size_t names = mach_stand_in::portNameCount();
  mach_port_t replyPort = MACH_PORT_NULL;
  ASSERT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &replyPort), 0);
  LMResponseBuffer request;
  std::memset(&request.message, 0, sizeof request.message);
  request.message.head.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, MACH_MSG_TYPE_MAKE_SEND);
  request.message.head.msgh_size = LMBufferSizeForLength(sizeof blankmsg);
  request.message.head.msgh_local_port = replyPort;
  request.message.head.msgh_id = kHistorySnapshotMessageId;
  LMMessageAssignData(&request.message, &blankmsg, sizeof blankmsg);
  ASSERT_EQ(LMMachMsg(&connection, &request.message.head, MACH_SEND_MSG | MACH_SEND_TIMEOUT,
                      request.message.head.msgh_size, 0, MACH_PORT_NULL, 50, MACH_PORT_NULL),
            0);
  // Requests are served in order: once one of these is answered, the one above has been handled.
  ASSERT_TRUE(testing_support::waitFor(
      [] { return exchange(kHistorySnapshotMessageId, &blankmsg, sizeof blankmsg).status == 0; }));
  mach_port_mod_refs(mach_task_self(), replyPort, MACH_PORT_RIGHT_RECEIVE, -1);
  mach_port_deallocate(mach_task_self(), connection.port);
  EXPECT_EQ(mach_stand_in::portNameCount(), names);
}

TEST_F(HistoryService, OtherIdsAreLoggedAndGetNoReply) {
  for (int32_t id : {0, 4}) {
    const Reply reply = exchange(id, &blankmsg, sizeof blankmsg);
    EXPECT_EQ(reply.status, MACH_RCV_TIMED_OUT) << id;
  }
  EXPECT_EQ(occurrences(device_.log(), "vellamor2: Unidentified message recieved."), 2u);
}

// A long stored string makes the archive larger than an in-line body can be.
class SettingsReply : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SettingsReply, DecodesToTheLiveDictionaryInLineOrOutOfLine) {
  TempDevice device;
  CFPreferencesSetAppValue(
      "WaveGain", NSString::stringWithUTF8String(std::string(GetParam(), 'g').c_str()).get(),
      kVellamorServiceIdentifier);
  ASSERT_TRUE(CFPreferencesAppSynchronize(kVellamorServiceIdentifier));
  SpringBoardServer::startService();
  const Reply reply = exchange(kPreferencesMessageId, &blankmsg, sizeof blankmsg);
  ASSERT_EQ(reply.status, 0);
  EXPECT_EQ(reply.descriptors, reply.body.size() > 4096 ? 1u : 0u);
  EXPECT_EQ(reply.body.size() > 4096, GetParam() > 4096);
  StrongRef<NSObject> object =
      NSKeyedUnarchiver::unarchiveObjectWithBytes(reply.body.data(), reply.body.size());
  auto* settings = objc::cast<NSDictionary>(object.get());
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->count(), 43u);
  EXPECT_EQ(settings->integerValue("barsNumber"), 64);
  auto* waveGain = objc::cast<NSString>(settings->objectForKey("waveGain"));
  ASSERT_NE(waveGain, nullptr);
  EXPECT_EQ(waveGain->length(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(HistoryService, SettingsReply, ::testing::Values(8, 6000));

TEST_F(HistoryService, ASettingChangedByAnotherProcessShowsInTheNextSettingsReply) {
  testing_support::ChildProcess editor(
      testing_support::binaryDirectory() / "bin" / "settings_helper",
      {"set", kVellamorServiceIdentifier, "BarsNumber", "int", "128",
       vellamor2::preferencesChangedNotification()});
  ASSERT_TRUE(editor.wait().has_value());
  ASSERT_TRUE(testing_support::waitFor([&] {
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, true);
    return sManager->preferences()->integerValue("barsNumber") == 128;
  }));
  const Reply reply = exchange(kPreferencesMessageId, &blankmsg, sizeof blankmsg);
  StrongRef<NSObject> object =
      NSKeyedUnarchiver::unarchiveObjectWithBytes(reply.body.data(), reply.body.size());
  auto* settings = objc::cast<NSDictionary>(object.get());
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->integerValue("barsNumber"), 128);
}

TEST(ServiceStartFailure, IsLoggedOnceAndTheSettingsManagerIsStillMade) {
  // Without a device there is no bootstrap server to register with.
  const char* saved = std::getenv("VELLAMOR_DEVICE");
  const std::string previous = saved != nullptr ? saved : "";
  ::unsetenv("VELLAMOR_DEVICE");
  sManager = nullptr;
  testing::internal::CaptureStderr();
  SpringBoardServer::startService();
  const std::string said = testing::internal::GetCapturedStderr();
  if (saved != nullptr) ::setenv("VELLAMOR_DEVICE", previous.c_str(), 1);
  EXPECT_EQ(occurrences(said, "vellamor2: Unable to register mach server with error "), 1u) << said;
  ASSERT_TRUE(sManager);
  EXPECT_EQ(sManager->preferences()->count(), 43u);
}

}  // namespace
