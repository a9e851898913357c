// The live page's server never signals an audio daemon that cannot take it yet: a process that
// has no handler for the pause signal (as a restarted daemon in its first moments) is told about,
// not ended.

#include <gtest/gtest.h>

#include <httplib.h>

#include "ChildProcess.h"
#include "TempDevice.h"
#include "live/FrameFeed.h"
#include "live/LiveServer.h"

namespace {

TEST(LiveServer, LeavesAnAudioDaemonWithoutItsSignalHandlersRunning) {
  testing_support::TempDevice device;
  testing_support::ChildProcess starting("/bin/sleep", {"60"});
  live::FrameFeed feed(device.path());
  live::LiveServer server(
      feed, [](const std::string&, const std::string&, std::string*) { return false; },
      [&] { return starting.pid(); });
  std::string error;
  ASSERT_TRUE(server.start(0, &error)) << error;
  httplib::Client client("127.0.0.1", server.port());
  const auto answer = client.Post("/api/press/audio/pause",
                                  {{"Origin", "http://127.0.0.1:" + std::to_string(server.port())}},
                                  "", "text/plain");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 503);
  EXPECT_NE(answer->body.find("starting"), std::string::npos) << answer->body;
  EXPECT_TRUE(starting.running());
  server.stop();
}

}  // namespace
