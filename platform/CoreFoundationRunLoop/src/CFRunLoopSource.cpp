// Descriptor sources and their membership in loops and modes.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "RunLoopInternal.h"

__CFRunLoopSource::~__CFRunLoopSource() {
  if (descriptor >= 0) close(descriptor);
}

CFRunLoopSourceRef CFRunLoopSourceCreateWithDescriptor(int fd, void (*callout)(int, void*),
                                                       void* info) {
  if (fd < 0 || !callout) return nullptr;
  int duplicate = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (duplicate < 0) return nullptr;
  auto* source = new __CFRunLoopSource;
  source->descriptor = duplicate;
  source->callerDescriptor = fd;
  source->callout = callout;
  source->info = info;
  return source;
}

CFRunLoopSourceRef CFRunLoopSourceCreateWithWakeDescriptor(int fd, void (*callout)(int, void*),
                                                           void* info) {
  CFRunLoopSourceRef source = CFRunLoopSourceCreateWithDescriptor(fd, callout, info);
  if (source) source->wakeOnly = true;
  return source;
}

void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode) {
  if (!rl || !source || !mode || !source->valid) return;
  {
    std::lock_guard lock(rl->mutex);
    std::string name(mode);
    if (name == kCFRunLoopCommonModes) {
      bool present = std::any_of(rl->commonSources.begin(), rl->commonSources.end(),
                                 [&](const auto& held) { return held.get() == source; });
      if (!present) rl->commonSources.emplace_back(source);
      for (const auto& common : rl->commonModes)
        runloop::addSourceToMode(rl, runloop::modeNamed(rl, common), source);
    } else {
      runloop::addSourceToMode(rl, runloop::modeNamed(rl, name), source);
    }
  }
  runloop::wake(rl);
}

void CFRunLoopAddSourceInAllModes(CFRunLoopRef rl, CFRunLoopSourceRef source) {
  if (!rl || !source || !source->valid) return;
  {
    std::lock_guard lock(rl->mutex);
    rl->everyModeSources.emplace_back(source);
    for (auto& [name, mode] : rl->modes) runloop::addSourceToMode(rl, *mode, source);
  }
  runloop::wake(rl);
}

void CFRunLoopRemoveSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode) {
  if (!rl || !source || !mode) return;
  CFHolder<__CFRunLoopSource> keep(source);
  std::lock_guard lock(rl->mutex);
  std::string name(mode);
  if (name == kCFRunLoopCommonModes) {
    std::erase_if(rl->commonSources, [&](const auto& held) { return held.get() == source; });
    for (const auto& common : rl->commonModes)
      runloop::removeSourceFromMode(runloop::modeNamed(rl, common), source);
  } else {
    runloop::removeSourceFromMode(runloop::modeNamed(rl, name), source);
  }
}

Boolean CFRunLoopContainsSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFStringRef mode) {
  if (!rl || !source || !mode) return false;
  std::lock_guard lock(rl->mutex);
  std::string name(mode);
  if (name == kCFRunLoopCommonModes)
    return std::any_of(rl->commonSources.begin(), rl->commonSources.end(),
                       [&](const auto& held) { return held.get() == source; });
  auto found = rl->modes.find(name);
  return found != rl->modes.end() && runloop::modeContains(*found->second, source);
}

void CFRunLoopSourceInvalidate(CFRunLoopSourceRef source) {
  if (!source) return;
  CFHolder<__CFRunLoopSource> keep(source);
  source->valid = false;
  std::vector<CFRunLoopRef> loops;
  {
    std::lock_guard lock(source->loopsMutex);
    if (source->signalled.exchange(false))
      for (CFRunLoopRef rl : source->loops) rl->signalledSources.fetch_sub(1);
    loops.swap(source->loops);
  }
  for (CFRunLoopRef rl : loops) {
    std::lock_guard lock(rl->mutex);
    runloop::detachSource(rl, source);
  }
}

Boolean CFRunLoopSourceIsValid(CFRunLoopSourceRef source) {
  return source && source->valid;
}

void CFRunLoopSourceSignal(CFRunLoopSourceRef source) {
  if (!source || !source->valid) return;
  std::lock_guard lock(source->loopsMutex);
  if (source->signalled.exchange(true)) return;
  for (CFRunLoopRef rl : source->loops) rl->signalledSources.fetch_add(1);
}

namespace runloop {

bool takeSignal(__CFRunLoopSource* source) {
  std::lock_guard lock(source->loopsMutex);
  if (!source->signalled.exchange(false)) return false;
  for (CFRunLoopRef rl : source->loops) rl->signalledSources.fetch_sub(1);
  return true;
}

}  // namespace runloop
