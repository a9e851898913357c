#include "CoreFoundation/CFNotificationCenter.h"

#include <dispatch/dispatch.h>
#include <notify.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct __CFNotificationCenter {
  struct Observation {
    const void* observer;
    std::string name;
    int token;
  };
  std::mutex lock;
  std::vector<Observation> observations;
};

namespace {

__CFNotificationCenter gDarwinCenter;

}  // namespace

CFNotificationCenterRef CFNotificationCenterGetDarwinNotifyCenter() {
  return &gDarwinCenter;
}

void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                     CFNotificationCallback callBack, CFNotificationName name,
                                     const void* /*object*/,
                                     CFNotificationSuspensionBehavior /*suspensionBehavior*/) {
  if (center == nullptr || callBack == nullptr || name == nullptr) return;
  // notify folds posts that arrive before the main queue runs the call: the coalescing asked for.
  auto kept = std::make_shared<const std::string>(name);
  int token = 0;
  const uint32_t status = notify_register_dispatch(
      name, &token, dispatch_get_main_queue(), [center, observer, callBack, kept](int) {
        callBack(center, const_cast<void*>(observer), kept->c_str(), nullptr, nullptr);
      });
  if (status != NOTIFY_STATUS_OK) return;
  std::lock_guard guard(center->lock);
  center->observations.push_back({observer, *kept, token});
}

void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center, const void* observer,
                                        CFNotificationName name, const void* /*object*/) {
  if (center == nullptr) return;
  std::lock_guard guard(center->lock);
  std::erase_if(center->observations, [&](const auto& observation) {
    if (observation.observer != observer || (name != nullptr && observation.name != name)) {
      return false;
    }
    notify_cancel(observation.token);
    return true;
  });
}

void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center, const void* observer) {
  CFNotificationCenterRemoveObserver(center, observer, nullptr, nullptr);
}

void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFNotificationName name,
                                          const void* /*object*/, const void* /*userInfo*/,
                                          Boolean /*deliverImmediately*/) {
  if (center == nullptr || name == nullptr) return;
  notify_post(name);
}
