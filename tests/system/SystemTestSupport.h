#pragma once
// What the whole-device tests share: a number out of a host's reply line, how far apart two
// captured pictures are, and a device booted with an app's now-playing screen on.

#include <ColorFlow/ArtworkPalette.h>
#include <CoreFoundation/CFNotificationCenter.h>
#include <CoreFoundation/CFPreferences.h>
#include <Foundation/Foundation.h>
#include <Renderer/Image.h>
#include <gtest/gtest.h>
#include <sys/types.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "Device/Device.h"
#include "HostControl/ControlClient.h"
#include "Launcher/DeviceInstaller.h"
#include "Launcher/Launcher.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace system_test {

// A number of `host`'s reply to `request` ("key=value" words), or -1 when it did not answer.
inline long replyNumber(const std::string& host, const std::string& request,
                        const std::string& key) {
  std::string reply;
  if (!control::request(host, request, &reply)) return -1;
  std::istringstream words(reply);
  for (std::string word; words >> word;)
    if (word.rfind(key + "=", 0) == 0) return std::atol(word.c_str() + key.size() + 1);
  return -1;
}

// Mean absolute difference of two pictures of one size, per channel, in levels.
inline double meanDifference(const render::Image& a, const render::Image& b) {
  if (a.width != b.width || a.height != b.height || a.empty()) return 255;
  double sum = 0;
  for (std::size_t i = 0; i < a.rgba.size(); ++i)
    sum += std::abs(static_cast<int>(a.rgba[i]) - static_cast<int>(b.rgba[i]));
  return sum / static_cast<double>(a.rgba.size());
}

// Of the pixels a plot changed over `artworkAlone` (its strokes, when its background is
// transparent), the share that shows `colour`.
inline double shareOfPlotPixelsIn(const render::Image& withPlot, const render::Image& artworkAlone,
                                  const colorflow::PaletteColor& colour) {
  int changed = 0, matching = 0;
  const double want[3] = {colour.red, colour.green, colour.blue};
  for (std::size_t i = 0; i + 3 < withPlot.rgba.size() && i + 3 < artworkAlone.rgba.size();
       i += 4) {
    double difference = 0, distance = 0;
    for (int c = 0; c < 3; ++c) {
      difference += std::abs(withPlot.rgba[i + c] - artworkAlone.rgba[i + c]);
      distance += std::abs(withPlot.rgba[i + c] / 255.0 - want[c]);
    }
    if (difference < 30) continue;
    ++changed;
    matching += distance < 0.08;
  }
  EXPECT_GT(changed, 500) << "the plot changed too little of the screen";
  return changed == 0 ? 0 : static_cast<double>(matching) / changed;
}

// A fresh device with `host`'s now-playing screen on, driven through its control service.
class AppDevice : public ::testing::Test {
 protected:
  explicit AppDevice(std::string host) : host_(std::move(host)) {}
  void TearDown() override {
    std::string ignored;
    launcher::down(&ignored);
  }

  bool ask(const std::string& request) {
    std::string reply;
    const bool ok = control::request(host_, request, &reply);
    EXPECT_TRUE(ok) << request << ": " << reply;
    return ok;
  }

  long frames() { return replyNumber(host_, "figures", "frames"); }

  // True once the screen has shown `count` new frames more than it had, within `timeout`.
  bool newFrames(long count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const long from = frames();
    return testing_support::waitFor([&] { return frames() >= from + count; }, timeout);
  }

  // Shows the screen again until it draws: an appearance can fetch the settings before the hub
  // has taken the last change on a crowded machine, so each try waits briefly and the next one
  // asks again.
  bool reshowUntilDrawing() {
    return testing_support::waitFor(
        [&] { return reshow() && newFrames(2, std::chrono::seconds(2)); },
        std::chrono::seconds(30));
  }

  // True when the screen shows no new frame through 20 display refreshes.
  bool holdsStill() {
    return testing_support::waitFor([&] {
      const long from = frames();
      const long refreshes = replyNumber(host_, "figures", "refreshes");
      if (!testing_support::waitFor(
              [&] { return replyNumber(host_, "figures", "refreshes") >= refreshes + 20; }))
        return false;
      return frames() == from;
    });
  }

  // Stores a setting and announces the change, as the preference panes do.
  void store(const char* key, NSObject* value) {
    constexpr const char* kDomain = "org.vellamor2.service";
    CFPreferencesSetAppValue(key, value, kDomain);
    ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         "org.vellamor2.service.preferences-changed", nullptr,
                                         nullptr, true);
  }

  // Boots a device of `generation` and brings the app's now-playing screen on, drawing.
  bool boot(int generation) {
    std::string error;
    if (!launcher::createDevice(device_.path(), generation, launcher::currentBuild(), &error) ||
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

  static pid_t recordedPid(const std::string& name) {
    std::ifstream in(device::runDirectory() / "pids" / (name + ".pid"));
    long pid = 0;
    in >> pid;
    return static_cast<pid_t>(pid);
  }

  std::string host_;
  testing_support::TempDevice device_;
};

}  // namespace system_test
