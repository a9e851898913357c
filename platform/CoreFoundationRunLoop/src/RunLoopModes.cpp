// The loop's modes and the bookkeeping of which source and timer is served in which.

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "RunLoopInternal.h"

namespace runloop {

Mode::Mode(std::string modeName) : name(std::move(modeName)) {
  epollDescriptor = epoll_create1(EPOLL_CLOEXEC);
  if (epollDescriptor < 0) {
    std::perror("CFRunLoop: epoll_create1");
    std::abort();
  }
}

Mode::~Mode() {
  if (epollDescriptor >= 0) close(epollDescriptor);
}

bool isCommonMode(CFRunLoopRef rl, const std::string& name) {
  return std::find(rl->commonModes.begin(), rl->commonModes.end(), name) != rl->commonModes.end();
}

Mode& modeNamed(CFRunLoopRef rl, const std::string& name) {
  auto found = rl->modes.find(name);
  if (found != rl->modes.end()) return *found->second;
  auto mode = std::make_unique<Mode>(name);
  epoll_event event{};
  // Edge-triggered, as a wake source: every write wakes the loop once and nothing reads it back.
  event.events = EPOLLIN | EPOLLET;
  event.data.ptr = nullptr;  // the wake-up descriptor
  epoll_ctl(mode->epollDescriptor, EPOLL_CTL_ADD, rl->wakeDescriptor, &event);
  Mode& made = *mode;
  rl->modes.emplace(name, std::move(mode));
  for (auto& source : rl->everyModeSources) addSourceToMode(rl, made, source.get());
  if (isCommonMode(rl, name)) {
    for (auto& source : rl->commonSources) addSourceToMode(rl, made, source.get());
    for (auto& timer : rl->commonTimers) addTimerToMode(made, timer.get());
  }
  return made;
}

bool modeContains(const Mode& mode, const __CFRunLoopSource* source) {
  return std::any_of(mode.sources.begin(), mode.sources.end(),
                     [&](const auto& held) { return held.get() == source; });
}

void addSourceToMode(CFRunLoopRef rl, Mode& mode, __CFRunLoopSource* source) {
  if (modeContains(mode, source)) return;
  epoll_event event{};
  event.events = source->wakeOnly ? EPOLLIN | EPOLLET : EPOLLIN;
  event.data.ptr = source;
  if (epoll_ctl(mode.epollDescriptor, EPOLL_CTL_ADD, source->descriptor, &event) != 0) return;
  mode.sources.emplace_back(source);
  std::lock_guard lock(source->loopsMutex);
  if (std::find(source->loops.begin(), source->loops.end(), rl) == source->loops.end()) {
    source->loops.push_back(rl);
    // Signalled before this loop had it: this loop serves the signal too.
    if (source->signalled.load()) rl->signalledSources.fetch_add(1);
  }
}

void removeSourceFromMode(Mode& mode, __CFRunLoopSource* source) {
  auto found = std::find_if(mode.sources.begin(), mode.sources.end(),
                            [&](const auto& held) { return held.get() == source; });
  if (found == mode.sources.end()) return;
  epoll_ctl(mode.epollDescriptor, EPOLL_CTL_DEL, source->descriptor, nullptr);
  mode.sources.erase(found);
}

void addTimerToMode(Mode& mode, __CFRunLoopTimer* timer) {
  bool present = std::any_of(mode.timers.begin(), mode.timers.end(),
                             [&](const auto& held) { return held.get() == timer; });
  if (!present) mode.timers.emplace_back(timer);
}

void removeTimerFromMode(Mode& mode, __CFRunLoopTimer* timer) {
  std::erase_if(mode.timers, [&](const auto& held) { return held.get() == timer; });
}

void detachTimer(CFRunLoopRef rl, __CFRunLoopTimer* timer) {
  for (auto& [name, mode] : rl->modes) removeTimerFromMode(*mode, timer);
  std::erase_if(rl->commonTimers, [&](const auto& held) { return held.get() == timer; });
}

void detachSource(CFRunLoopRef rl, __CFRunLoopSource* source) {
  for (auto& [name, mode] : rl->modes) removeSourceFromMode(*mode, source);
  std::erase_if(rl->commonSources, [&](const auto& held) { return held.get() == source; });
  std::erase_if(rl->everyModeSources, [&](const auto& held) { return held.get() == source; });
}

void wake(CFRunLoopRef rl) {
  uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can go wrong worth reporting here.
  [[maybe_unused]] ssize_t written = write(rl->wakeDescriptor, &one, sizeof one);
}

}  // namespace runloop

__CFRunLoop::__CFRunLoop() {
  wakeDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeDescriptor < 0) {
    std::perror("CFRunLoop: eventfd");
    std::abort();
  }
  commonModes.emplace_back(kCFRunLoopDefaultMode);
}

__CFRunLoop::~__CFRunLoop() {
  for (auto& [name, mode] : modes) {
    for (auto& source : mode->sources) {
      std::lock_guard lock(source->loopsMutex);
      std::erase(source->loops, this);
    }
    for (auto& timer : mode->timers) {
      CFRunLoopRef self = this;
      timer->loop.compare_exchange_strong(self, nullptr);
    }
  }
  modes.clear();
  close(wakeDescriptor);
}

void CFRunLoopAddCommonMode(CFRunLoopRef rl, CFStringRef mode) {
  if (!rl || !mode) return;
  std::lock_guard lock(rl->mutex);
  std::string name(mode);
  if (runloop::isCommonMode(rl, name) || name == kCFRunLoopCommonModes) return;
  rl->commonModes.push_back(name);
  runloop::Mode& made = runloop::modeNamed(rl, name);
  for (auto& source : rl->commonSources) runloop::addSourceToMode(rl, made, source.get());
  for (auto& timer : rl->commonTimers) runloop::addTimerToMode(made, timer.get());
}
