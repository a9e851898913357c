#pragma once
// The run loop: one per thread, made on first use. It waits with epoll on its sources'
// descriptors and serves them, its timers and (on the main thread) the main queue, in the mode it
// runs in. Items added in kCFRunLoopCommonModes run in every common mode; the main queue runs in
// every mode.

#include <CoreFoundation/CFBase.h>

using CFRunLoopRef = struct __CFRunLoop*;
using CFRunLoopSourceRef = struct __CFRunLoopSource*;
using CFRunLoopTimerRef = struct __CFRunLoopTimer*;
using CFRunLoopObserverRef = struct __CFRunLoopObserver*;

enum : int32_t {
  kCFRunLoopRunFinished = 1,
  kCFRunLoopRunStopped = 2,
  kCFRunLoopRunTimedOut = 3,
  kCFRunLoopRunHandledSource = 4,
};

extern const CFStringRef kCFRunLoopDefaultMode;
extern const CFStringRef kCFRunLoopCommonModes;

CFRunLoopRef CFRunLoopGetCurrent();
CFRunLoopRef CFRunLoopGetMain();

// Runs the current thread's loop in the default mode until it is stopped or has nothing to serve.
void CFRunLoopRun();
// Runs the current thread's loop in `mode` for at most `seconds`.
int32_t CFRunLoopRunInMode(CFStringRef mode, CFTimeInterval seconds,
                           Boolean returnAfterSourceHandled);
// Makes the innermost run of `rl` return kCFRunLoopRunStopped. Safe from any thread and from a
// signal handler. A stop that arrives while the loop is not running ends its next run at once.
void CFRunLoopStop(CFRunLoopRef rl);
void CFRunLoopWakeUp(CFRunLoopRef rl);
void CFRunLoopAddCommonMode(CFRunLoopRef rl, CFStringRef mode);
// The mode the loop is running in, or null when it is not running. Not a copy: do not release.
CFStringRef CFRunLoopCopyCurrentMode(CFRunLoopRef rl);
Boolean CFRunLoopIsWaiting(CFRunLoopRef rl);

// Sources. This platform's sources watch a descriptor: `callout` runs on the loop's thread
// whenever `fd` is readable (level-triggered: it must read what is there). The source keeps its
// own duplicate of `fd`; close yours only after invalidating the source.
CFRunLoopSourceRef CFRunLoopSourceCreateWithDescriptor(int fd, void (*callout)(int fd, void* info),
                                                       void* info);
// Platform extension: a source for an eventfd that other threads only write to wake the loop. It
// is watched edge-triggered, so each write wakes the loop once and the callout need not read it:
// a wake-up costs its waker one write and the loop no read.
CFRunLoopSourceRef CFRunLoopSourceCreateWithWakeDescriptor(int fd,
                                                           void (*callout)(int fd, void* info),
                                                           void* info);
void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode);
void CFRunLoopRemoveSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode);
Boolean CFRunLoopContainsSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode);
// Removes the source from every loop and mode; its callout is never called again.
void CFRunLoopSourceInvalidate(CFRunLoopSourceRef source);
Boolean CFRunLoopSourceIsValid(CFRunLoopSourceRef source);
// Marks the source ready without its descriptor: each loop that has it serves it at its next turn
// in a mode that holds it, and the callout gets -1 for the descriptor. It wakes no loop: a thread
// other than the loop's wakes it with CFRunLoopWakeUp.
void CFRunLoopSourceSignal(CFRunLoopSourceRef source);
// Platform extension for the main queue: the source is served in every mode, present and future.
void CFRunLoopAddSourceInAllModes(CFRunLoopRef rl, CFRunLoopSourceRef source);

// Timers.
struct CFRunLoopTimerContext {
  CFIndex version;
  void* info;
  const void* (*retain)(const void* info);
  void (*release)(const void* info);
  CFStringRef (*copyDescription)(const void* info);
};
using CFRunLoopTimerCallBack = void (*)(CFRunLoopTimerRef timer, void* info);

// A timer first fires at `fireDate`, then every `interval` seconds (0: once, after which it is
// invalidated). Missed firings are skipped, not replayed.
CFRunLoopTimerRef CFRunLoopTimerCreate(CFAllocatorRef allocator, CFAbsoluteTime fireDate,
                                       CFTimeInterval interval, CFOptionFlags flags, CFIndex order,
                                       CFRunLoopTimerCallBack callout,
                                       CFRunLoopTimerContext* context);
void CFRunLoopAddTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef mode);
void CFRunLoopRemoveTimer(CFRunLoopRef rl, CFRunLoopTimerRef timer, CFStringRef mode);
void CFRunLoopTimerInvalidate(CFRunLoopTimerRef timer);
Boolean CFRunLoopTimerIsValid(CFRunLoopTimerRef timer);
CFAbsoluteTime CFRunLoopTimerGetNextFireDate(CFRunLoopTimerRef timer);
void CFRunLoopTimerSetNextFireDate(CFRunLoopTimerRef timer, CFAbsoluteTime fireDate);
CFTimeInterval CFRunLoopTimerGetInterval(CFRunLoopTimerRef timer);
// How late a timer may fire: a loop asleep waits up to this long past the fire date, so that a
// wake-up for something else within it serves the timer too. Held to [0, interval] (a one-shot
// timer: any length); later firings keep to the timer's schedule.
void CFRunLoopTimerSetTolerance(CFRunLoopTimerRef timer, CFTimeInterval tolerance);
CFTimeInterval CFRunLoopTimerGetTolerance(CFRunLoopTimerRef timer);

// Observers. This platform tells of one activity, kCFRunLoopBeforeWaiting: the callout runs each
// time the loop has served what was ready and is about to sleep, in every mode it runs in (the
// mode given when adding is not consulted). Repeating observers only.
using CFRunLoopActivity = CFOptionFlags;
enum : CFOptionFlags { kCFRunLoopBeforeWaiting = 1UL << 5 };
struct CFRunLoopObserverContext {
  CFIndex version;
  void* info;
  const void* (*retain)(const void* info);
  void (*release)(const void* info);
  CFStringRef (*copyDescription)(const void* info);
};
using CFRunLoopObserverCallBack = void (*)(CFRunLoopObserverRef observer,
                                           CFRunLoopActivity activity, void* info);
// Null for any activity but kCFRunLoopBeforeWaiting or for a non-repeating observer.
CFRunLoopObserverRef CFRunLoopObserverCreate(CFAllocatorRef allocator, CFOptionFlags activities,
                                             Boolean repeats, CFIndex order,
                                             CFRunLoopObserverCallBack callout,
                                             CFRunLoopObserverContext* context);
void CFRunLoopAddObserver(CFRunLoopRef rl, CFRunLoopObserverRef observer, CFStringRef mode);
void CFRunLoopRemoveObserver(CFRunLoopRef rl, CFRunLoopObserverRef observer, CFStringRef mode);
