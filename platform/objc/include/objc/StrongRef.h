#pragma once
// An owning handle to an object: copying retains, destruction releases. Records and properties
// that the platform calls "strong" hold one of these.

#include <cstddef>
#include <type_traits>
#include <utility>

#include "objc/runtime.h"

template <class T>
class StrongRef {
 public:
  StrongRef() noexcept = default;
  StrongRef(std::nullptr_t) noexcept {}
  // Shares `object`: takes a reference of its own.
  StrongRef(T* object) noexcept : object_(object) {
    if (object_ != nullptr) object_->retain();
  }
  StrongRef(const StrongRef& other) noexcept : StrongRef(other.object_) {}
  StrongRef(StrongRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  StrongRef(const StrongRef<U>& other) noexcept : StrongRef(other.get()) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  StrongRef(StrongRef<U>&& other) noexcept : object_(other.leak()) {}
  ~StrongRef() { reset(); }

  StrongRef& operator=(StrongRef other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  // Takes over a reference that the caller already owns (a new object's first reference).
  static StrongRef adopt(T* object) noexcept {
    StrongRef ref;
    ref.object_ = object;
    return ref;
  }

  void reset() noexcept {
    if (T* old = std::exchange(object_, nullptr)) old->release();
  }
  // Gives up ownership without releasing.
  T* leak() noexcept { return std::exchange(object_, nullptr); }

  T* get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  operator T*() const noexcept { return object_; }

 private:
  T* object_ = nullptr;
};

namespace objc {

// A new object of T with its one reference owned by the result.
template <class T, class... Args>
StrongRef<T> make(Args&&... args) {
  return StrongRef<T>::adopt(new T(std::forward<Args>(args)...));
}

// The object as a T, or null when it is none (a checked downcast).
template <class T>
T* cast(const NSObject* object) {
  return dynamic_cast<T*>(const_cast<NSObject*>(object));
}

}  // namespace objc
