#pragma once
// The hooking runtime as tweaks see it: replace methods and hookable functions, find images and
// symbols by their phone paths and names, reach instance variables by name.

#include <cstddef>

#include "objc/runtime.h"

// A loaded image (shared object); null when none.
using MSImageRef = const void*;

// The loaded image at the phone path `file` (resolved inside the device), or null.
MSImageRef MSGetImageByName(const char* file);

// The address of `name` in `image`, the name spelled with its leading underscore as on the phone
// ("_AudioUnitRender"); null when the image has no such symbol or no image is given.
void* MSFindSymbol(MSImageRef image, const char* name);

// Every later call of `symbol` runs `replace`; `*result` (when given) receives the entry that
// runs the function as before. Only functions that their library exports as hookable can be
// replaced (substrate/Hookable.h); for any other `*result` is null and nothing changes.
void MSHookFunction(void* symbol, void* replace, void** result);

// Every later message `selector` to an instance of `cls` (or of a subclass that does not override
// it) runs `replacement`; `*result` (when given) receives the implementation that behaved as the
// method did before. A method that `cls` only inherits gets an override in `cls` itself. A null
// class, or a class without the method, installs nothing.
void MSHookMessageEx(Class cls, SEL selector, IMP replacement, IMP* result);

template <class F>
void MSHookFunction(F* symbol, F* replace, F** result) {
  MSHookFunction(reinterpret_cast<void*>(symbol), reinterpret_cast<void*>(replace),
                 reinterpret_cast<void**>(result));
}

template <class R, class... A>
void MSHookMessageEx(Class cls, SEL selector, R (*replacement)(id, SEL, A...),
                     R (**result)(id, SEL, A...)) {
  MSHookMessageEx(cls, selector, reinterpret_cast<IMP>(replacement),
                  reinterpret_cast<IMP*>(result));
}

namespace substrate {
// The storage of a named instance variable, or null when the object's class has none.
void* ivarLocation(id object, const char* name);
}  // namespace substrate

// Where an instance variable lives inside one object. A class without the variable gives a null
// location: test it (`if (auto ivar = MSHookIvar<T>(o, "_x"))`) or read it with `value()`, which
// reads a missing variable as zero (no object).
template <class T>
class MSIvarLocation {
 public:
  explicit MSIvarLocation(T* location) : location_(location) {}
  T* get() const { return location_; }
  explicit operator bool() const { return location_ != nullptr; }
  T& operator*() const { return *location_; }
  T value() const { return location_ != nullptr ? *location_ : T{}; }

 private:
  T* location_;
};

// The instance variable `name` of `object`, found through the object's class
// (class_getInstanceVariable on object_getClass, then ivar_getOffset).
template <class T>
MSIvarLocation<T> MSHookIvar(id object, const char* name) {
  return MSIvarLocation<T>(static_cast<T*>(substrate::ivarLocation(object, name)));
}
