#pragma once
// A display link: sends its selector (with the link as argument) to its target on the main
// thread once every `frameInterval` refreshes of a simulated 60 Hz display (its timer wakes the
// loop only then, or within half a refresh after, whichever wake-up comes first), while the run
// loop it was added to runs in one of the modes it was added for. The link holds a strong
// reference to its target, and the run loop holds the link, until `invalidate`.

#include <string>
#include <utility>
#include <vector>

#include "CoreFoundation/CFBase.h"
#include "objc/StrongRef.h"
#include "objc/runtime.h"

struct __CFRunLoop;
using CFRunLoopRef = __CFRunLoop*;
struct __CFRunLoopTimer;
using CFRunLoopTimerRef = __CFRunLoopTimer*;

class CADisplayLink : public NSObject {
  OBJC_NATIVE_CLASS(CADisplayLink, NSObject)
 public:
  static constexpr double kRefreshesPerSecond = 60.0;
  // How late a tick may come when nothing else wakes the loop: half a refresh, so that what it
  // draws is still committed before the refresh after its own.
  static constexpr double kTickTolerance = 0.5 / kRefreshesPerSecond;

  CADisplayLink() = default;
  ~CADisplayLink() override;

  // `selector` is sent as "v@:@" (the link).
  static StrongRef<CADisplayLink> displayLinkWithTarget(id target, SEL selector);
  static StrongRef<CADisplayLink> displayLinkWithTarget(id target, const char* selector) {
    return displayLinkWithTarget(target, sel_registerName(selector));
  }

  // One run loop per link (the first it is added to), in any number of modes.
  void addToRunLoop(CFRunLoopRef runLoop, CFStringRef mode);
  void removeFromRunLoop(CFRunLoopRef runLoop, CFStringRef mode);
  // Stops the ticks for good and lets go of the target.
  void invalidate();
  bool isValid() const { return valid_; }

  // The first refresh of the simulated display after `time` (absolute time): refreshes fall on
  // one grid of absolute time, shared by everything in the process that follows the display.
  static CFAbsoluteTime nextRefreshAfter(CFAbsoluteTime time);

  // Refreshes per tick; values below 1 are ignored.
  long frameInterval() const { return frameInterval_; }
  void setFrameInterval(long interval);
  bool isPaused() const { return paused_; }
  void setPaused(bool paused) { paused_ = paused; }

  // Simulated display time of the refresh that brought the last tick: refreshes since the link
  // was first scheduled, divided by the refresh rate. duration is one refresh.
  CFTimeInterval timestamp() const { return refreshes_ / kRefreshesPerSecond; }
  CFTimeInterval duration() const { return 1.0 / kRefreshesPerSecond; }
  // Refreshes seen so far (every refresh, ticked or not).
  unsigned long refreshCount() const { return refreshes_; }

  // Platform extension: ticks sent by every link of this process so far, as the display counts
  // them (main thread).
  static unsigned long ticksSentInProcess();

  id target() const { return target_.get(); }
  SEL selector() const { return selector_; }

  static void registerMethods_(Class cls);

 private:
  static void refresh(CFRunLoopTimerRef timer, void* info);
  CFRunLoopTimerRef makeTimer();
  void onRefresh();
  void dropTimer();

  StrongRef<NSObject> target_;
  SEL selector_ = nullptr;
  long frameInterval_ = 1;
  bool paused_ = false;
  bool valid_ = true;
  unsigned long refreshes_ = 0;
  std::vector<std::string> modes_;  // of timerRunLoop_
  CFRunLoopTimerRef timer_ = nullptr;
  CFRunLoopRef timerRunLoop_ = nullptr;
  bool heldByRunLoop_ = false;
};
