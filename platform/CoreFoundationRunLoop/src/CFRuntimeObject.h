#pragma once
// The common base of the run-loop floor's objects: a reference count that CFRetain and CFRelease
// act on. It must stay the first base of every such object (CFRelease casts from CFTypeRef).

#include <atomic>

struct CFRuntimeObject {
  virtual ~CFRuntimeObject() = default;
  std::atomic<long> references{1};
};

// An owning handle used inside the box.
template <typename T>
class CFHolder {
 public:
  CFHolder() = default;
  // Takes a new reference.
  explicit CFHolder(T* object) : object_(object) {
    if (object_) object_->references.fetch_add(1, std::memory_order_relaxed);
  }
  CFHolder(const CFHolder& other) : CFHolder(other.object_) {}
  CFHolder(CFHolder&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  CFHolder& operator=(CFHolder other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~CFHolder() { reset(); }
  void reset() {
    if (object_ && object_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete object_;
    object_ = nullptr;
  }
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  bool operator==(const CFHolder& other) const { return object_ == other.object_; }

 private:
  T* object_ = nullptr;
};
