#include "QuartzCore/CADisplayLink.h"

#include "objc/message.h"

CADisplayLink::~CADisplayLink() {
  dropTimer();
}

StrongRef<CADisplayLink> CADisplayLink::displayLinkWithTarget(id target, SEL selector) {
  auto link = objc::make<CADisplayLink>();
  link->target_ = StrongRef<NSObject>(target);
  link->selector_ = selector;
  return link;
}

void CADisplayLink::setFrameInterval(long interval) {
  if (interval >= 1) frameInterval_ = interval;
}

void CADisplayLink::addToRunLoop(CFRunLoopRef runLoop, CFStringRef mode) {
  if (!valid_ || runLoop == nullptr || mode == nullptr) return;
  schedules_.push_back({runLoop, mode});
}

void CADisplayLink::removeFromRunLoop(CFRunLoopRef runLoop, CFStringRef mode) {
  (void)runLoop;
  (void)mode;
}

void CADisplayLink::invalidate() {
  if (!valid_) return;
  valid_ = false;
  schedules_.clear();
  dropTimer();
  target_.reset();
}

void CADisplayLink::onRefresh() {
  if (!valid_) return;
  ++refreshes_;
  if (paused_ || refreshes_ % static_cast<unsigned long>(frameInterval_) != 0) return;
  StrongRef<CADisplayLink> keep(this);
  msgSend<void>(target_.get(), selector_, static_cast<id>(this));
}

void CADisplayLink::refresh(CFRunLoopTimerRef, void* info) {
  static_cast<CADisplayLink*>(info)->onRefresh();
}

void CADisplayLink::dropTimer() {
  timer_ = nullptr;
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
