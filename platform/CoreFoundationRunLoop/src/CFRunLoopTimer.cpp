// Timers: fire dates in absolute time, served by the loop of the mode they were added in.

#include "RunLoopInternal.h"

namespace {

// Reads or writes a timer's schedule: under the mutex of the loop it was added to, if any.
template <class Access>
auto guarded(CFRunLoopTimerRef timer, Access access) {
  CFRunLoopRef rl = timer->loop;
  if (!rl) return access();
  std::lock_guard lock(rl->mutex);
  return access();
}

}  // namespace

__CFRunLoopTimer::~__CFRunLoopTimer() {
  if (context.release) context.release(context.info);
}

CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef, CFAbsoluteTime fireDate,
                                       CFTimeInterval interval, CFOptionFlags, CFIndex,
                                       CFRunLoopTimerCallBack callout,
                                       CFRunLoopTimerContext* context) {
  if (!callout) return nullptr;
  auto* timer = new __CFRunLoopTimer;
  timer->fireDate = fireDate;
  timer->interval = interval > 0 ? interval : 0;
  timer->callout = callout;
  if (context) {
    timer->context = *context;
    if (context->retain) timer->context.info = const_cast<void*>(context->retain(context->info));
  }
  return timer;
}

void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef mode) {
  if (!rl || !timer || !mode || !timer->valid) return;
  CFRunLoopRef expected = nullptr;
  // A timer serves one loop; adding it to a second one is ignored, as on the platform.
  if (!timer->loop.compare_exchange_strong(expected, rl) && expected != rl) return;
  {
    std::lock_guard lock(rl->mutex);
    std::string name(mode);
    if (name == kCFRunLoopCommonModes) {
      bool present = false;
      for (auto& held : rl->commonTimers) present = present || held.get() == timer;
      if (!present) rl->commonTimers.emplace_back(timer);
      for (const auto& common : rl->commonModes)
        runloop::addTimerToMode(runloop::modeNamed(rl, common), timer);
    } else {
      runloop::addTimerToMode(runloop::modeNamed(rl, name), timer);
    }
  }
  runloop::wake(rl);
}

void CFRunLoopRemoveTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef mode) {
  if (!rl || !timer || !mode || timer->loop != rl) return;
  CFHolder<__CFRunLoopTimer> keep(timer);
  std::lock_guard lock(rl->mutex);
  std::string name(mode);
  if (name == kCFRunLoopCommonModes) {
    std::erase_if(rl->commonTimers, [&](const auto& held) { return held.get() == timer; });
    for (const auto& common : rl->commonModes)
      runloop::removeTimerFromMode(runloop::modeNamed(rl, common), timer);
  } else {
    runloop::removeTimerFromMode(runloop::modeNamed(rl, name), timer);
  }
}

void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer) {
  if (!timer) return;
  CFHolder<__CFRunLoopTimer> keep(timer);
  timer->valid = false;
  CFRunLoopRef rl = timer->loop.exchange(nullptr);
  if (!rl) return;
  std::lock_guard lock(rl->mutex);
  runloop::detachTimer(rl, timer);
}

Boolean CFRunLoopTimerIsValid(CFRunLoopTimerRef timer) {
  return timer && timer->valid;
}

CFAbsoluteTime CFRunLoopTimerGetNextFireDate(CFRunLoopTimerRef timer) {
  if (!timer) return 0;
  return guarded(timer, [timer] { return timer->fireDate; });
}

void CFRunLoopTimerSetNextFireDate(CFRunLoopTimerRef timer, CFAbsoluteTime fireDate) {
  if (!timer) return;
  guarded(timer, [timer, fireDate] { timer->fireDate = fireDate; });
  if (CFRunLoopRef rl = timer->loop) runloop::wake(rl);
}

CFTimeInterval CFRunLoopTimerGetInterval(CFRunLoopTimerRef timer) {
  return timer ? timer->interval : 0;
}

void CFRunLoopTimerSetTolerance(CFRunLoopTimerRef timer, CFTimeInterval tolerance) {
  if (!timer) return;
  if (!(tolerance > 0)) tolerance = 0;  // also NaN
  if (timer->interval > 0 && tolerance > timer->interval) tolerance = timer->interval;
  guarded(timer, [timer, tolerance] { timer->tolerance = tolerance; });
}

CFTimeInterval CFRunLoopTimerGetTolerance(CFRunLoopTimerRef timer) {
  if (!timer) return 0;
  return guarded(timer, [timer] { return timer->tolerance; });
}
