// Running a loop: wait on the mode's epoll instance until a source is ready, a timer is due, the
// loop is woken or the time limit passes; then serve what is ready, on the loop's own thread. A
// source that expects more at once has the wait look for it briefly before the loop sleeps.

#include <sched.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <utility>

#include "RunLoopInternal.h"

const CFStringRef kCFRunLoopDefaultMode = "kCFRunLoopDefaultMode";
const CFStringRef kCFRunLoopCommonModes = "kCFRunLoopCommonModes";

namespace {

bool isMainThread() {
  return gettid() == getpid();
}

// Loops of other threads end with their thread.
struct ThreadLoop {
  CFRunLoopRef loop = nullptr;
  ~ThreadLoop() {
    if (loop) CFRelease(loop);
  }
};
thread_local ThreadLoop threadLoop;

// Timers taken and fired a batch at a time, held on the stack: a tick allocates nothing.
constexpr size_t kDueBatch = 8;

// The timers of `mode` due at `now`, at most `capacity` of them, each held, with their next fire
// dates already moved on; those beyond the batch stay due for the next one.
size_t takeDueTimers(CFRunLoopRef rl, runloop::Mode& mode, CFAbsoluteTime now,
                     CFHolder<__CFRunLoopTimer>* due, size_t capacity) {
  size_t count = 0;
  std::lock_guard lock(rl->mutex);
  for (auto& timer : mode.timers) {
    if (count == capacity) break;
    if (!timer->valid || timer->fireDate > now) continue;
    due[count++] = timer;
    if (timer->interval > 0) {
      double missed = std::floor((now - timer->fireDate) / timer->interval);
      timer->fireDate += (missed + 1) * timer->interval;
    } else {
      timer->fireDate = std::numeric_limits<double>::infinity();
    }
  }
  return count;
}

void fireTimers(CFRunLoopRef rl, runloop::Mode& mode) {
  const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
  CFHolder<__CFRunLoopTimer> due[kDueBatch];
  for (;;) {
    const size_t count = takeDueTimers(rl, mode, now, due, kDueBatch);
    for (size_t i = 0; i < count; ++i) {
      __CFRunLoopTimer* timer = due[i].get();
      if (timer->valid) {
        timer->callout(timer, timer->context.info);
        if (timer->interval <= 0) CFRunLoopTimerInvalidate(timer);
      }
      due[i].reset();
    }
    if (count < kDueBatch) return;
  }
}

// Milliseconds to wait: until the deadline or the latest a timer of the mode may fire, rounded up
// so that a due timer is never polled for in a busy loop. A timer with a tolerance waits for its
// end, unless a timer or the deadline comes first: whatever wakes the loop before then serves it.
int waitMilliseconds(CFRunLoopRef rl, runloop::Mode& mode, CFAbsoluteTime deadline) {
  CFAbsoluteTime until = deadline;
  {
    std::lock_guard lock(rl->mutex);
    for (auto& timer : mode.timers)
      if (timer->valid && timer->fireDate + timer->tolerance < until)
        until = timer->fireDate + timer->tolerance;
  }
  double seconds = until - CFAbsoluteTimeGetCurrent();
  if (seconds <= 0) return 0;
  // A run without end (CFRunLoopRun) with no timer due sleeps with no time-out at all: each sleep
  // would otherwise arm a kernel timer and cancel it again on the wake-up.
  if (seconds > 1.0e9) return -1;
  if (seconds > 3600) return 3600 * 1000;
  return static_cast<int>(std::ceil(seconds * 1000.0));
}

// The look a source asked for, until `until`: ready events looked for without sleeping, yielding
// between looks, until it ends or the next timer is due (`timeout` milliseconds, -1 for none); 0
// when none came.
int look(runloop::Mode& mode, epoll_event* events, int batch, int timeout,
         std::chrono::steady_clock::time_point until) {
  using Clock = std::chrono::steady_clock;
  if (timeout == 0) return 0;
  const Clock::time_point end =
      timeout < 0 ? until : std::min(until, Clock::now() + std::chrono::milliseconds(timeout));
  while (Clock::now() < end) {
    const int count = epoll_wait(mode.epollDescriptor, events, batch, 0);
    if (count > 0) return count;
    sched_yield();
  }
  return 0;
}

bool modeIsEmpty(CFRunLoopRef rl, runloop::Mode& mode) {
  std::lock_guard lock(rl->mutex);
  return mode.sources.empty() && mode.timers.empty();
}

// Serves the ready events; true when a source (not a wake-up) was handled.
bool serveEvents(CFRunLoopRef rl, runloop::Mode& mode, const epoll_event* events, int count) {
  bool handled = false;
  for (int i = 0; i < count; ++i) {
    auto* source = static_cast<__CFRunLoopSource*>(events[i].data.ptr);
    if (!source) continue;  // the loop's wake-up: edge-triggered, nothing to read
    CFHolder<__CFRunLoopSource> keep;
    {
      // An earlier callout of this batch may have removed it.
      std::lock_guard lock(rl->mutex);
      if (!source->valid || !runloop::modeContains(mode, source)) continue;
      keep = CFHolder<__CFRunLoopSource>(source);
    }
    source->callout(source->callerDescriptor, source->info);
    handled = true;
  }
  return handled;
}

// The signalled sources of `mode` (at most `capacity`), each held; none when nothing is signalled.
size_t signalledInMode(CFRunLoopRef rl, runloop::Mode& mode, CFHolder<__CFRunLoopSource>* found,
                       size_t capacity) {
  if (rl->signalledSources.load(std::memory_order_acquire) == 0) return 0;
  size_t count = 0;
  std::lock_guard lock(rl->mutex);
  for (auto& source : mode.sources) {
    if (count == capacity) break;
    if (source->signalled.load(std::memory_order_acquire) && source->valid) found[count++] = source;
  }
  return count;
}

// Serves the signalled sources of `mode`; true when one was served.
bool serveSignalled(CFRunLoopRef rl, runloop::Mode& mode) {
  constexpr size_t kMostSignalled = 8;
  CFHolder<__CFRunLoopSource> found[kMostSignalled];
  const size_t count = signalledInMode(rl, mode, found, kMostSignalled);
  bool served = false;
  for (size_t i = 0; i < count; ++i) {
    __CFRunLoopSource* source = found[i].get();
    if (!runloop::takeSignal(source)) continue;
    {
      // An earlier callout may have removed it.
      std::lock_guard lock(rl->mutex);
      if (!source->valid || !runloop::modeContains(mode, source)) continue;
    }
    source->callout(-1, source->info);
    served = true;
  }
  return served;
}

// Each observer, its callout run without the loop's mutex: it may add or remove observers.
void tellBeforeWaiting(CFRunLoopRef rl) {
  for (size_t i = 0;; ++i) {
    CFHolder<__CFRunLoopObserver> observer;
    {
      std::lock_guard lock(rl->mutex);
      if (i >= rl->beforeWaitingObservers.size()) return;
      observer = rl->beforeWaitingObservers[i];
    }
    observer->callout(observer.get(), kCFRunLoopBeforeWaiting, observer->context.info);
  }
}

int32_t run(CFRunLoopRef rl, CFStringRef modeName, CFTimeInterval seconds, bool returnAfterSource) {
  if (!modeName || std::string(modeName) == kCFRunLoopCommonModes) return kCFRunLoopRunFinished;
  runloop::Mode* mode;
  {
    std::lock_guard lock(rl->mutex);
    mode = &runloop::modeNamed(rl, modeName);  // modes are never removed, so this stays valid
  }
  if (modeIsEmpty(rl, *mode)) return kCFRunLoopRunFinished;
  if (rl->stopRequested.exchange(false)) return kCFRunLoopRunStopped;

  const char* outerMode = rl->currentMode;
  rl->currentMode = mode->name.c_str();
  CFAbsoluteTime deadline = CFAbsoluteTimeGetCurrent() + (seconds > 0 ? seconds : 0);
  int32_t result = kCFRunLoopRunTimedOut;
  constexpr int kBatch = 32;
  epoll_event events[kBatch];
  for (;;) {
    fireTimers(rl, *mode);
    if (rl->stopRequested.exchange(false)) {
      result = kCFRunLoopRunStopped;
      break;
    }
    // Signalled sources are served without a wait, but never two turns running (nor two runs of
    // one turn each): what they signal again waits for a turn that has looked at the descriptors.
    bool handled = false;
    if (!rl->servedSignalled)
      handled = rl->servedSignalled = serveSignalled(rl, *mode);
    else
      rl->servedSignalled = false;
    if (!handled) {
      CFHolder<__CFRunLoopSource> signalled;
      bool ready = signalledInMode(rl, *mode, &signalled, 1) > 0;
      // Observers hear of a sleep only: not of a turn that serves a signalled source (a tick's
      // drawing task) and comes straight back. What they signal is looked for again.
      if (!ready) {
        tellBeforeWaiting(rl);
        ready = signalledInMode(rl, *mode, &signalled, 1) > 0;
      }
      int timeout = ready ? 0 : waitMilliseconds(rl, *mode, deadline);
      rl->waiting = true;
      int count = 0;
      using Clock = std::chrono::steady_clock;
      if (const auto until = std::exchange(rl->lookUntil, Clock::time_point{});
          until != Clock::time_point{} && timeout != 0) {
        count = look(*mode, events, kBatch, timeout, until);
        if (count == 0) timeout = waitMilliseconds(rl, *mode, deadline);
      }
      if (count == 0) count = epoll_wait(mode->epollDescriptor, events, kBatch, timeout);
      rl->waiting = false;
      if (count < 0) count = 0;  // EINTR: look again
      handled = serveEvents(rl, *mode, events, count);
    }
    fireTimers(rl, *mode);
    if (handled && returnAfterSource) {
      result = kCFRunLoopRunHandledSource;
      break;
    }
    if (rl->stopRequested.exchange(false)) {
      result = kCFRunLoopRunStopped;
      break;
    }
    if (CFAbsoluteTimeGetCurrent() >= deadline) {
      result = kCFRunLoopRunTimedOut;
      break;
    }
    if (modeIsEmpty(rl, *mode)) {
      result = kCFRunLoopRunFinished;
      break;
    }
  }
  rl->currentMode = outerMode;
  return result;
}

}  // namespace

namespace runloop {

void lookBeforeWaiting(CFRunLoopRef rl, std::chrono::steady_clock::time_point until) {
  rl->lookUntil = until;
}

}  // namespace runloop

CFRunLoopRef CFRunLoopGetMain() {
  static CFRunLoopRef mainLoop = new __CFRunLoop;
  return mainLoop;
}

CFRunLoopRef CFRunLoopGetCurrent() {
  if (isMainThread()) return CFRunLoopGetMain();
  if (!threadLoop.loop) threadLoop.loop = new __CFRunLoop;
  return threadLoop.loop;
}

void CFRunLoopRun() {
  int32_t result;
  do {
    result = run(CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 1.0e10, false);
  } while (result != kCFRunLoopRunStopped && result != kCFRunLoopRunFinished);
}

int32_t CFRunLoopRunInMode(CFStringRef mode, CFTimeInterval seconds,
                           Boolean returnAfterSourceHandled) {
  return run(CFRunLoopGetCurrent(), mode, seconds, returnAfterSourceHandled);
}

void CFRunLoopStop(CFRunLoopRef rl) {
  if (!rl) return;
  rl->stopRequested.store(true);
  runloop::wake(rl);
}

void CFRunLoopWakeUp(CFRunLoopRef rl) {
  if (rl) runloop::wake(rl);
}

CFStringRef CFRunLoopCopyCurrentMode(CFRunLoopRef rl) {
  return rl ? rl->currentMode : nullptr;
}

Boolean CFRunLoopIsWaiting(CFRunLoopRef rl) {
  return rl && rl->waiting;
}
