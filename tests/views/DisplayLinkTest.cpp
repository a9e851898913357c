// Display links on the main run loop: every frameInterval-th refresh, only in the modes they
// were added to, never after invalidate, holding their target until then.

#include <gtest/gtest.h>

#include <CoreFoundation/CFRunLoop.h>

#include <string>
#include <vector>

#include "QuartzCore/CADisplayLink.h"
#include "WaitFor.h"
#include "objc/message.h"

namespace {

class TickRecorder : public NSObject {
  OBJC_NATIVE_CLASS(TickRecorder, NSObject)
 public:
  std::vector<unsigned long> refreshes;  // the link's refresh count at each tick
  std::vector<char>* events = nullptr;   // 't' for each tick, when given
  bool invalidateOnTick = false;

  static void registerMethods_(Class cls) {
    objc::addMethod(
        cls, "tick:", +[](id self, SEL, id sender) {
          auto* recorder = static_cast<TickRecorder*>(self);
          auto* link = objc::cast<CADisplayLink>(sender);
          recorder->refreshes.push_back(link->refreshCount());
          if (recorder->events != nullptr) recorder->events->push_back('t');
          if (recorder->invalidateOnTick) link->invalidate();
        });
  }
};

constexpr CFStringRef kOtherMode = "TestOtherMode";

// Runs the main loop in `mode` until `done` holds (with a deadline).
bool runUntil(CFStringRef mode, const std::function<bool()>& done) {
  return testing_support::waitFor([&] {
    CFRunLoopRunInMode(mode, 0.02, true);
    return done();
  });
}

TEST(DisplayLink, TicksOnEverySecondRefreshWithIntervalTwo) {
  auto recorder = objc::make<TickRecorder>();
  auto link = CADisplayLink::displayLinkWithTarget(recorder, "tick:");
  link->setFrameInterval(2);
  link->setFrameInterval(0);  // ignored
  link->addToRunLoop(CFRunLoopGetMain(), kCFRunLoopDefaultMode);
  ASSERT_TRUE(runUntil(kCFRunLoopDefaultMode, [&] { return recorder->refreshes.size() >= 3; }));
  EXPECT_EQ(recorder->refreshes[0], 2u);
  EXPECT_EQ(recorder->refreshes[1], 4u);
  EXPECT_EQ(recorder->refreshes[2], 6u);
  EXPECT_DOUBLE_EQ(link->duration(), 1.0 / 60);
  link->invalidate();
}

TEST(DisplayLink, ANewIntervalWhileScheduledKeepsItTickingThatFarApart) {
  auto recorder = objc::make<TickRecorder>();
  auto link = CADisplayLink::displayLinkWithTarget(recorder, "tick:");
  link->addToRunLoop(CFRunLoopGetMain(), kCFRunLoopDefaultMode);
  ASSERT_TRUE(runUntil(kCFRunLoopDefaultMode, [&] { return !recorder->refreshes.empty(); }));
  link->setFrameInterval(3);
  const std::size_t before = recorder->refreshes.size();
  ASSERT_TRUE(
      runUntil(kCFRunLoopDefaultMode, [&] { return recorder->refreshes.size() >= before + 2; }));
  EXPECT_EQ(recorder->refreshes[before + 1] - recorder->refreshes[before], 3u);
  link->invalidate();
}

TEST(DisplayLink, RefreshesFallOnOneGridOfAbsoluteTime) {
  const CFAbsoluteTime refresh = CADisplayLink::nextRefreshAfter(1000.01);
  EXPECT_NEAR(refresh, 1000.0 + 1.0 / 60, 1e-9);
  EXPECT_NEAR(CADisplayLink::nextRefreshAfter(refresh + 1e-6), refresh + 1.0 / 60, 1e-9);
}

// What the main loop did, in order: 't' a tick, 'm' another timer (a message, say), 's' a sleep.
std::vector<char> loopEvents;

// Whether the tick of the refresh just before another wake-up came in that wake-up's turn.
bool tickRodeOnTheNextWakeUp() {
  loopEvents.clear();
  auto recorder = objc::make<TickRecorder>();
  recorder->events = &loopEvents;
  auto link = CADisplayLink::displayLinkWithTarget(recorder, "tick:");
  link->addToRunLoop(CFRunLoopGetMain(), kCFRunLoopDefaultMode);
  CFRunLoopObserverRef sleeps = CFRunLoopObserverCreate(
      nullptr, kCFRunLoopBeforeWaiting, true, 0,
      +[](CFRunLoopObserverRef, CFRunLoopActivity, void*) { loopEvents.push_back('s'); }, nullptr);
  CFRunLoopAddObserver(CFRunLoopGetMain(), sleeps, kCFRunLoopDefaultMode);
  // Another wake-up a little after a refresh, well within the tick's tolerance; it ends the run.
  const CFAbsoluteTime refresh = CADisplayLink::nextRefreshAfter(CFAbsoluteTimeGetCurrent() + 0.05);
  CFRunLoopTimerRef other = CFRunLoopTimerCreate(
      nullptr, refresh + 0.75 * CADisplayLink::kTickTolerance, 0, 0, 0,
      +[](CFRunLoopTimerRef, void*) {
        loopEvents.push_back('m');
        CFRunLoopStop(CFRunLoopGetMain());
      },
      nullptr);
  CFRunLoopAddTimer(CFRunLoopGetMain(), other, kCFRunLoopDefaultMode);
  CFRunLoopRunInMode(kCFRunLoopDefaultMode, 2.0, false);
  CFRunLoopRemoveObserver(CFRunLoopGetMain(), sleeps, kCFRunLoopDefaultMode);
  CFRelease(sleeps);
  CFRelease(other);
  link->invalidate();
  const std::string events(loopEvents.begin(), loopEvents.end());
  const std::string lastTurn = events.substr(events.rfind('s') + 1);
  return lastTurn.find('t') != std::string::npos && lastTurn.find('m') != std::string::npos;
}

TEST(DisplayLink, ATickDueWhileTheLoopSleepsComesWithTheNextWakeUpWithinHalfARefresh) {
  // A loaded machine can hold the thread past a refresh, so that a late tick takes that
  // refresh's turn; a loop that wakes for each tick alone never passes, however many tries.
  bool rode = false;
  for (int attempt = 0; attempt < 5 && !rode; ++attempt) rode = tickRodeOnTheNextWakeUp();
  EXPECT_TRUE(rode) << std::string(loopEvents.begin(), loopEvents.end());
}

TEST(DisplayLink, TicksOnlyInTheModesItWasAddedTo) {
  auto recorder = objc::make<TickRecorder>();
  auto witness = objc::make<TickRecorder>();
  auto link = CADisplayLink::displayLinkWithTarget(recorder, "tick:");
  auto other = CADisplayLink::displayLinkWithTarget(witness, "tick:");
  link->addToRunLoop(CFRunLoopGetMain(), kCFRunLoopDefaultMode);
  other->addToRunLoop(CFRunLoopGetMain(), kOtherMode);

  ASSERT_TRUE(runUntil(kOtherMode, [&] { return witness->refreshes.size() >= 5; }));
  EXPECT_TRUE(recorder->refreshes.empty()) << "ticked while the loop ran in another mode";
  ASSERT_TRUE(runUntil(kCFRunLoopDefaultMode, [&] { return !recorder->refreshes.empty(); }));
  link->invalidate();
  other->invalidate();
}

TEST(DisplayLink, InvalidateStopsTheTicksAndReleasesTheTarget) {
  auto recorder = objc::make<TickRecorder>();
  auto witness = objc::make<TickRecorder>();
  recorder->invalidateOnTick = true;  // as a host does when its view goes away
  CADisplayLink* weakLink = nullptr;
  {
    auto link = CADisplayLink::displayLinkWithTarget(recorder, "tick:");
    weakLink = link.get();
    link->addToRunLoop(CFRunLoopGetMain(), kCFRunLoopDefaultMode);
    EXPECT_EQ(recorder->retainCount(), 2u) << "the link holds its target";
  }
  auto other = CADisplayLink::displayLinkWithTarget(witness, "tick:");
  other->addToRunLoop(CFRunLoopGetMain(), kCFRunLoopDefaultMode);
  ASSERT_TRUE(runUntil(kCFRunLoopDefaultMode, [&] { return witness->refreshes.size() >= 5; }));
  EXPECT_EQ(recorder->refreshes.size(), 1u) << "ticked after invalidate";
  EXPECT_EQ(recorder->retainCount(), 1u) << "the target was not released";
  (void)weakLink;  // freed with the run loop's hold: ASan would report a late use
  other->invalidate();
}

}  // namespace
