// The lock screen on a whole device of each generation, driven through SpringBoard's control
// service as the demo drives it: with the built-in track playing the plot moves from frame to
// frame; with the screen blanked capture stops and the plot holds still; with "EnabledLS" false
// the screen shows the artwork alone, whatever plays.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <CoreFoundation/CFNotificationCenter.h>
#include <CoreFoundation/CFPreferences.h>
#include <Foundation/Foundation.h>
#include <Renderer/Image.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "HostControl/ControlClient.h"
#include "SystemTestSupport.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::waitFor;

constexpr const char* kDomain = "org.vellamor2.service";
constexpr const char* kChanged = "org.vellamor2.service.preferences-changed";

int vellamor(const std::vector<std::string>& arguments, const fs::path& output) {
  ChildProcess tool(testing_support::binaryDirectory() / "bin/vellamor", arguments, {}, output);
  const auto status = tool.wait(std::chrono::seconds(30));
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

long figure(const std::string& key) {
  return system_test::replyNumber("SpringBoard", "figures", key);
}

using system_test::meanDifference;

class LockScreenDevice : public ::testing::TestWithParam<int> {
 protected:
  void TearDown() override { vellamor({"device", "down"}, output()); }

  fs::path output() const { return device_.path() / "tool.out"; }

  // Stores a setting and announces the change, as the preference panes do.
  void store(const char* key, bool value) {
    auto number = NSNumber::numberWithBool(value);
    CFPreferencesSetAppValue(key, number.get(), kDomain);
    ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kChanged,
                                         nullptr, nullptr, true);
  }

  // Boots the device with the lock screen's plot enabled; true once a plot is drawing.
  bool bootWithPlot() {
    if (vellamor(
            {"device", "create", device_.path().string(), "--system", std::to_string(GetParam())},
            output()) != 0)
      return false;
    store("EnabledLS", true);
    if (vellamor({"device", "up"}, output()) != 0) return false;
    return waitFor([] { return figure("showing") == 1 && figure("drawn") >= 3; },
                   std::chrono::seconds(20));
  }

  // The artwork goes and comes back until the lock screen shows a plot or not, as wanted (the
  // settings manager reloads on its own run loop).
  bool reshowUntil(bool showing) {
    return waitFor([&] {
      control::request("SpringBoard", "hide-artwork", nullptr);
      control::request("SpringBoard", "show-artwork", nullptr);
      return figure("showing") == (showing ? 1 : 0);
    });
  }

  render::Image capture(const std::string& name) {
    const auto path = device_.path() / (name + ".png");
    std::string reply;
    EXPECT_TRUE(control::request("SpringBoard", "capture " + path.string() + " 1", &reply))
        << reply;
    auto picture = render::readPng(path.string());
    EXPECT_TRUE(picture) << name;
    return picture ? *picture : render::Image();
  }

  // Waits until the lock screen's plot has shown `count` new drawings more than it had.
  static bool newDrawings(long count) {
    const long from = figure("drawn");
    return waitFor([&] { return figure("drawn") >= from + count; });
  }

  testing_support::TempDevice device_;
};

TEST_P(LockScreenDevice, ShowsTheArtworkAloneWithTheLockScreenDisabled) {
  ASSERT_TRUE(bootWithPlot()) << device_.log();
  store("EnabledLS", false);
  ASSERT_TRUE(reshowUntil(false));
  const auto artworkAlone = capture("disabled-1");
  store("EnabledLS", true);
  ASSERT_TRUE(reshowUntil(true));
  const long drawn = figure("drawn");
  ASSERT_TRUE(waitFor([&] { return figure("drawn") >= drawn + 5; }));
  const auto withPlot = capture("enabled");
  store("EnabledLS", false);
  ASSERT_TRUE(reshowUntil(false));
  const auto artworkAgain = capture("disabled-2");
  EXPECT_EQ(meanDifference(artworkAlone, artworkAgain), 0.0);
  EXPECT_GT(meanDifference(artworkAlone, withPlot), 0.0);
  EXPECT_EQ(vellamor({"device", "down"}, output()), 0);
}

TEST_P(LockScreenDevice, PlotFollowsThePlayingTrackAndHoldsStillWhenBlanked) {
  ASSERT_TRUE(bootWithPlot()) << device_.log();
  ASSERT_TRUE(waitFor([] { return figure("drawn") >= 3; }, std::chrono::seconds(20)))
      << device_.log();

  // Playing: successive frames differ.
  const auto first = capture("playing-1");
  ASSERT_TRUE(newDrawings(3));
  const auto second = capture("playing-2");
  EXPECT_GT(meanDifference(first, second), 0.0);

  // Blanked: no packet reaches the history any more, and the plot, drawn on, holds still.
  ASSERT_TRUE(control::request("SpringBoard", "blank", nullptr));
  long drawn = -1;
  ASSERT_TRUE(waitFor([&] {
    const long now = figure("drawn");
    const long ticks = figure("ticks");
    if (!waitFor([&] { return figure("ticks") >= ticks + 15; })) return false;
    drawn = now;
    return now == figure("drawn");
  })) << "capture went on with the screen blanked";
  const auto blanked = capture("blanked-1");
  const long ticks = figure("ticks");
  ASSERT_TRUE(waitFor([&] { return figure("ticks") >= ticks + 10; }));
  const auto stillBlanked = capture("blanked-2");
  EXPECT_EQ(figure("drawn"), drawn);
  EXPECT_LT(meanDifference(blanked, stillBlanked), 0.05);

  // Lit: capture comes back.
  ASSERT_TRUE(control::request("SpringBoard", "light", nullptr));
  EXPECT_TRUE(newDrawings(3));
  EXPECT_EQ(vellamor({"device", "down"}, output()), 0);
}

INSTANTIATE_TEST_SUITE_P(System, LockScreenDevice, ::testing::Values(9, 10),
                         [](const auto& info) { return "iOS" + std::to_string(info.param); });

}  // namespace
