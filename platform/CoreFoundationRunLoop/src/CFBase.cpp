#include <CoreFoundation/CFBase.h>

#include <time.h>

#include "CFRuntimeObject.h"

double kCFCoreFoundationVersionNumber = 1348.22;

CFTypeRef CFRetain(CFTypeRef object) {
  if (object) {
    auto* base = static_cast<CFRuntimeObject*>(const_cast<void*>(object));
    base->references.fetch_add(1, std::memory_order_relaxed);
  }
  return object;
}

void CFRelease(CFTypeRef object) {
  if (!object) return;
  auto* base = static_cast<CFRuntimeObject*>(const_cast<void*>(object));
  if (base->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete base;
}

CFAbsoluteTime CFAbsoluteTimeGetCurrent() {
  constexpr double kSecondsFrom1970To2001 = 978307200.0;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<double>(now.tv_sec) - kSecondsFrom1970To2001 + now.tv_nsec * 1e-9;
}
