#pragma once
// Foundation's view of a thread's run loop: the object that display links and timers are added
// to, wrapping the Core Foundation run loop of that thread.

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFRunLoop.h>

#include "objc/runtime.h"

extern const CFStringRef NSDefaultRunLoopMode;
extern const CFStringRef NSRunLoopCommonModes;

class NSRunLoop : public NSObject {
  OBJC_NATIVE_CLASS(NSRunLoop, NSObject)
 public:
  NSRunLoop() = default;
  explicit NSRunLoop(CFRunLoopRef loop) : loop_(loop) {}

  // The main thread's run loop (CFRunLoopGetMain()); the same object at every call.
  static NSRunLoop* mainRunLoop();
  // The calling thread's run loop (CFRunLoopGetCurrent()).
  static NSRunLoop* currentRunLoop();

  CFRunLoopRef getCFRunLoop() const { return loop_; }
  // Runs the loop in `mode` for at most `seconds` (CFRunLoopRunInMode).
  void runMode(CFStringRef mode, CFTimeInterval seconds) const;

 private:
  CFRunLoopRef loop_ = nullptr;
};
