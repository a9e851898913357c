// Observers: callouts a loop runs before it sleeps, on its own thread.

#include <algorithm>

#include "RunLoopInternal.h"

__CFRunLoopObserver::~__CFRunLoopObserver() {
  if (context.release) context.release(context.info);
}

CFRunLoopObserverRef CFRunLoopObserverCreate(CFAllocatorRef, CFOptionFlags activities,
                                             Boolean repeats, CFIndex,
                                             CFRunLoopObserverCallBack callout,
                                             CFRunLoopObserverContext* context) {
  if (!callout || activities != kCFRunLoopBeforeWaiting || !repeats) return nullptr;
  auto* observer = new __CFRunLoopObserver;
  observer->callout = callout;
  if (context) {
    observer->context = *context;
    if (context->retain) observer->context.info = const_cast<void*>(context->retain(context->info));
  }
  return observer;
}

void CFRunLoopAddObserver(CFRunLoopRef rl, CFRunLoopObserverRef observer, CFStringRef) {
  if (!rl || !observer) return;
  std::lock_guard lock(rl->mutex);
  auto& observers = rl->beforeWaitingObservers;
  if (std::none_of(observers.begin(), observers.end(),
                   [&](const auto& held) { return held.get() == observer; }))
    observers.emplace_back(observer);
}

void CFRunLoopRemoveObserver(CFRunLoopRef rl, CFRunLoopObserverRef observer, CFStringRef) {
  if (!rl || !observer) return;
  CFHolder<__CFRunLoopObserver> keep(observer);
  std::lock_guard lock(rl->mutex);
  std::erase_if(rl->beforeWaitingObservers,
                [&](const auto& held) { return held.get() == observer; });
}
