#pragma once
// In-process notifications. Delivery is synchronous, on the posting thread; observers are not
// retained, so an observer removes itself before it goes away.

#include <mutex>
#include <string>
#include <vector>

#include "Foundation/NSValues.h"
#include "objc/StrongRef.h"
#include "objc/runtime.h"

class NSNotification : public NSObject {
  OBJC_NATIVE_CLASS(NSNotification, NSObject)
 public:
  NSNotification() = default;
  NSNotification(std::string name, id object, StrongRef<NSDictionary> userInfo)
      : name_(std::move(name)), object_(object), userInfo_(std::move(userInfo)) {}

  const std::string& name() const { return name_; }
  id object() const { return object_; }
  NSDictionary* userInfo() const { return userInfo_.get(); }

 private:
  std::string name_;
  id object_ = nullptr;
  StrongRef<NSDictionary> userInfo_;
};

class NSNotificationCenter : public NSObject {
  OBJC_NATIVE_CLASS(NSNotificationCenter, NSObject)
 public:
  static NSNotificationCenter* defaultCenter();

  // `observer` receives `selector` ("v@:@", the notification) for every post of `name` (any
  // name when empty) whose sender is `object` (any sender when null).
  void addObserver(id observer, SEL selector, const std::string& name, id object);
  void removeObserver(id observer);
  void removeObserver(id observer, const std::string& name, id object);
  void postNotificationName(const std::string& name, id object,
                            StrongRef<NSDictionary> userInfo = nullptr);
  void postNotification(NSNotification* notification);

  // Observations of `name` held by `observer` (for tests and diagnostics).
  std::size_t observationCount(id observer, const std::string& name) const;

 private:
  struct Observation {
    id observer;
    SEL selector;
    std::string name;
    id object;
  };
  mutable std::mutex lock_;
  std::vector<Observation> observations_;
};
