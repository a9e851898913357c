// The plot in the Music app's own classes, fed by a stand-in of SpringBoard's service: video
// handling, the iOS 9 item change, the colour handlers and the client's exchanges. Hooks stay for
// the life of a process, so every case runs as a Music app of its own in a child process.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFRunLoop.h>
#include <Foundation/Foundation.h>
#include <HostCommon/RuntimeClass.h>
#include <HostCommon/SystemVersion.h>
#include <HostScreen/ScreenWatch.h>
#include <QuartzCore/CADisplayLink.h>
#include <UIKit/UIKit.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>

#include "AppTestService.h"
#include "AppTestSupport.h"
#include "MusicClasses.h"
#include "TempDevice.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/Startup.h"
#include "Vellamor2/WavePlotFactory.h"

namespace {

using app_test::countOf;
using app_test::counts;
using app_test::sameColor;

// Runs `body` as the Music app of `generation`, the service answering `settings`.
bool asMusicApp(int generation, NSDictionary* settings, const std::function<void()>& body) {
  return app_test::asApp("com.apple.Music", &music::defineClasses, generation, settings, body);
}

StrongRef<NSMutableDictionary> settingsWith(bool enabledMusic, int visMethod = 0,
                                            bool enabledCF = false) {
  auto settings = NSMutableDictionary::dictionary();
  settings->setObject(NSNumber::numberWithBool(enabledMusic).get(), "enabledMusic");
  settings->setObject(NSNumber::numberWithInteger(visMethod).get(), "visMethod");
  settings->setObject(NSNumber::numberWithBool(enabledCF).get(), "enabledCF");
  for (auto [key, value] : {std::pair{"primaryColourRed", 1.0},
                            {"primaryColourGreen", 0.0},
                            {"primaryColourBlue", 0.0},
                            {"primaryColourAlpha", 0.5},
                            {"backgroundColourAlpha", 1.0}})
    settings->setObject(NSNumber::numberWithDouble(value).get(), key);
  return settings;
}

bool runUntil(const std::function<bool()>& condition,
              std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.005, true);
  }
  return true;
}

UIView* plotView() {
  return objc::cast<UIView>(musicAppState->plot.get());
}

// Out-of-line bodies mapped into this process now.
std::size_t mappedBodies() {
  std::ifstream maps("/proc/self/maps");
  std::size_t count = 0;
  for (std::string line; std::getline(maps, line);)
    if (line.find("/memfd:") != std::string::npos) ++count;
  return count;
}

class MusicApp : public ::testing::Test {
 protected:
  testing_support::TempDevice device_;
};

class EachGeneration : public MusicApp, public ::testing::WithParamInterface<int> {};

}  // namespace

// Shown while a video is on screen: the two log lines, no fetch, no plot.
TEST_P(EachGeneration, AnAppearanceWhileAVideoPlaysShowsNoPlotAndFetchesNothing) {
  EXPECT_TRUE(asMusicApp(GetParam(), settingsWith(true), [&] {
    music::showNowPlaying();
    ASSERT_TRUE(musicAppState->plot);
    ASSERT_TRUE(music::startVideo());
    EXPECT_FALSE(musicAppState->plot);
    const int fetches = counts().settingsRequests;
    msgSend<void>(music::nowPlayingController(), "viewDidAppear:", true);
    EXPECT_EQ(counts().settingsRequests, fetches);
    EXPECT_FALSE(musicAppState->plot);
    const std::string log = device_.log();
    const auto appeared = log.rfind("vellamor2: NowPlayingArt appeared.");
    const auto video = log.rfind("vellamor2: Video is playing, not showing vellamor.");
    ASSERT_NE(video, std::string::npos) << log;
    EXPECT_LT(appeared, video);
    // Stopped, the next appearance brings the plot back.
    ASSERT_TRUE(music::stopVideo());
    msgSend<void>(music::nowPlayingController(), "viewDidAppear:", true);
    EXPECT_TRUE(musicAppState->plot);
  }));
}

// A video view made while a plot shows takes it down with its link, and the colours stay.
TEST_F(MusicApp, AVideoViewRemovesThePlotAndKeepsItsColours) {
  EXPECT_TRUE(asMusicApp(10, settingsWith(true), [&] {
    music::showNowPlaying();
    StrongRef<NSObject> plot = musicAppState->plot;
    ASSERT_TRUE(plot);
    auto* link = objc::cast<CADisplayLink>(musicAppState->displayLink.get());
    ASSERT_NE(link, nullptr);
    auto green = UIColor::colorWithRed(0, 1, 0, 0.25);
    auto blue = UIColor::colorWithRed(0, 0, 1, 0.75);
    auto grey = UIColor::colorWithRed(0.5, 0.5, 0.5, 1);
    msgSend<void>(plot.get(), "changePrimaryColor:", green.get());
    msgSend<void>(plot.get(), "changeSecondaryColor:", blue.get());
    msgSend<void>(plot.get(), "changeBackgroundColor:", grey.get());
    StrongRef<NSObject> video =
        StrongRef<NSObject>::adopt(host::newView("Music.VideoView", 10, 20, 300, 200));
    EXPECT_EQ(countOf(device_.log(), "vellamor2: Music.VideoView inited."), 1);
    EXPECT_FALSE(musicAppState->plot);
    EXPECT_EQ(objc::cast<UIView>(plot.get())->superview(), nullptr);
    EXPECT_FALSE(link->isValid());
    EXPECT_TRUE(sameColor(musicAppState->savedPrimaryColor.get(), 0, 1, 0, 0.25));
    EXPECT_TRUE(sameColor(musicAppState->savedSecondaryColor.get(), 0, 0, 1, 0.75));
    EXPECT_TRUE(sameColor(musicAppState->savedBackgroundColor.get(), 0.5, 0.5, 0.5, 1));
    // The host's initialiser had the frame as given.
    EXPECT_TRUE(
        CGRectEqualToRect(objc::cast<UIView>(video.get())->frame(), CGRectMake(10, 20, 300, 200)));
  }));
}

// iOS 9: an item change moves a shown plot (a new one, of the last fetched "visMethod") onto the
// new item's view, and does nothing more when no plot is shown.
TEST_F(MusicApp, OnIOS9AnItemChangeMovesAShownPlotToTheNewItem) {
  EXPECT_TRUE(asMusicApp(9, settingsWith(false, 99), [&] {
    music::showNowPlaying();  // "enabledMusic" false: no plot
    ASSERT_FALSE(musicAppState->plot);
    music::nextItem();
    EXPECT_FALSE(musicAppState->plot);
    EXPECT_FALSE(musicAppState->displayLink);

    app_test::answerSettings(settingsWith(true, 99));
    msgSend<void>(music::nowPlayingController(), "viewDidAppear:", true);
    StrongRef<NSObject> first = musicAppState->plot;
    ASSERT_TRUE(first);
    // Settings change at SpringBoard are not fetched at an item change.
    app_test::answerSettings(settingsWith(true, 2));
    const int fetches = counts().settingsRequests;
    music::nextItem();
    EXPECT_EQ(counts().settingsRequests, fetches);
    UIView* plot = plotView();
    ASSERT_NE(plot, nullptr);
    EXPECT_NE(plot, first.get());
    const char* expected = vellamor2::plotClassName(99);
    if (objc_getClass(expected) == nullptr) expected = "WavePlotWaveform";
    EXPECT_STREQ(object_getClassName(plot), expected);
    EXPECT_EQ(plot->superview(), music::artworkView());
    EXPECT_EQ(objc::cast<UIView>(first.get())->superview(), nullptr);
  }));
}

// A reversion keeps the settings' colours, alpha included, for the next plot.
TEST_F(MusicApp, AReversionKeepsTheSettingsColours) {
  EXPECT_TRUE(asMusicApp(10, settingsWith(true), [&] {
    music::showNowPlaying();
    NSNotificationCenter::defaultCenter()->postNotificationName(
        "ColorFlowMusicAppColorReversionNotification", nullptr);
    EXPECT_TRUE(sameColor(musicAppState->savedPrimaryColor.get(), 1, 0, 0, 0.5));
  }));
}

// The drawing task draws a whole record and nothing from a 4-byte reply.
class HistoryReply : public MusicApp, public ::testing::WithParamInterface<bool> {};

TEST_P(HistoryReply, OnlyAWholeRecordIsDrawn) {
  const bool shortReply = GetParam();
  EXPECT_TRUE(asMusicApp(10, settingsWith(true), [&] {
    music::showNowPlaying();
    ASSERT_TRUE(musicAppState->plot);
    app_test::answerShortHistory(shortReply);
    // One tick by hand: the link stops first, and what it posted already runs.
    auto* link = objc::cast<CADisplayLink>(musicAppState->displayLink.get());
    StrongRef<NSObject> target = link->target();
    link->invalidate();
    runUntil([] { return false; }, std::chrono::milliseconds(50));
    const std::uint64_t before = screen::fingerprintOf(plotView()->layer());
    const int requests = counts().historyRequests;
    msgSend<void>(target.get(), "drawPlot:", static_cast<id>(link));
    ASSERT_TRUE(runUntil([&] { return counts().historyRequests > requests; }));
    const bool drew = screen::fingerprintOf(plotView()->layer()) != before;
    EXPECT_EQ(drew, !shortReply);
  }));
}

INSTANTIATE_TEST_SUITE_P(MusicApp, HistoryReply, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Short" : "Whole"; });

// A settings exchange that fails is not unarchived: no settings, no plot.
TEST_F(MusicApp, AFailedSettingsExchangeLeavesNoSettings) {
  EXPECT_TRUE(asMusicApp(10, settingsWith(true), [&] {
    music::showNowPlaying();
    ASSERT_TRUE(musicAppState->plot);
    id controller = music::nowPlayingController();
    msgSend<void>(controller, "viewDidDisappear:", true);
    app_test::answerSettings(nullptr);
    msgSend<void>(controller, "viewDidAppear:", true);
    EXPECT_FALSE(musicAppState->plot);
  }));
}

// Every reply body is unmapped after its drawing.
TEST_F(MusicApp, NoReplyBodyStaysMappedAfterItsDrawing) {
  EXPECT_TRUE(asMusicApp(10, settingsWith(true), [&] {
    music::showNowPlaying();
    ASSERT_TRUE(runUntil([] { return counts().historyRequests >= 3; }));
    const std::size_t mapped = mappedBodies();
    ASSERT_TRUE(runUntil([] { return counts().historyRequests >= 40; }, std::chrono::seconds(10)));
    EXPECT_LE(mappedBodies(), mapped);
  }));
}

INSTANTIATE_TEST_SUITE_P(MusicApp, EachGeneration, ::testing::Values(9, 10),
                         [](const auto& info) { return "iOS" + std::to_string(info.param); });
