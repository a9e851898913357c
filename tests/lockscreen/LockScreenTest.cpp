// The lock-screen plot in SpringBoard's own lock-screen classes: which plot comes, when it comes
// and goes, the colours it keeps, its display link and its drawing tasks. Hooks stay for the
// life of a process, so every case runs as a SpringBoard of its own in a child process.

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
#include <dispatch/dispatch.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "InChild.h"
#include "SpringBoardClasses.h"
#include "TempDevice.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/SpringBoardServer.h"
#include "Vellamor2/Startup.h"
#include "Vellamor2/WavePlotFactory.h"

namespace {

namespace fs = std::filesystem;

// Runs `body` as SpringBoard of `generation` in a child process; true when the child passed.
bool asSpringBoard(int generation, const std::function<void()>& body,
                   void (*defineClasses)(int) = &springboard::defineClasses) {
  return testing_support::passesInChild([&] {
    NSBundle::mainBundle()->setBundleIdentifier("com.apple.springboard");
    kCFCoreFoundationVersionNumber = host::coreFoundationVersionOf(generation);
    // As on the phone, scrolling's tracking mode is one of the common modes.
    CFRunLoopAddCommonMode(CFRunLoopGetMain(), CFSTR("UITrackingRunLoopMode"));
    defineClasses(generation);
    for (const vellamor2::StartupStep& step : vellamor2::startupSequence())
      if (!step.constructsRecord) step.run();
    body();
  });
}

// The settings dictionary the lock screen reads.
NSMutableDictionary* useSettings(bool enabledLS, int visMethod = 0, bool enabledCF = false) {
  auto settings = NSMutableDictionary::dictionary();
  settings->setObject(NSNumber::numberWithBool(enabledLS).get(), "enabledLS");
  settings->setObject(NSNumber::numberWithInteger(visMethod).get(), "visMethod");
  settings->setObject(NSNumber::numberWithBool(enabledCF).get(), "enabledCF");
  // The settings' primary colour: opaque blue; the other two opaque black.
  for (auto [key, value] : {std::pair{"primaryColourRed", 0.0},
                            {"primaryColourGreen", 0.0},
                            {"primaryColourBlue", 1.0},
                            {"primaryColourAlpha", 1.0},
                            {"secondaryColourAlpha", 1.0},
                            {"backgroundColourAlpha", 1.0}})
    settings->setObject(NSNumber::numberWithDouble(value).get(), key);
  sManager = objc::make<SettingsManager>();
  sManager->setPreferences(settings.get());
  return settings.get();
}

// Serves the main run loop in `mode` until `condition` holds or `timeout` passes.
bool runUntil(const std::function<bool()>& condition,
              std::chrono::milliseconds timeout = std::chrono::seconds(5),
              CFStringRef mode = kCFRunLoopDefaultMode) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    CFRunLoopRunInMode(mode, 0.005, true);
  }
  return true;
}

// Serves the main run loop in `mode` for `refreshes` display refreshes.
void runFor(int refreshes, CFStringRef mode = kCFRunLoopDefaultMode) {
  runUntil([] { return false; }, std::chrono::milliseconds(refreshes * 1000 / 60), mode);
}

// Ticks sent by the display (every link of this process).
unsigned long ticks() {
  return CADisplayLink::ticksSentInProcess();
}

// Main-queue tasks run since `countTasks` started counting.
unsigned long tasksRun = 0;
void countTasks() {
  tasksRun = 0;
  dispatch_main_queue_set_observer(+[](std::uint64_t, std::uint64_t) { ++tasksRun; });
}

id controller() {
  return springboard::nowPlayingArtworkController();
}

int countOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

UIColor* primaryOf(NSObject* plot) {
  return msgSend<UIColor*>(plot, "getPrimaryColor");
}

bool sameColor(const UIColor* a, const UIColor* b) {
  if (a == nullptr || b == nullptr) return a == b;
  const CGFloat* x = CGColorGetComponents(a->CGColor());
  const CGFloat* y = CGColorGetComponents(b->CGColor());
  for (int i = 0; i < 4; ++i)
    if (std::abs(x[i] - y[i]) > 1e-6) return false;
  return true;
}

// A device holding the iOS 9 lock-screen plug-in at its phone path.
class LockScreenDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto plugin = device_.path() /
                        "System/Library/SpringBoardPlugins/NowPlayingArtLockScreen.lockbundle/"
                        "NowPlayingArtLockScreen";
    fs::create_directories(plugin.parent_path());
    fs::create_symlink(testing_support::binaryDirectory() / "lib/NowPlayingArtLockScreen", plugin);
  }
  testing_support::TempDevice device_;
};

class EachGeneration : public LockScreenDevice, public ::testing::WithParamInterface<int> {};

std::string generationName(const ::testing::TestParamInfo<int>& info) {
  return "iOS" + std::to_string(info.param);
}

}  // namespace

// The plot on screen is of the class "visMethod" names (the waveform where a plot is not built
// into this library), a subview of the artwork's container view and sized to it.
TEST_P(EachGeneration, AnAppearanceShowsThePlotOfVisMethodInTheArtwork) {
  for (int visMethod : {0, 99, 4, -1}) {
    EXPECT_TRUE(asSpringBoard(
        GetParam(),
        [&] {
          useSettings(true, visMethod);
          springboard::showNowPlayingArtwork();
          auto* plot = objc::cast<UIView>(lockscreenState->plot.get());
          ASSERT_NE(plot, nullptr);
          const char* expected = vellamor2::plotClassName(visMethod);
          if (objc_getClass(expected) == nullptr) expected = "WavePlotWaveform";
          EXPECT_STREQ(object_getClassName(plot), expected);
          auto* host = objc::cast<UIView>(lockscreenState->hostView.get());
          ASSERT_NE(host, nullptr);
          EXPECT_EQ(plot->superview(), host);
          EXPECT_EQ(host->subviews().back().get(), plot);
          EXPECT_EQ(plot->frame().size.width, host->bounds().size.width);
          EXPECT_GT(plot->frame().size.width, 0);
          ASSERT_TRUE(lockscreenState->displayLink);
          EXPECT_EQ(objc::cast<CADisplayLink>(lockscreenState->displayLink.get())->frameInterval(),
                    2);
        }))
        << "visMethod " << visMethod;
  }
}

TEST_P(EachGeneration, WithTheLockScreenDisabledTheArtworkAppearsWithoutAPlot) {
  EXPECT_TRUE(asSpringBoard(GetParam(), [&] {
    useSettings(false);
    springboard::showNowPlayingArtwork();
    EXPECT_FALSE(lockscreenState->plot);
    EXPECT_FALSE(lockscreenState->displayLink);
    EXPECT_EQ(countOf(device_.log(), "vellamor2: NowPlayingArt appeared."), 1);
  }));
}

TEST_P(EachGeneration, WithoutSettingsNoPlotIsShown) {
  EXPECT_TRUE(asSpringBoard(GetParam(), [&] {
    sManager = nullptr;  // before SpringBoard has launched
    springboard::showNowPlayingArtwork();
    EXPECT_FALSE(lockscreenState->plot);
  }));
}

// Appear, disappear, appear: a new plot; the kept colours come back only with "enabledCF".
class KeptColours : public LockScreenDevice, public ::testing::WithParamInterface<bool> {};

TEST_P(KeptColours, ComeBackToTheNextPlotOnlyWithColorFlowEnabled) {
  const bool enabledCF = GetParam();
  EXPECT_TRUE(asSpringBoard(10, [&] {
    useSettings(true, 0, enabledCF);
    springboard::showNowPlayingArtwork();
    StrongRef<NSObject> first = lockscreenState->plot;
    ASSERT_TRUE(first);
    auto orange = UIColor::colorWithRed(1, 0.5, 0, 1);
    auto teal = UIColor::colorWithRed(0, 0.5, 0.5, 1);
    auto grey = UIColor::colorWithRed(0.25, 0.25, 0.25, 1);
    msgSend<void>(first.get(), "changePrimaryColor:", orange.get());
    msgSend<void>(first.get(), "changeSecondaryColor:", teal.get());
    msgSend<void>(first.get(), "changeBackgroundColor:", grey.get());
    springboard::hideNowPlayingArtwork();
    EXPECT_FALSE(lockscreenState->plot);
    auto kept = [](const StrongRef<NSObject>& colour) { return objc::cast<UIColor>(colour.get()); };
    EXPECT_TRUE(sameColor(kept(lockscreenState->savedPrimaryColor), orange.get()));
    EXPECT_TRUE(sameColor(kept(lockscreenState->savedSecondaryColor), teal.get()));
    EXPECT_TRUE(sameColor(kept(lockscreenState->savedBackgroundColor), grey.get()));
    EXPECT_EQ(countOf(device_.log(), "vellamor2: NowPlayingArt disappeared."), 1);

    springboard::showNowPlayingArtwork();
    NSObject* second = lockscreenState->plot.get();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first.get());
    EXPECT_EQ(sameColor(primaryOf(second), orange.get()), enabledCF);
    if (enabledCF) {
      EXPECT_TRUE(sameColor(msgSend<UIColor*>(second, "getSecondaryColor"), teal.get()));
      EXPECT_TRUE(sameColor(msgSend<UIColor*>(second, "getBackgroundColor"), grey.get()));
    } else {
      EXPECT_TRUE(sameColor(primaryOf(second), UIColor::colorWithRed(0, 0, 1, 1).get()));
    }
    // The colours stay in the record either way.
    EXPECT_TRUE(lockscreenState->savedPrimaryColor);
  }));
}

INSTANTIATE_TEST_SUITE_P(LockScreen, KeptColours, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ColorFlow" : "Settings"; });

TEST_P(EachGeneration, ASecondAppearanceKeepsTheOnePlotAndItsDisplayLink) {
  EXPECT_TRUE(asSpringBoard(GetParam(), [&] {
    useSettings(true);
    springboard::showNowPlayingArtwork();
    NSObject* plot = lockscreenState->plot.get();
    NSObject* link = lockscreenState->displayLink.get();
    msgSend<void>(controller(), "viewDidAppear:", true);
    EXPECT_EQ(lockscreenState->plot.get(), plot);
    EXPECT_EQ(lockscreenState->displayLink.get(), link);
    auto* host = objc::cast<UIView>(lockscreenState->hostView.get());
    int plots = 0;
    for (const auto& view : host->subviews()) plots += view.get() == plot;
    EXPECT_EQ(plots, 1);
    EXPECT_EQ(host->subviews().size(), 1u);
  }));
}

TEST_F(LockScreenDevice, ARotationLogsItsLineAndKeepsThePlotsFrame) {
  EXPECT_TRUE(asSpringBoard(10, [&] {
    useSettings(true);
    springboard::showNowPlayingArtwork();
    auto* plot = objc::cast<UIView>(lockscreenState->plot.get());
    ASSERT_NE(plot, nullptr);
    const CGRect before = plot->frame();
    objc::cast<UIView>(lockscreenState->hostView.get())->setFrame(CGRectMake(0, 0, 200, 100));
    msgSend<void>(controller(), "willRotateToInterfaceOrientation:duration:", 3L, 0.3);
    EXPECT_EQ(countOf(device_.log(), "vellamor2: NowPlayingArt rotated."), 1);
    EXPECT_TRUE(CGRectEqualToRect(plot->frame(), before));
    EXPECT_EQ(lockscreenState->plot.get(), plot);
  }));
}

// A tick posts its drawing as a task of its own; a task that runs after the hide draws nothing.
TEST_P(EachGeneration, ATickWhoseTaskRunsAfterTheHideDrawsNothing) {
  EXPECT_TRUE(asSpringBoard(GetParam(), [&] {
    useSettings(true);
    springboard::showNowPlayingArtwork();
    StrongRef<UIView> plot(objc::cast<UIView>(lockscreenState->plot.get()));
    ASSERT_TRUE(plot);
    const std::uint64_t shown = screen::fingerprintOf(plot->layer());
    countTasks();
    msgSend<void>(controller(), "drawPlot:", static_cast<id>(nullptr));
    EXPECT_EQ(tasksRun, 0u);  // not yet: it is a task
    EXPECT_EQ(screen::fingerprintOf(plot->layer()), shown);
    springboard::hideNowPlayingArtwork();
    const std::uint64_t hidden = screen::fingerprintOf(plot->layer());
    ASSERT_TRUE(runUntil([] { return tasksRun >= 1; }));
    dispatch_main_queue_set_observer(nullptr);
    EXPECT_FALSE(lockscreenState->plot);
    EXPECT_EQ(screen::fingerprintOf(plot->layer()), hidden);
  }));
}

TEST_F(LockScreenDevice, OnIOS9AnAppearanceBeforeAnyArtViewShowsNothing) {
  EXPECT_TRUE(asSpringBoard(9, [&] {
    useSettings(true);
    // The plug-in's controller, its view not loaded: no _NowPlayingArtView exists yet.
    StrongRef<NSObject> early =
        StrongRef<NSObject>::adopt(host::newInstance("NowPlayingArtPluginController"));
    ASSERT_TRUE(early);
    msgSend<void>(early.get(), "viewDidAppear:", true);
    EXPECT_FALSE(lockscreenState->plot);
    EXPECT_EQ(countOf(device_.log(), "vellamor2: NowPlayingArt appeared."), 1);
    // Once the host has made its art view, the next appearance shows the plot in it.
    springboard::showNowPlayingArtwork();
    ASSERT_TRUE(lockscreenState->plot);
    EXPECT_NE(objc::cast<UIView>(lockscreenState->plot.get())->superview(), nullptr);
  }));
}

// A controller whose class lacks "_artworkView": no view to draw over, nothing read through a
// missing variable; the plot exists with a zero frame, outside every view.
void defineControllerWithoutIvars(int) {
  host::RuntimeClass("SpringBoard", "NSObject").define();
  host::RuntimeClass("SBDashBoardMediaArtworkViewController", "UIViewController")
      .method(
          "viewDidLoad", +[](id, SEL) {})
      .method(
          "willRotateToInterfaceOrientation:duration:", +[](id, SEL, long, double) {})
      .method(
          "viewDidAppear:", +[](id, SEL, BOOL) {})
      .method(
          "viewDidDisappear:", +[](id, SEL, BOOL) {})
      .define();
}

TEST_F(LockScreenDevice, AMissingArtworkVariableReadsAsNoView) {
  EXPECT_TRUE(asSpringBoard(
      10,
      [&] {
        useSettings(true);
        StrongRef<NSObject> bare =
            StrongRef<NSObject>::adopt(host::newInstance("SBDashBoardMediaArtworkViewController"));
        msgSend<id>(bare.get(), "view");
        msgSend<void>(bare.get(), "viewDidAppear:", true);
        EXPECT_FALSE(lockscreenState->artworkView);
        EXPECT_FALSE(lockscreenState->hostView);
        auto* plot = objc::cast<UIView>(lockscreenState->plot.get());
        ASSERT_NE(plot, nullptr);
        EXPECT_TRUE(CGRectEqualToRect(plot->frame(), CGRectZero));
        EXPECT_EQ(plot->superview(), nullptr);
        msgSend<void>(bare.get(), "viewDidDisappear:", true);
        EXPECT_FALSE(lockscreenState->plot);
      },
      &defineControllerWithoutIvars));
}

// Ticks come every second refresh, only while the main run loop runs in its default mode, each
// drawing as a task of its own, and stop for good at the hide's invalidate.
TEST_P(EachGeneration, TicksComeOnlyInTheDefaultModeAndStopAtInvalidate) {
  EXPECT_TRUE(asSpringBoard(GetParam(), [&] {
    useSettings(true);
    springboard::showNowPlayingArtwork();
    const auto first = ticks();
    ASSERT_TRUE(runUntil([&] { return ticks() >= first + 3; }));

    const auto tracked = ticks();
    runFor(10, CFSTR("UITrackingRunLoopMode"));
    EXPECT_EQ(ticks(), tracked);

    auto* link = objc::cast<CADisplayLink>(lockscreenState->displayLink.get());
    springboard::hideNowPlayingArtwork();
    EXPECT_FALSE(link->isValid());
    runUntil([] { return false; }, std::chrono::milliseconds(10));  // tasks already posted
    const auto stopped = ticks();
    runFor(10);
    EXPECT_EQ(ticks(), stopped);
  }));
}

INSTANTIATE_TEST_SUITE_P(LockScreen, EachGeneration, ::testing::Values(9, 10), generationName);
