#pragma once
// The state records of the three integrations. Each holds the only strong references to the
// visible plot, its host view, its display link and the colours kept from the last plot.
//
// A record is constructed by its start-up step (in every process, in the fixed start-up order),
// which also registers its exit-time destructor; the fields are released in reverse order of
// declaration (the kept colours first, the plot last). Until then its storage is zero.

#include <objc/StrongRef.h>
#include <objc/runtime.h>

#include <cstdlib>
#include <new>

namespace vellamor2 {

// A process-lifetime record whose construction and destruction the start-up sequence controls
// (a plain global would be built and torn down in link order instead).
template <class T>
class StaticRecord {
 public:
  constexpr StaticRecord() = default;

  // Zero fields; the destructor runs at process exit.
  void construct(void (*destroyAtExit)()) {
    if (constructed_) return;
    ::new (storage_) T();
    constructed_ = true;
    std::atexit(destroyAtExit);
  }
  void destroy() {
    if (!constructed_) return;
    constructed_ = false;
    get().~T();
  }
  bool constructed() const { return constructed_; }

  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
  T* operator->() { return &get(); }
  T& operator*() { return get(); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)]{};
  bool constructed_ = false;
};

}  // namespace vellamor2

// Field types stay `NSObject` until the view, colour and display-link classes narrow them.
struct lockscreenStateStruct {
  StrongRef<NSObject> plot;
  StrongRef<NSObject> hostView;
  StrongRef<NSObject> artworkView;
  StrongRef<NSObject> displayLink;
  StrongRef<NSObject> savedSecondaryColor;
  StrongRef<NSObject> savedPrimaryColor;
  StrongRef<NSObject> savedBackgroundColor;
};

struct musicAppStateStruct {
  StrongRef<NSObject> plot;
  StrongRef<NSObject> hostView;
  StrongRef<NSObject> displayLink;
  StrongRef<NSObject> savedSecondaryColor;
  StrongRef<NSObject> savedPrimaryColor;
  StrongRef<NSObject> savedBackgroundColor;
};

struct SPTStateStruct {
  StrongRef<NSObject> plot;
  StrongRef<NSObject> hostView;
  StrongRef<NSObject> displayLink;
  StrongRef<NSObject> savedSecondaryColor;
  StrongRef<NSObject> savedPrimaryColor;
  StrongRef<NSObject> savedBackgroundColor;
};

extern vellamor2::StaticRecord<lockscreenStateStruct> lockscreenState;
extern vellamor2::StaticRecord<musicAppStateStruct> musicAppState;
extern vellamor2::StaticRecord<SPTStateStruct> SPTState;
