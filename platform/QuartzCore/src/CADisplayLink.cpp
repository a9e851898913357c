#include "QuartzCore/CADisplayLink.h"

#include <CoreFoundation/CFRunLoop.h>

#include <algorithm>
#include <cmath>

#include "objc/message.h"

namespace {

unsigned long ticksSent = 0;

}  // namespace

unsigned long CADisplayLink::ticksSentInProcess() {
  return ticksSent;
}

CADisplayLink::~CADisplayLink() {
  dropTimer();
}

StrongRef<CADisplayLink> CADisplayLink::displayLinkWithTarget(id target, SEL selector) {
  auto link = objc::make<CADisplayLink>();
  link->target_ = StrongRef<NSObject>(target);
  link->selector_ = selector;
  return link;
}

CFAbsoluteTime CADisplayLink::nextRefreshAfter(CFAbsoluteTime time) {
  return (std::floor(time * kRefreshesPerSecond) + 1.0) / kRefreshesPerSecond;
}

void CADisplayLink::setFrameInterval(long interval) {
  if (interval < 1 || interval == frameInterval_) return;
  frameInterval_ = interval;
  if (timer_ == nullptr) return;
  // The timer's period follows the interval: made anew, in the same loop and modes.
  CFRunLoopTimerInvalidate(timer_);
  CFRelease(timer_);
  timer_ = makeTimer();
  if (timer_ == nullptr) return;
  for (const std::string& mode : modes_) CFRunLoopAddTimer(timerRunLoop_, timer_, mode.c_str());
}

CFRunLoopTimerRef CADisplayLink::makeTimer() {
  // The timer wakes the loop only on the refreshes that tick, on the grid of refreshes that
  // every link and screen of the process shares, so timers due together wake it once.
  CFRunLoopTimerContext context{0, this, nullptr, nullptr, nullptr};
  const CFTimeInterval period = static_cast<double>(frameInterval_) / kRefreshesPerSecond;
  const CFAbsoluteTime first = nextRefreshAfter(CFAbsoluteTimeGetCurrent()) +
                               static_cast<double>(frameInterval_ - 1) / kRefreshesPerSecond;
  CFRunLoopTimerRef timer = CFRunLoopTimerCreate(kCFAllocatorDefault, first, period, 0, 0,
                                                 &CADisplayLink::refresh, &context);
  // A tick due while the loop sleeps rides on whatever wakes it within its tolerance (a message,
  // say) rather than waking it once more; it still draws before the next refresh shows it.
  CFRunLoopTimerSetTolerance(timer, kTickTolerance);
  return timer;
}

void CADisplayLink::addToRunLoop(CFRunLoopRef runLoop, CFStringRef mode) {
  if (!valid_ || runLoop == nullptr || mode == nullptr) return;
  if (timer_ == nullptr) {
    timer_ = makeTimer();
    if (timer_ == nullptr) return;
    timerRunLoop_ = runLoop;
    retain();  // the run loop holds the link until it is invalidated
    heldByRunLoop_ = true;
  }
  if (runLoop != timerRunLoop_) return;
  if (std::find(modes_.begin(), modes_.end(), mode) != modes_.end()) return;
  modes_.emplace_back(mode);
  CFRunLoopAddTimer(runLoop, timer_, mode);
}

void CADisplayLink::removeFromRunLoop(CFRunLoopRef runLoop, CFStringRef mode) {
  if (timer_ == nullptr || runLoop != timerRunLoop_ || mode == nullptr) return;
  auto it = std::find(modes_.begin(), modes_.end(), mode);
  if (it == modes_.end()) return;
  modes_.erase(it);
  CFRunLoopRemoveTimer(runLoop, timer_, mode);
}

void CADisplayLink::invalidate() {
  if (!valid_) return;
  valid_ = false;
  dropTimer();
  modes_.clear();
  // Let go of the target and of the run loop's hold last: either may end this link.
  StrongRef<NSObject> target = std::move(target_);
  if (std::exchange(heldByRunLoop_, false)) release();
}

void CADisplayLink::onRefresh() {
  if (!valid_) return;
  // One firing per tick: frameInterval refreshes, even when it comes late.
  refreshes_ += static_cast<unsigned long>(frameInterval_);
  if (paused_) return;
  ++ticksSent;
  StrongRef<CADisplayLink> keep(this);  // the target may invalidate the link while it runs
  StrongRef<NSObject> target = target_;
  msgSend<void>(target.get(), selector_, static_cast<id>(this));
}

void CADisplayLink::refresh(CFRunLoopTimerRef, void* info) {
  static_cast<CADisplayLink*>(info)->onRefresh();
}

void CADisplayLink::dropTimer() {
  if (timer_ == nullptr) return;
  CFRunLoopTimerInvalidate(timer_);
  CFRelease(timer_);
  timer_ = nullptr;
  timerRunLoop_ = nullptr;
}

void CADisplayLink::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "invalidate", +[](id self, SEL) { static_cast<CADisplayLink*>(self)->invalidate(); });
  objc::addMethod(
      cls, "setFrameInterval:", +[](id self, SEL, long interval) {
        static_cast<CADisplayLink*>(self)->setFrameInterval(interval);
      });
  objc::addMethod(
      cls, "frameInterval",
      +[](id self, SEL) { return static_cast<CADisplayLink*>(self)->frameInterval(); });
  objc::addMethod(
      cls, "timestamp",
      +[](id self, SEL) { return static_cast<CADisplayLink*>(self)->timestamp(); });
}
