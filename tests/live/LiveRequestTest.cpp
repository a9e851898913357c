// The live page's request decoder: the page's own requests pass; anything from another origin,
// for another host name, or naming what the page does not offer is refused with its status.
// The Settings app's answers reach the page bounded. And a frame file that is cut short or not a
// frame is refused; an encoder's reused buffer grows for a picture larger than it.

#include <gtest/gtest.h>

#include "HostFrames/JpegEncoder.h"
#include "HostFrames/LiveFrame.h"
#include "live/LiveRequest.h"
#include "live/LiveSettings.h"

namespace {

struct Case {
  const char* name;
  const char* method;
  const char* path;
  const char* host;
  const char* origin;  // null: no Origin header
  int status;          // 0: accepted
};

class LiveRequestDecoding : public ::testing::TestWithParam<Case> {};

TEST_P(LiveRequestDecoding, AcceptsOnlyThePagesOwnRequests) {
  const Case& c = GetParam();
  live::RequestHead head;
  head.method = c.method;
  head.path = c.path;
  head.host = c.host;
  if (c.origin != nullptr) head.origin = c.origin;
  head.port = 8080;
  const auto decoded = live::decodeLiveRequest(head);
  if (c.status == 0) {
    EXPECT_TRUE(std::holds_alternative<live::LiveRequest>(decoded));
  } else {
    ASSERT_TRUE(std::holds_alternative<live::Refusal>(decoded));
    EXPECT_EQ(std::get<live::Refusal>(decoded).status, c.status);
    EXPECT_FALSE(std::get<live::Refusal>(decoded).reason.empty());
  }
}

constexpr const char* kOwn = "http://127.0.0.1:8080";

INSTANTIATE_TEST_SUITE_P(
    Requests, LiveRequestDecoding,
    ::testing::Values(
        Case{"Page", "GET", "/", "127.0.0.1:8080", nullptr, 0},
        Case{"PageByName", "GET", "/", "localhost:8080", "http://localhost:8080", 0},
        Case{"Events", "GET", "/events", "127.0.0.1:8080", kOwn, 0},
        Case{"Press", "POST", "/api/press/SpringBoard/screen-off", "127.0.0.1:8080", kOwn, 0},
        Case{"AudioPress", "POST", "/api/press/audio/pause", "127.0.0.1:8080", kOwn, 0},
        Case{"ForeignOrigin", "POST", "/api/press/audio/pause", "127.0.0.1:8080",
             "http://evil.example", 403},
        Case{"OriginOfAnotherPort", "GET", "/events", "127.0.0.1:8080", "http://127.0.0.1:8081",
             403},
        Case{"PressWithoutOrigin", "POST", "/api/press/audio/pause", "127.0.0.1:8080", nullptr,
             403},
        Case{"RebindingHost", "GET", "/", "evil.example:8080", nullptr, 403},
        Case{"HostOfAnotherPort", "GET", "/", "127.0.0.1:80", nullptr, 403},
        Case{"UnknownPanel", "POST", "/api/press/Mail/show", "127.0.0.1:8080", kOwn, 404},
        Case{"UnknownButton", "POST", "/api/press/SpringBoard/reboot", "127.0.0.1:8080", kOwn, 404},
        Case{"PressByGet", "GET", "/api/press/audio/pause", "127.0.0.1:8080", kOwn, 404},
        Case{"OtherMethod", "DELETE", "/", "127.0.0.1:8080", kOwn, 405},
        Case{"SettingsRows", "POST", "/api/settings/rows", "127.0.0.1:8080", kOwn, 0},
        Case{"SettingsSet", "POST", "/api/settings/set/WaveGain/-0.25", "127.0.0.1:8080", kOwn, 0},
        Case{"SettingsSwitch", "POST", "/api/settings/set/EnabledLS/off", "127.0.0.1:8080", kOwn,
             0},
        Case{"SettingsFollow", "POST", "/api/settings/follow/Bars", "127.0.0.1:8080", kOwn, 0},
        Case{"SettingsWithoutOrigin", "POST", "/api/settings/press/RestartMediaserverd",
             "127.0.0.1:8080", nullptr, 403},
        Case{"SettingsForeignOrigin", "POST", "/api/settings/set/EnabledLS/off", "127.0.0.1:8080",
             "http://evil.example", 403},
        Case{"SettingsValueNotANumber", "POST", "/api/settings/set/WaveGain/1.2.3",
             "127.0.0.1:8080", kOwn, 400},
        Case{"SettingsValueMissing", "POST", "/api/settings/set/WaveGain", "127.0.0.1:8080", kOwn,
             400},
        Case{"SettingsValueTooLong", "POST", "/api/settings/set/WaveGain/1234567890123456789012345",
             "127.0.0.1:8080", kOwn, 400},
        Case{"SettingsRowNameMissing", "POST", "/api/settings/follow/", "127.0.0.1:8080", kOwn,
             400},
        Case{"SettingsRowNameWithDot", "POST", "/api/settings/press/a.b", "127.0.0.1:8080", kOwn,
             400},
        Case{"SettingsRowsWithMore", "POST", "/api/settings/rows/Root", "127.0.0.1:8080", kOwn,
             400},
        Case{"SettingsUnknownAction", "POST", "/api/settings/reboot", "127.0.0.1:8080", kOwn, 404},
        Case{"EscapedPath", "GET", "/%2e%2e/etc", "127.0.0.1:8080", nullptr, 400},
        Case{"RelativePath", "GET", "events", "127.0.0.1:8080", nullptr, 400}),
    [](const auto& info) { return info.param.name; });

TEST(LiveRequestDecoding, TurnsASettingsPathIntoTheSettingsAppsRequest) {
  live::RequestHead head;
  head.method = "POST";
  head.path = "/api/settings/set/VisMethod/2";
  head.host = "127.0.0.1:8080";
  head.origin = kOwn;
  head.port = 8080;
  const auto decoded = live::decodeLiveRequest(head);
  ASSERT_TRUE(std::holds_alternative<live::LiveRequest>(decoded));
  EXPECT_EQ(std::get<live::LiveRequest>(decoded).control, "set VisMethod 2");
}

TEST(LiveSettingsAnswer, KeepsTheRowsOfKnownKindsAndTellsTheAppsRefusalApart) {
  std::string reply = "ok Root\nswitch\tEnabledLS\tLock \"screen\"\tEnabledLS\ton\t\n";
  reply += "mystery\tx\ty\nslider\tN\tN\tN\t3\t1..9\twhole\nmore 12";
  const auto rows = live::settingsAnswer("rows", true, reply);
  EXPECT_EQ(rows.status, 200);
  EXPECT_EQ(rows.json,
            "{\"ok\":true,\"reply\":\"ok Root\",\"pane\":\"Root\",\"rows\":["
            "{\"kind\":\"switch\",\"id\":\"EnabledLS\",\"label\":\"Lock \\\"screen\\\"\",\"key\":"
            "\"EnabledLS\",\"value\":\"on\",\"range\":\"\",\"whole\":false},"
            "{\"kind\":\"slider\",\"id\":\"N\",\"label\":\"N\",\"key\":\"N\",\"value\":\"3\","
            "\"range\":\"1..9\",\"whole\":true}],\"more\":12}\n");
  EXPECT_EQ(live::settingsAnswer("rows", true, "ok").json,
            "{\"ok\":true,\"reply\":\"ok\",\"pane\":\"\",\"rows\":[],\"more\":0}\n");
  EXPECT_EQ(live::settingsAnswer("set K 2", false, "error K takes 1").status, 422);
  EXPECT_EQ(live::settingsAnswer("set K 2", false, "no answer from Preferences").status, 502);
}

TEST(LiveFrameDecoding, RefusesACutOrForeignFileAndKeepsAWholeOne) {
  frames::LiveFrame frame;
  frame.width = 2;
  frame.height = 3;
  frame.sequence = 7;
  frame.jpeg = {0xff, 0xd8, 1, 2, 3, 0xff, 0xd9};
  const auto bytes = frames::encodeLiveFrame(frame);
  const auto whole = frames::decodeLiveFrame(bytes);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->sequence, 7u);
  EXPECT_EQ(whole->jpeg, frame.jpeg);
  std::string error;
  EXPECT_FALSE(frames::decodeLiveFrame(std::span(bytes).first(bytes.size() - 1), &error));
  EXPECT_FALSE(error.empty());
  auto foreign = bytes;
  foreign[0] = 'X';
  EXPECT_FALSE(frames::decodeLiveFrame(foreign));
}

TEST(JpegEncoder, AFrameLargerThanItsBufferComesWholeAndAgainTheSame) {
  render::Image noise(512, 512);
  std::uint32_t state = 1;
  for (std::uint8_t& byte : noise.rgba) byte = static_cast<std::uint8_t>((state *= 1664525u) >> 24);
  frames::JpegEncoder encoder(90);
  const auto first = encoder.encode(noise);
  frames::LiveFrame frame;
  frame.width = 512;
  frame.height = 512;
  frame.jpeg.assign(first.begin(), first.end());
  EXPECT_GT(frame.jpeg.size(), 64u << 10);  // more than the buffer's first size
  EXPECT_TRUE(frames::decodeLiveFrame(frames::encodeLiveFrame(frame)));
  const auto again = encoder.encode(noise);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), frame.jpeg.begin(), frame.jpeg.end()));
}

}  // namespace
