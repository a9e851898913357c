#include "Foundation/NSRunLoop.h"

#include "objc/StrongRef.h"

const CFStringRef NSDefaultRunLoopMode = "kCFRunLoopDefaultMode";
const CFStringRef NSRunLoopCommonModes = "kCFRunLoopCommonModes";

NSRunLoop* NSRunLoop::mainRunLoop() {
  static NSRunLoop* main = objc::make<NSRunLoop>(CFRunLoopGetMain()).leak();
  return main;
}

NSRunLoop* NSRunLoop::currentRunLoop() {
  if (CFRunLoopGetCurrent() == CFRunLoopGetMain()) return mainRunLoop();
  // One object per thread, kept for the thread's life like the loop it wraps.
  thread_local NSRunLoop* current = objc::make<NSRunLoop>(CFRunLoopGetCurrent()).leak();
  return current;
}

void NSRunLoop::runMode(CFStringRef mode, CFTimeInterval seconds) const {
  if (loop_ == CFRunLoopGetCurrent()) CFRunLoopRunInMode(mode, seconds, false);
}
