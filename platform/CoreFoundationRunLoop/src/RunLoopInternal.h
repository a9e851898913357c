#pragma once
// The run loop's objects as the box sees them. A loop keeps one epoll instance per mode, holding
// the descriptors of the sources in that mode and the loop's wake-up eventfd, so a ready
// descriptor in a mode the loop is not running in never wakes it.

#include <CoreFoundation/CFRunLoop.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CFRuntimeObject.h"

struct __CFRunLoopSource : CFRuntimeObject {
  ~__CFRunLoopSource() override;
  int descriptor = -1;        // our duplicate, watched by the loops' epoll instances
  int callerDescriptor = -1;  // handed to the callout
  void (*callout)(int, void*) = nullptr;
  void* info = nullptr;
  bool wakeOnly = false;  // an eventfd only ever written: watched edge-triggered, never read
  std::atomic<bool> valid{true};
  std::atomic<bool> signalled{false};  // CFRunLoopSourceSignal, until served
  std::mutex loopsMutex;               // guards `loops`; never held while a loop's mutex is wanted
  std::vector<CFRunLoopRef> loops;
};

struct __CFRunLoopTimer : CFRuntimeObject {
  ~__CFRunLoopTimer() override;
  CFAbsoluteTime fireDate = 0;  // guarded by the owning loop's mutex once added
  CFTimeInterval interval = 0;
  CFTimeInterval tolerance = 0;  // guarded as fireDate
  CFRunLoopTimerCallBack callout = nullptr;
  CFRunLoopTimerContext context{};
  std::atomic<bool> valid{true};
  std::atomic<CFRunLoopRef> loop{nullptr};  // a timer belongs to one loop at a time
};

struct __CFRunLoopObserver : CFRuntimeObject {
  ~__CFRunLoopObserver() override;
  CFRunLoopObserverCallBack callout = nullptr;
  CFRunLoopObserverContext context{};
};

namespace runloop {

struct Mode {
  explicit Mode(std::string modeName);
  ~Mode();
  Mode(const Mode&) = delete;
  Mode& operator=(const Mode&) = delete;

  std::string name;
  int epollDescriptor = -1;
  std::vector<CFHolder<__CFRunLoopSource>> sources;
  std::vector<CFHolder<__CFRunLoopTimer>> timers;
};

}  // namespace runloop

struct __CFRunLoop : CFRuntimeObject {
  __CFRunLoop();
  ~__CFRunLoop() override;

  std::mutex mutex;
  int wakeDescriptor = -1;
  std::map<std::string, std::unique_ptr<runloop::Mode>> modes;
  std::vector<std::string> commonModes;
  std::vector<CFHolder<__CFRunLoopSource>> commonSources;
  std::vector<CFHolder<__CFRunLoopTimer>> commonTimers;
  std::vector<CFHolder<__CFRunLoopSource>> everyModeSources;
  std::vector<CFHolder<__CFRunLoopObserver>> beforeWaitingObservers;
  std::atomic<uint32_t> signalledSources{0};  // signalled sources in this loop, not yet served
  bool servedSignalled = false;  // the last turn served signalled sources; on the loop's thread
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> waiting{false};
  const char* currentMode = nullptr;  // name of the innermost running mode, on the loop's thread
  // Until when the loop's next wait looks for ready sources before it sleeps; on the loop's
  // thread, set by the source served last, spent by that wait.
  std::chrono::steady_clock::time_point lookUntil{};
};

namespace runloop {

// With the loop's mutex held.
Mode& modeNamed(CFRunLoopRef rl, const std::string& name);
bool isCommonMode(CFRunLoopRef rl, const std::string& name);
void addSourceToMode(CFRunLoopRef rl, Mode& mode, __CFRunLoopSource* source);
void removeSourceFromMode(Mode& mode, __CFRunLoopSource* source);
void addTimerToMode(Mode& mode, __CFRunLoopTimer* timer);
void removeTimerFromMode(Mode& mode, __CFRunLoopTimer* timer);
// Whether the loop still serves `source` in `mode`.
bool modeContains(const Mode& mode, const __CFRunLoopSource* source);
// Removes `timer` from every mode of its loop.
void detachTimer(CFRunLoopRef rl, __CFRunLoopTimer* timer);
void detachSource(CFRunLoopRef rl, __CFRunLoopSource* source);

void wake(CFRunLoopRef rl);
// Takes a source's signal, if it has one, out of every loop that has it. A source's signal and
// the loops' counts of signalled sources change together, under its loopsMutex.
bool takeSignal(__CFRunLoopSource* source);

// From a source's callout on the loop's thread: the loop's next wait looks for ready sources until
// `until` (or until a timer is due) before it sleeps, for the source expects more at once.
void lookBeforeWaiting(CFRunLoopRef rl, std::chrono::steady_clock::time_point until);

}  // namespace runloop
