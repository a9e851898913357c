// The Music app on a whole device of each generation, driven through its control service: its
// plot moves while the track plays, a video takes it down until the next appearance, "ColourMethod"
// 2 colours it with the artwork's palette, and a stopped SpringBoard stops its drawing without
// stopping the app.

#include <gtest/gtest.h>
#include <signal.h>

#include <ColorFlow/ArtworkPalette.h>
#include <CoreFoundation/CFNotificationCenter.h>
#include <CoreFoundation/CFPreferences.h>
#include <Foundation/Foundation.h>
#include <HostScreen/ArtworkImage.h>
#include <Renderer/Image.h>

#include <cmath>
#include <fstream>
#include <string>

#include "Device/Device.h"
#include "HostControl/ControlClient.h"
#include "Launcher/DeviceInstaller.h"
#include "Launcher/Launcher.h"
#include "SystemTestSupport.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace {

using system_test::meanDifference;
using testing_support::waitFor;

constexpr const char* kDomain = "org.vellamor2.service";
constexpr const char* kChanged = "org.vellamor2.service.preferences-changed";

long frames() {
  return system_test::replyNumber("Music", "figures", "frames");
}

bool ask(const std::string& request) {
  std::string reply;
  const bool ok = control::request("Music", request, &reply);
  EXPECT_TRUE(ok) << request << ": " << reply;
  return ok;
}

// True once the screen has shown `count` new frames more than it had.
bool newFrames(long count) {
  const long from = frames();
  return waitFor([&] { return frames() >= from + count; });
}

// True when the screen shows no new frame through 20 display refreshes.
bool holdsStill() {
  return waitFor([] {
    const long from = frames();
    const long refreshes = system_test::replyNumber("Music", "figures", "refreshes");
    if (!waitFor([&] {
          return system_test::replyNumber("Music", "figures", "refreshes") >= refreshes + 20;
        }))
      return false;
    return frames() == from;
  });
}

class MusicDevice : public ::testing::TestWithParam<int> {
 protected:
  void TearDown() override {
    std::string ignored;
    launcher::down(&ignored);
  }

  void store(const char* key, NSObject* value) {
    CFPreferencesSetAppValue(key, value, kDomain);
    ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), kChanged,
                                         nullptr, nullptr, true);
  }

  bool boot() {
    std::string error;
    if (!launcher::createDevice(device_.path(), GetParam(), launcher::currentBuild(), &error) ||
        !launcher::up(&error)) {
      ADD_FAILURE() << error;
      return false;
    }
    return ask("show-now-playing") && newFrames(3);
  }

  // The now-playing screen goes and comes back (each appearance fetches the settings).
  bool reshow() { return ask("hide-now-playing") && ask("show-now-playing"); }

  render::Image capture(const std::string& name) {
    const auto path = device_.path() / (name + ".png");
    ask("capture " + path.string() + " 1");
    auto picture = render::readPng(path.string());
    EXPECT_TRUE(picture) << name;
    return picture ? *picture : render::Image();
  }

  pid_t springBoard() {
    std::ifstream in(device::runDirectory() / "pids" / "SpringBoard.pid");
    long pid = 0;
    in >> pid;
    return static_cast<pid_t>(pid);
  }

  testing_support::TempDevice device_;
};

TEST_P(MusicDevice, PlotFollowsTheTrackAndGivesWayToAVideo) {
  ASSERT_TRUE(boot()) << device_.log();
  const auto first = capture("playing-1");
  ASSERT_TRUE(newFrames(3));
  EXPECT_GT(meanDifference(first, capture("playing-2")), 0.0);

  ASSERT_TRUE(ask("play-video"));
  EXPECT_TRUE(holdsStill()) << "the plot drew on over the video";
  ASSERT_TRUE(ask("stop-video"));
  ASSERT_TRUE(reshow());
  EXPECT_TRUE(newFrames(3)) << "the plot did not come back";
}

// With "ColourMethod" 2 the plot is drawn in the primary colour of the artwork's palette.
TEST_P(MusicDevice, ColourMethodTwoDrawsWithTheArtworksColours) {
  ASSERT_TRUE(boot()) << device_.log();
  store("EnabledMusic", NSNumber::numberWithBool(false).get());
  store("PrimaryColourAlpha", NSNumber::numberWithDouble(1.0).get());
  store("BackgroundColourAlpha", NSNumber::numberWithDouble(0.0).get());
  store("WaveThickness", NSNumber::numberWithDouble(6.0).get());
  ASSERT_TRUE(waitFor([&] { return reshow() && holdsStill(); }));
  const auto artworkAlone = capture("artwork");
  store("EnabledMusic", NSNumber::numberWithBool(true).get());
  store("ColourMethod", NSNumber::numberWithInteger(2).get());
  ASSERT_TRUE(waitFor([&] { return reshow() && newFrames(2); }));
  const auto withPlot = capture("coloured");

  cg::ImageRef cover = screen::generatedCover(512, 0);
  const auto palette = colorflow::paletteFromArtwork(cover->rgba(), cover->width(), cover->height(),
                                                     cover->bytesPerRow());
  ASSERT_TRUE(palette);
  // Of the pixels the plot changed (its strokes: its background is transparent), most show the
  // palette's primary colour.
  int changed = 0, primary = 0;
  for (std::size_t i = 0; i + 3 < withPlot.rgba.size() && i + 3 < artworkAlone.rgba.size();
       i += 4) {
    double difference = 0, distance = 0;
    const float want[3] = {palette->primary.red, palette->primary.green, palette->primary.blue};
    for (int c = 0; c < 3; ++c) {
      difference += std::abs(withPlot.rgba[i + c] - artworkAlone.rgba[i + c]);
      distance += std::abs(withPlot.rgba[i + c] / 255.0 - want[c]);
    }
    if (difference < 30) continue;
    ++changed;
    primary += distance < 0.08;
  }
  ASSERT_GT(changed, 500);
  EXPECT_GT(primary, changed / 2) << primary << " of " << changed;
}

// A stopped SpringBoard: every exchange fails, nothing is drawn, the app still answers; drawing
// comes back when it goes on.
TEST_P(MusicDevice, AStoppedSpringBoardStopsTheDrawingButNotTheApp) {
  ASSERT_TRUE(boot()) << device_.log();
  const pid_t hub = springBoard();
  ASSERT_GT(hub, 1);
  ASSERT_EQ(::kill(hub, SIGSTOP), 0);
  EXPECT_TRUE(holdsStill());
  EXPECT_TRUE(ask("capture " + (device_.path() / "stopped.png").string()));
  ASSERT_EQ(::kill(hub, SIGCONT), 0);
  EXPECT_TRUE(newFrames(3));
}

INSTANTIATE_TEST_SUITE_P(System, MusicDevice, ::testing::Values(9, 10),
                         [](const auto& info) { return "iOS" + std::to_string(info.param); });

}  // namespace
