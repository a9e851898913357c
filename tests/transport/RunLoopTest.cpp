#include <CoreFoundation/CFRunLoop.h>
#include <dispatch/dispatch.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RunLoopInternal.h"
#include "WaitFor.h"

namespace {

constexpr CFStringRef kTrackingMode = "UITrackingRunLoopMode";

struct EventFd {
  EventFd() : fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~EventFd() { close(fd); }
  void signal() const {
    uint64_t one = 1;
    ASSERT_EQ(write(fd, &one, sizeof one), 8);
  }
  int fd;
};

struct Counter {
  int calls = 0;
  int fd = -1;
};

void countAndDrain(int fd, void* info) {
  auto* counter = static_cast<Counter*>(info);
  uint64_t value;
  if (read(fd, &value, sizeof value) == 8) ++counter->calls;
  counter->fd = fd;
}

// Runs `mode` in short slices until `done` or the slices run out.
template <typename Done>
bool runUntil(CFStringRef mode, Done done, int slices = 200) {
  for (int i = 0; i < slices && !done(); ++i) CFRunLoopRunInMode(mode, 0.05, true);
  return done();
}

// Each case uses a thread's own loop, so the cases stay independent of one another.
template <typename Body>
void onFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

TEST(RunLoop, EmptyModeFinishesAtOnce) {
  onFreshThread([] {
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 5, false), kCFRunLoopRunFinished);
  });
}

TEST(RunLoop, CommonModesIsNotAModeToRunIn) {
  onFreshThread([] {
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopCommonModes, 0, false), kCFRunLoopRunFinished);
  });
}

TEST(RunLoop, DescriptorSourceCalledWithCallersDescriptorAndReturnsHandled) {
  onFreshThread([] {
    EventFd event;
    Counter counter;
    CFRunLoopSourceRef source =
        CFRunLoopSourceCreateWithDescriptor(event.fd, countAndDrain, &counter);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
    event.signal();
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(counter.calls, 1);
    EXPECT_EQ(counter.fd, event.fd);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true), kCFRunLoopRunTimedOut);
    CFRunLoopSourceInvalidate(source);
    EXPECT_FALSE(CFRunLoopSourceIsValid(source));
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true), kCFRunLoopRunFinished);
    CFRelease(source);
  });
}

struct ModeCase {
  CFStringRef addedIn;
  CFStringRef runIn;
  bool served;
  const char* name;
};

class RunLoopModes : public ::testing::TestWithParam<ModeCase> {};

// Sources and timers wait for the modes they were added in; common items run in every common mode.
TEST_P(RunLoopModes, SourceAndTimerServedOnlyInTheirModes) {
  ModeCase mode = GetParam();
  onFreshThread([mode] {
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    CFRunLoopAddCommonMode(loop, kTrackingMode);
    EventFd event;
    Counter counter;
    CFRunLoopSourceRef source =
        CFRunLoopSourceCreateWithDescriptor(event.fd, countAndDrain, &counter);
    CFRunLoopAddSource(loop, source, mode.addedIn);
    int fired = 0;
    CFRunLoopTimerContext context{0, &fired, nullptr, nullptr, nullptr};
    CFRunLoopTimerRef timer = CFRunLoopTimerCreate(
        nullptr, CFAbsoluteTimeGetCurrent(), 0, 0, 0,
        [](CFRunLoopTimerRef, void* info) { ++*static_cast<int*>(info); }, &context);
    CFRunLoopAddTimer(loop, timer, mode.addedIn);
    // Keeps a mode that serves neither from finishing at once.
    EventFd idle;
    Counter idleCounter;
    CFRunLoopSourceRef keeper =
        CFRunLoopSourceCreateWithDescriptor(idle.fd, countAndDrain, &idleCounter);
    CFRunLoopAddSource(loop, keeper, mode.runIn);
    event.signal();
    if (mode.served) {
      EXPECT_TRUE(runUntil(mode.runIn, [&] { return counter.calls == 1 && fired == 1; }));
    } else {
      for (int i = 0; i < 3; ++i) CFRunLoopRunInMode(mode.runIn, 0.01, false);
      EXPECT_EQ(counter.calls, 0);
      EXPECT_EQ(fired, 0);
      // ...and they run once their own mode does.
      CFStringRef own =
          std::string(mode.addedIn) == kCFRunLoopCommonModes ? kCFRunLoopDefaultMode : mode.addedIn;
      EXPECT_TRUE(runUntil(own, [&] { return counter.calls == 1 && fired == 1; }));
    }
    EXPECT_FALSE(CFRunLoopTimerIsValid(timer));  // a one-shot timer ends after firing
    CFRunLoopSourceInvalidate(source);
    CFRunLoopSourceInvalidate(keeper);
    CFRelease(source);
    CFRelease(keeper);
    CFRelease(timer);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RunLoopModes,
    ::testing::Values(
        ModeCase{kCFRunLoopDefaultMode, kCFRunLoopDefaultMode, true, "DefaultInDefault"},
        ModeCase{kCFRunLoopDefaultMode, kTrackingMode, false, "DefaultInTracking"},
        ModeCase{kCFRunLoopCommonModes, kCFRunLoopDefaultMode, true, "CommonInDefault"},
        ModeCase{kCFRunLoopCommonModes, kTrackingMode, true, "CommonInTracking"},
        ModeCase{kCFRunLoopCommonModes, "SomeOtherMode", false, "CommonInOther"},
        ModeCase{kTrackingMode, kCFRunLoopDefaultMode, false, "TrackingInDefault"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunLoop, RepeatingTimerFiresAgainUntilInvalidated) {
  onFreshThread([] {
    struct State {
      int fired = 0;
    } state;
    CFRunLoopTimerContext context{0, &state, nullptr, nullptr, nullptr};
    CFRunLoopTimerRef timer = CFRunLoopTimerCreate(
        nullptr, CFAbsoluteTimeGetCurrent(), 0.001, 0, 0,
        [](CFRunLoopTimerRef self, void* info) {
          if (++static_cast<State*>(info)->fired == 3) CFRunLoopTimerInvalidate(self);
        },
        &context);
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopCommonModes);
    // The loop finishes by itself once its only timer has been invalidated.
    int32_t result = kCFRunLoopRunTimedOut;
    for (int i = 0; i < 100 && result != kCFRunLoopRunFinished; ++i)
      result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1, false);
    EXPECT_EQ(result, kCFRunLoopRunFinished);
    EXPECT_EQ(state.fired, 3);
    CFRelease(timer);
  });
}

// Timers are taken a few at a time: more of them due together than one batch all fire in the
// loop's first pass, none left for a later turn.
TEST(RunLoop, EveryTimerDueAtOnceFiresInOnePass) {
  onFreshThread([] {
    constexpr int kTimers = 20;
    int fired = 0;
    CFRunLoopTimerContext context{0, &fired, nullptr, nullptr, nullptr};
    std::vector<CFRunLoopTimerRef> timers;
    for (int i = 0; i < kTimers; ++i) {
      timers.push_back(CFRunLoopTimerCreate(
          nullptr, CFAbsoluteTimeGetCurrent() - 1, 0, 0, 0,
          [](CFRunLoopTimerRef, void* info) { ++*static_cast<int*>(info); }, &context));
      CFRunLoopAddTimer(CFRunLoopGetCurrent(), timers.back(), kCFRunLoopDefaultMode);
    }
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false);
    EXPECT_EQ(fired, kTimers);
    for (CFRunLoopTimerRef timer : timers) CFRelease(timer);
  });
}

// A timer with a tolerance does not wake the loop at its fire date: the next wake-up within the
// tolerance serves it. Held to the interval of a repeating timer.
TEST(RunLoop, TimerWithAToleranceFiresWithTheNextWakeUpWithinIt) {
  onFreshThread([] {
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    EventFd event;
    Counter counter;
    CFRunLoopSourceRef source =
        CFRunLoopSourceCreateWithDescriptor(event.fd, countAndDrain, &counter);
    CFRunLoopAddSource(loop, source, kCFRunLoopDefaultMode);
    std::atomic<int> fired{0};
    CFRunLoopTimerContext context{0, &fired, nullptr, nullptr, nullptr};
    const auto fire = [](CFRunLoopTimerRef, void* info) {
      ++*static_cast<std::atomic<int>*>(info);
    };
    CFRunLoopTimerRef repeating = CFRunLoopTimerCreate(nullptr, 0, 0.5, 0, 0, fire, &context);
    CFRunLoopTimerSetTolerance(repeating, 2);
    EXPECT_EQ(CFRunLoopTimerGetTolerance(repeating), 0.5);
    const CFAbsoluteTime fireDate = CFAbsoluteTimeGetCurrent() + 0.01;
    CFRunLoopTimerRef timer = CFRunLoopTimerCreate(nullptr, fireDate, 0, 0, 0, fire, &context);
    CFRunLoopTimerSetTolerance(timer, 3600);
    CFRunLoopAddTimer(loop, timer, kCFRunLoopDefaultMode);
    int firedBeforeTheWakeUp = -1;
    std::thread waker([&] {
      testing_support::waitFor(
          [&] { return CFRunLoopIsWaiting(loop) && CFAbsoluteTimeGetCurrent() > fireDate + 0.05; });
      firedBeforeTheWakeUp = fired;
      event.signal();
    });
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 60, true), kCFRunLoopRunHandledSource);
    waker.join();
    EXPECT_EQ(firedBeforeTheWakeUp, 0) << "the loop woke for the timer at its fire date";
    EXPECT_EQ(fired, 1);
    CFRunLoopTimerInvalidate(timer);
    CFRunLoopSourceInvalidate(source);
    CFRelease(timer);
    CFRelease(repeating);
    CFRelease(source);
  });
}

TEST(RunLoop, StopFromAnotherThreadEndsTheRun) {
  onFreshThread([] {
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    EventFd idle;
    Counter counter;
    CFRunLoopSourceRef keeper =
        CFRunLoopSourceCreateWithDescriptor(idle.fd, countAndDrain, &counter);
    CFRunLoopAddSource(loop, keeper, kCFRunLoopDefaultMode);
    std::thread stopper([loop] {
      while (!CFRunLoopIsWaiting(loop)) std::this_thread::yield();
      CFRunLoopStop(loop);
    });
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0e6, false), kCFRunLoopRunStopped);
    stopper.join();
    // A stop that comes while the loop is not running ends the next run at once.
    CFRunLoopStop(loop);
    CFRunLoopRun();
    CFRunLoopSourceInvalidate(keeper);
    CFRelease(keeper);
  });
}

TEST(RunLoop, SourceInvalidatedByAnEarlierCalloutOfTheSameTurnIsNotCalled) {
  onFreshThread([] {
    EventFd first, second;
    struct Pair {
      CFRunLoopSourceRef other = nullptr;
      int calls = 0;
    } a, b;
    auto callout = [](int fd, void* info) {
      auto* pair = static_cast<Pair*>(info);
      uint64_t value;
      [[maybe_unused]] ssize_t got = read(fd, &value, sizeof value);
      ++pair->calls;
      CFRunLoopSourceInvalidate(pair->other);
    };
    CFRunLoopSourceRef sourceA = CFRunLoopSourceCreateWithDescriptor(first.fd, callout, &a);
    CFRunLoopSourceRef sourceB = CFRunLoopSourceCreateWithDescriptor(second.fd, callout, &b);
    a.other = sourceB;
    b.other = sourceA;
    CFRunLoopAddSource(CFRunLoopGetCurrent(), sourceA, kCFRunLoopDefaultMode);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), sourceB, kCFRunLoopDefaultMode);
    first.signal();
    second.signal();
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10, true);
    EXPECT_EQ(a.calls + b.calls, 1);
    CFRelease(sourceA);
    CFRelease(sourceB);
  });
}

// A signalled source has no descriptor to drain: each call counts.
void countSignalled(int fd, void* info) {
  auto* counter = static_cast<Counter*>(info);
  ++counter->calls;
  counter->fd = fd;
}

// A signalled source is served once per signal, without its descriptor, and only in a mode that
// holds it.
TEST(RunLoop, SignalledSourceServedOnceWithoutItsDescriptorInItsModesOnly) {
  onFreshThread([] {
    EventFd never;
    Counter counter;
    CFRunLoopSourceRef source =
        CFRunLoopSourceCreateWithDescriptor(never.fd, countSignalled, &counter);
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    CFRunLoopAddSource(loop, source, kCFRunLoopDefaultMode);
    CFRunLoopTimerRef keepTracking = CFRunLoopTimerCreate(
        nullptr, CFAbsoluteTimeGetCurrent() + 3600, 0, 0, 0, +[](CFRunLoopTimerRef, void*) {},
        nullptr);
    CFRunLoopAddTimer(loop, keepTracking, kTrackingMode);

    CFRunLoopSourceSignal(source);
    EXPECT_EQ(CFRunLoopRunInMode(kTrackingMode, 0.05, true), kCFRunLoopRunTimedOut);
    EXPECT_EQ(counter.calls, 0) << "served in a mode without it";
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 5, true), kCFRunLoopRunHandledSource);
    EXPECT_EQ(counter.calls, 1);
    EXPECT_EQ(counter.fd, -1);
    EXPECT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, true), kCFRunLoopRunTimedOut);
    EXPECT_EQ(counter.calls, 1) << "served again without a new signal";

    CFRunLoopTimerInvalidate(keepTracking);
    CFRelease(keepTracking);
    CFRunLoopSourceInvalidate(source);
    CFRelease(source);
  });
}

// What a counter had seen each time the observers of this thread's loop were told of a sleep.
class ToldBeforeSleeping {
 public:
  explicit ToldBeforeSleeping(const Counter& counter) : counter_(&counter) {
    CFRunLoopObserverContext context{0, this, nullptr, nullptr, nullptr};
    observer_ = CFRunLoopObserverCreate(nullptr, kCFRunLoopBeforeWaiting, true, 0, &tell, &context);
    CFRunLoopAddObserver(CFRunLoopGetCurrent(), observer_, kCFRunLoopDefaultMode);
  }
  ~ToldBeforeSleeping() {
    remove();
    CFRelease(observer_);
  }
  void remove() {
    if (std::exchange(added_, false))
      CFRunLoopRemoveObserver(CFRunLoopGetCurrent(), observer_, kCFRunLoopDefaultMode);
  }
  std::vector<int> calls;        // the counter's calls at each telling
  std::vector<int> descriptors;  // and the descriptor its callout last had

 private:
  static void tell(CFRunLoopObserverRef, CFRunLoopActivity, void* info) {
    auto* told = static_cast<ToldBeforeSleeping*>(info);
    told->calls.push_back(told->counter_->calls);
    told->descriptors.push_back(told->counter_->fd);
  }
  const Counter* counter_;
  CFRunLoopObserverRef observer_ = nullptr;
  bool added_ = true;
};

// Told before each sleep, in a mode it was not added for, once what woke the loop has run.
TEST(RunLoop, ObserverToldBeforeSleepingUntilRemoved) {
  onFreshThread([] {
    EventFd event;
    Counter counter;
    CFRunLoopSourceRef source =
        CFRunLoopSourceCreateWithDescriptor(event.fd, &countAndDrain, &counter);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kTrackingMode);
    ToldBeforeSleeping seen(counter);
    event.signal();
    EXPECT_TRUE(
        runUntil(kTrackingMode, [&] { return !seen.calls.empty() && seen.calls.back() == 1; }));
    seen.remove();
    const size_t told = seen.calls.size();
    CFRunLoopRunInMode(kTrackingMode, 0.01, false);
    EXPECT_EQ(seen.calls.size(), told);
    CFRunLoopSourceInvalidate(source);
    CFRelease(source);
  });
}

// A turn that serves a signalled source (a tick's drawing task) and comes straight back is no
// sleep: observers hear only of the sleeps after it.
TEST(RunLoop, ObserverNotToldOfATurnThatServesASignalledSource) {
  onFreshThread([] {
    EventFd event;
    Counter counter;  // its descriptor is -1 once the signal has been served
    counter.fd = 0;
    CFRunLoopSourceRef source =
        CFRunLoopSourceCreateWithDescriptor(event.fd, &countAndDrain, &counter);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
    ToldBeforeSleeping seen(counter);
    CFRunLoopSourceSignal(source);
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, false);
    ASSERT_FALSE(seen.descriptors.empty());
    EXPECT_EQ(seen.descriptors.front(), -1) << "told before the signalled source was served";
    CFRunLoopSourceInvalidate(source);
    CFRelease(source);
  });
}

// A look that a source asks for (a service whose requests come back to back) ends as soon as
// another source is ready or a timer is due, however long it was asked to last.
class RunLoopLook : public ::testing::TestWithParam<bool> {};

TEST_P(RunLoopLook, EndsWhenAnotherSourceIsReadyOrATimerIsDue) {
  const bool byTimer = GetParam();
  onFreshThread([byTimer] {
    CFRunLoopRef loop = CFRunLoopGetCurrent();
    EventFd asking, other;
    CFRunLoopSourceRef asker = CFRunLoopSourceCreateWithDescriptor(
        asking.fd,
        [](int fd, void*) {
          uint64_t value;
          [[maybe_unused]] ssize_t got = read(fd, &value, sizeof value);
          runloop::lookBeforeWaiting(CFRunLoopGetCurrent(),
                                     std::chrono::steady_clock::now() + std::chrono::seconds(30));
        },
        nullptr);
    Counter counter;
    CFRunLoopSourceRef source =
        CFRunLoopSourceCreateWithDescriptor(other.fd, countAndDrain, &counter);
    CFRunLoopAddSource(loop, asker, kCFRunLoopDefaultMode);
    CFRunLoopAddSource(loop, source, kCFRunLoopDefaultMode);
    std::atomic<bool> fired{false};
    CFRunLoopTimerContext context{0, &fired, nullptr, nullptr, nullptr};
    CFRunLoopTimerRef timer = CFRunLoopTimerCreate(
        nullptr, CFAbsoluteTimeGetCurrent() + 0.02, 0, 0, 0,
        [](CFRunLoopTimerRef, void* info) {
          *static_cast<std::atomic<bool>*>(info) = true;
          CFRunLoopStop(CFRunLoopGetCurrent());
        },
        &context);
    if (byTimer) CFRunLoopAddTimer(loop, timer, kCFRunLoopDefaultMode);
    asking.signal();
    ASSERT_EQ(CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10, true), kCFRunLoopRunHandledSource);
    // Served within the deadline only if the look ends early; else stopped when it passes.
    std::atomic<bool> late{false};
    std::thread watch([&] {
      if (!byTimer) {
        while (!CFRunLoopIsWaiting(loop)) std::this_thread::yield();
        other.signal();
      }
      if (!testing_support::waitFor([&] { return counter.calls == 1 || fired; },
                                    std::chrono::seconds(10))) {
        late = true;
        CFRunLoopStop(loop);
      }
    });
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 60, true);
    watch.join();
    EXPECT_FALSE(late);
    CFRunLoopTimerInvalidate(timer);
    CFRunLoopSourceInvalidate(asker);
    CFRunLoopSourceInvalidate(source);
    CFRelease(timer);
    CFRelease(asker);
    CFRelease(source);
  });
}

INSTANTIATE_TEST_SUITE_P(Look, RunLoopLook, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "TimerDue" : "SourceReady"; });

TEST(MainQueue, RunsSubmittedWorkInOrderInEveryMode) {
  static std::vector<int> order;
  order.clear();
  CFRunLoopAddCommonMode(CFRunLoopGetMain(), kTrackingMode);
  static int values[3] = {1, 2, 3};
  for (int& value : values)
    dispatch_async_f(dispatch_get_main_queue(), &value,
                     [](void* context) { order.push_back(*static_cast<int*>(context)); });
  // Served even in a mode that is not common, as on the platform.
  EXPECT_TRUE(runUntil("SomeOtherMode", [] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));

  static std::atomic<int> blocks{0};
  std::thread producer([] { dispatch_async(dispatch_get_main_queue(), [] { ++blocks; }); });
  producer.join();
  EXPECT_TRUE(runUntil(kTrackingMode, [] { return blocks.load() == 1; }));
}

// Work that submits more work (sends queued while a send waits) never keeps the loop from its
// other sources: what comes during a turn waits for the next one.
TEST(MainQueue, WorkSubmittedWhileDrainingWaitsForTheNextTurn) {
  static int chained = 0;
  static int chainedWhenServed = -1;
  chained = 0;
  chainedWhenServed = -1;
  static void (*link)() = [] {
    ++chained;
    if (chainedWhenServed < 0) dispatch_async(dispatch_get_main_queue(), link);
  };
  EventFd event;
  CFRunLoopSourceRef source = CFRunLoopSourceCreateWithDescriptor(
      event.fd,
      [](int fd, void*) {
        uint64_t value;
        if (read(fd, &value, sizeof value) == 8) chainedWhenServed = chained;
      },
      nullptr);
  CFRunLoopAddSource(CFRunLoopGetMain(), source, kCFRunLoopDefaultMode);
  dispatch_async(dispatch_get_main_queue(), link);
  event.signal();
  EXPECT_TRUE(runUntil(kCFRunLoopDefaultMode, [] { return chainedWhenServed >= 0; }));
  EXPECT_LE(chainedWhenServed, 2);
  CFRunLoopSourceInvalidate(source);
  CFRelease(source);
  runUntil(
      kCFRunLoopDefaultMode, [] { return false; }, 1);  // the chain's last link
}

// The loop's wake-up and the main queue's eventfd are written by other threads and never read
// back: every write must still wake the sleeping loop once, and an idle loop must sleep rather
// than find them ready turn after turn.
class WakeDescriptor : public ::testing::TestWithParam<bool> {};

TEST_P(WakeDescriptor, EveryWriteWakesTheSleepingLoopOnceAndAnIdleLoopSleeps) {
  const bool mainQueue = GetParam();
  CFRunLoopRef loop = CFRunLoopGetMain();
  static int served = 0;
  served = 0;
  CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false);  // what earlier cases left ready
  for (int round = 1; round <= 20; ++round) {
    std::thread waker([&] {
      testing_support::waitFor([&] { return CFRunLoopIsWaiting(loop) != 0; });
      if (mainQueue)
        dispatch_async(dispatch_get_main_queue(), [] { ++served; });
      else
        CFRunLoopStop(loop);
    });
    const int32_t result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, 10, mainQueue);
    waker.join();
    ASSERT_EQ(result, mainQueue ? kCFRunLoopRunHandledSource : kCFRunLoopRunStopped) << round;
    if (mainQueue) ASSERT_EQ(served, round);
  }
  int turns = 0;
  CFRunLoopObserverContext context{0, &turns, nullptr, nullptr, nullptr};
  CFRunLoopObserverRef observer = CFRunLoopObserverCreate(
      nullptr, kCFRunLoopBeforeWaiting, true, 0,
      [](CFRunLoopObserverRef, CFRunLoopActivity, void* info) { ++*static_cast<int*>(info); },
      &context);
  CFRunLoopAddObserver(loop, observer, kCFRunLoopDefaultMode);
  CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false);
  CFRunLoopRemoveObserver(loop, observer, kCFRunLoopDefaultMode);
  CFRelease(observer);
  EXPECT_LE(turns, 3);
}

INSTANTIATE_TEST_SUITE_P(Waker, WakeDescriptor, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "MainQueue" : "LoopWakeUp"; });

TEST(MainQueue, FullQueueDropsAndCountsWithoutBlocking) {
  static int served = 0;
  served = 0;
  uint64_t droppedBefore = dispatch_main_queue_dropped_count();
  for (std::size_t i = 0; i < kDispatchMainQueueCapacity + 10; ++i)
    dispatch_async(dispatch_get_main_queue(), [] { ++served; });
  EXPECT_EQ(dispatch_main_queue_dropped_count() - droppedBefore, 10u);
  EXPECT_TRUE(runUntil(kCFRunLoopDefaultMode,
                       [] { return served == static_cast<int>(kDispatchMainQueueCapacity); }));
}

}  // namespace
