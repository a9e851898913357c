#pragma once
// Foundation's ordered lists of objects. Elements are held strongly; an index past the end reads
// as no object.

#include <cstddef>
#include <string>
#include <vector>

#include "objc/StrongRef.h"
#include "objc/runtime.h"

class NSArray : public NSObject {
  OBJC_NATIVE_CLASS(NSArray, NSObject)
 public:
  NSArray() = default;
  explicit NSArray(std::vector<StrongRef<NSObject>> objects) : objects_(std::move(objects)) {}

  std::size_t count() const { return objects_.size(); }
  id objectAtIndex(std::size_t index) const {
    return index < objects_.size() ? objects_[index].get() : nullptr;
  }
  const std::vector<StrongRef<NSObject>>& objects() const { return objects_; }

  std::string description() const override;
  static void registerMethods_(Class cls);

 protected:
  std::vector<StrongRef<NSObject>> objects_;
};

class NSMutableArray : public NSArray {
  OBJC_NATIVE_CLASS(NSMutableArray, NSArray)
 public:
  NSMutableArray() = default;
  static StrongRef<NSMutableArray> array() { return objc::make<NSMutableArray>(); }

  void addObject(id object);  // a null object is not added
  void removeAllObjects() { objects_.clear(); }
};
