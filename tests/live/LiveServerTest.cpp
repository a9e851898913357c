// The live page's server sends the audio buttons to the audio daemon's control service, as every
// other panel's buttons go to their host's: no signal to a pid (a restarted daemon in its first
// moments would be ended by one).

#include <gtest/gtest.h>

#include <httplib.h>

#include "TempDevice.h"
#include "live/FrameFeed.h"
#include "live/LiveServer.h"

namespace {

TEST(LiveServer, SendsTheAudioButtonsToTheAudioDaemonsControlService) {
  testing_support::TempDevice device;
  live::FrameFeed feed(device.path());
  std::vector<std::string> sent;
  live::LiveServer server(
      feed, [&](const std::string& host, const std::string& request, std::string* reply) {
        sent.push_back(host + " " + request);
        *reply = "ok";
        return true;
      });
  std::string error;
  ASSERT_TRUE(server.start(0, &error)) << error;
  httplib::Client client("127.0.0.1", server.port());
  for (const char* button : {"pause", "resume"}) {
    const auto answer = client.Post(
        std::string("/api/press/audio/") + button,
        {{"Origin", "http://127.0.0.1:" + std::to_string(server.port())}}, "", "text/plain");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200) << answer->body;
  }
  server.stop();
  EXPECT_EQ(sent, (std::vector<std::string>{"mediaserverd pause", "mediaserverd resume"}));
}

}  // namespace
