#include <dispatch/dispatch.h>
#include <gtest/gtest.h>
#include <notify.h>
#include <signal.h>

#include <filesystem>

#include "ChildProcess.h"
#include "SettingsTestSupport.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace {

using settings_test::helperPath;
using settings_test::runHelper;
using settings_test::runMainLoopUntil;
using testing_support::ChildProcess;
using testing_support::TempDevice;
using testing_support::waitFor;

bool present(const std::filesystem::path& path) {
  return std::filesystem::exists(path);
}

std::size_t registrantCount(const TempDevice& device, const char* name) {
  const auto folder = device.path() / "run" / "notify" / "names" / name;
  if (!present(folder)) return 0;
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                std::filesystem::directory_iterator()));
}

TEST(Notify, PostReachesEveryRegisteredProcessAndSkipsDeadOnes) {
  TempDevice device;
  const auto first = device.path() / "first";
  const auto second = device.path() / "second";
  const auto dead = device.path() / "dead";
  ChildProcess waiterA(helperPath(), {"wait", "test.ping", first.string()});
  ChildProcess waiterB(helperPath(), {"wait", "test.ping", second.string()});
  ChildProcess gone(helperPath(), {"wait", "test.ping", dead.string()});
  ASSERT_TRUE(waitFor([&] {
    return present(first.string() + ".ready") && present(second.string() + ".ready") &&
           present(dead.string() + ".ready");
  }));
  gone.signal(SIGKILL);
  ASSERT_TRUE(gone.wait().has_value());
  ASSERT_EQ(registrantCount(device, "test.ping"), 3u);

  EXPECT_EQ(notify_post("test.ping"), NOTIFY_STATUS_OK);
  EXPECT_TRUE(waitFor([&] { return present(first) && present(second); }));
  EXPECT_FALSE(present(dead));
  // The dead process was struck off; the two that have ended are struck off at the next post.
  EXPECT_TRUE(waiterA.wait().has_value());
  EXPECT_TRUE(waiterB.wait().has_value());
  EXPECT_EQ(registrantCount(device, "test.ping"), 2u);
  EXPECT_EQ(notify_post("test.ping"), NOTIFY_STATUS_OK);
  EXPECT_EQ(registrantCount(device, "test.ping"), 0u);
}

TEST(Notify, StateIsSharedAcrossProcesses) {
  TempDevice device;
  int token = 0;
  ASSERT_EQ(notify_register_check("com.apple.springboard.hasBlankedScreen", &token),
            NOTIFY_STATUS_OK);
  uint64_t state = 7;
  ASSERT_EQ(notify_get_state(token, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 0u);  // never set
  ASSERT_EQ(runHelper({"state", "com.apple.springboard.hasBlankedScreen", "1"}), 0);
  ASSERT_EQ(notify_get_state(token, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 1u);
  ASSERT_EQ(notify_set_state(token, 0xFFFFFFFFFFull), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_get_state(token, &state), NOTIFY_STATUS_OK);
  EXPECT_EQ(state, 0xFFFFFFFFFFull);
  EXPECT_EQ(notify_cancel(token), NOTIFY_STATUS_OK);
  EXPECT_EQ(notify_get_state(token, &state), NOTIFY_STATUS_INVALID_TOKEN);
}

TEST(Notify, PostsBeforeTheQueueRunsFoldIntoOneCallAndCancelStopsCalls) {
  TempDevice device;
  int calls = 0;
  int sentinelCalls = 0;
  int token = 0;
  int sentinel = 0;
  ASSERT_EQ(notify_register_dispatch("test.burst", &token, dispatch_get_main_queue(),
                                     [&](int t) {
                                       EXPECT_EQ(t, token);
                                       ++calls;
                                     }),
            NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_register_dispatch("test.sentinel", &sentinel, dispatch_get_main_queue(),
                                     [&](int) { ++sentinelCalls; }),
            NOTIFY_STATUS_OK);
  const uint64_t before = notify_received_post_count();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(notify_post("test.burst"), NOTIFY_STATUS_OK);
  // All five are in before the main queue turns.
  ASSERT_TRUE(waitFor([&] { return notify_received_post_count() == before + 5; }));
  ASSERT_TRUE(runMainLoopUntil([&] { return calls >= 1; }));
  ASSERT_EQ(notify_post("test.sentinel"), NOTIFY_STATUS_OK);
  ASSERT_TRUE(runMainLoopUntil([&] { return sentinelCalls == 1; }));
  EXPECT_EQ(calls, 1);

  // A post that is on its way when the registration ends never calls it.
  ASSERT_EQ(notify_post("test.burst"), NOTIFY_STATUS_OK);
  ASSERT_TRUE(waitFor([&] { return notify_received_post_count() == before + 7; }));
  EXPECT_EQ(notify_cancel(token), NOTIFY_STATUS_OK);
  ASSERT_EQ(notify_post("test.sentinel"), NOTIFY_STATUS_OK);
  ASSERT_TRUE(runMainLoopUntil([&] { return sentinelCalls == 2; }));
  EXPECT_EQ(calls, 1);
  notify_cancel(sentinel);
}

TEST(Notify, RejectsBadRequests) {
  TempDevice device;
  int token = 0;
  EXPECT_EQ(notify_register_check("", &token), NOTIFY_STATUS_INVALID_NAME);
  EXPECT_EQ(notify_register_check(nullptr, &token), NOTIFY_STATUS_INVALID_NAME);
  EXPECT_EQ(notify_register_check(std::string(5000, 'x').c_str(), &token),
            NOTIFY_STATUS_INVALID_NAME);
  EXPECT_EQ(notify_register_dispatch("test.x", &token, nullptr, [](int) {}),
            NOTIFY_STATUS_INVALID_REQUEST);
  EXPECT_EQ(notify_post(""), NOTIFY_STATUS_INVALID_NAME);
  uint64_t state = 0;
  EXPECT_EQ(notify_get_state(987654, &state), NOTIFY_STATUS_INVALID_TOKEN);
  EXPECT_EQ(notify_cancel(987654), NOTIFY_STATUS_INVALID_TOKEN);
  // Names that are not file names still work: they are encoded.
  ASSERT_EQ(notify_register_check("../../a/b", &token), NOTIFY_STATUS_OK);
  EXPECT_EQ(notify_set_state(token, 3), NOTIFY_STATUS_OK);
  EXPECT_TRUE(
      std::filesystem::exists(device.path() / "run" / "notify" / "state" / "..%2F..%2Fa%2Fb"));
}

}  // namespace
