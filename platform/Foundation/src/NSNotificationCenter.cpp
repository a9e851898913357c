#include "Foundation/NSNotificationCenter.h"

#include <algorithm>

#include "objc/message.h"

NSNotificationCenter* NSNotificationCenter::defaultCenter() {
  static NSNotificationCenter* center = objc::make<NSNotificationCenter>().leak();
  return center;
}

void NSNotificationCenter::addObserver(id observer, SEL selector, const std::string& name,
                                       id object) {
  if (observer == nullptr || selector == nullptr) return;
  std::lock_guard guard(lock_);
  observations_.push_back({observer, selector, name, object});
}

void NSNotificationCenter::removeObserver(id observer) {
  std::lock_guard guard(lock_);
  std::erase_if(observations_, [&](const Observation& o) { return o.observer == observer; });
}

void NSNotificationCenter::removeObserver(id observer, const std::string& name, id object) {
  std::lock_guard guard(lock_);
  std::erase_if(observations_, [&](const Observation& o) {
    return o.observer == observer && (name.empty() || o.name == name) &&
           (object == nullptr || o.object == object);
  });
}

void NSNotificationCenter::postNotificationName(const std::string& name, id object,
                                                StrongRef<NSDictionary> userInfo) {
  auto notification = objc::make<NSNotification>(name, object, std::move(userInfo));
  postNotification(notification.get());
}

void NSNotificationCenter::postNotification(NSNotification* notification) {
  if (notification == nullptr) return;
  // Deliver from a snapshot: a handler may add or remove observers while it runs.
  std::vector<Observation> matching;
  {
    std::lock_guard guard(lock_);
    for (const auto& o : observations_)
      if ((o.name.empty() || o.name == notification->name()) &&
          (o.object == nullptr || o.object == notification->object()))
        matching.push_back(o);
  }
  for (const auto& o : matching) {
    {
      std::lock_guard guard(lock_);
      const bool stillObserving = std::any_of(observations_.begin(), observations_.end(),
          [&](const Observation& current) {
            return current.observer == o.observer && current.selector == o.selector;
          });
      if (!stillObserving) continue;
    }
    msgSend<void>(o.observer, o.selector, notification);
  }
}

std::size_t NSNotificationCenter::observationCount(id observer, const std::string& name) const {
  std::lock_guard guard(lock_);
  return static_cast<std::size_t>(std::count_if(
      observations_.begin(), observations_.end(),
      [&](const Observation& o) { return o.observer == observer && o.name == name; }));
}
