#pragma once
// Host classes are made through the object runtime, as the phone's binaries carry them: named
// classes with instance variables and methods, so that a tweak's hooks really replace them.

#include <CoreGraphics/CGGeometry.h>
#include <objc/message.h>
#include <objc/runtime.h>

#include <string>
#include <utility>
#include <vector>

namespace host {

class RuntimeClass {
 public:
  // A new class `name` below the registered class `superclassName`.
  RuntimeClass(const char* name, const char* superclassName);

  // An object instance variable ("@", strong).
  RuntimeClass& objectIvar(const char* name);

  template <class R, class... A>
  RuntimeClass& method(const char* selector, R (*implementation)(id, SEL, A...)) {
    methods_.push_back(
        {selector, reinterpret_cast<IMP>(implementation), objc::encodeMethod<R, A...>()});
    return *this;
  }

  // Registers the class with its variables and methods; null when the name was taken or the
  // superclass does not exist.
  Class define();

 private:
  struct PendingMethod {
    const char* selector;
    IMP implementation;
    std::string types;
  };
  const char* name_;
  const char* superclassName_;
  std::vector<const char*> ivars_;
  std::vector<PendingMethod> methods_;
};

// The implementation of `cmd` in the superclass of `definingClass`, called with `args`: how a
// host method runs the behaviour it overrides.
template <class R, class... A>
R callSuper(Class definingClass, id self, SEL cmd, A... args) {
  IMP imp = class_getMethodImplementation(class_getSuperclass(definingClass), cmd);
  if (imp == nullptr) return objc::zeroOf<R>();
  return reinterpret_cast<R (*)(id, SEL, A...)>(imp)(self, cmd, args...);
}

// A new instance of the class named `className`, sent `initWithFrame:`-style initialisers by
// the caller; the reference is the caller's. Null when the class does not exist.
id newInstance(const char* className);

// The object held by the instance variable `name` (no reference taken), or null.
id ivarObject(id object, const char* name);
// Stores `value` (retained) in the object instance variable `name`.
void setIvarObject(id object, const char* name, id value);

// A property getter for the object instance variable `Name` (a `constexpr char[]`):
// `.method("artworkView", &ivarGetter<kArtworkViewIvar>)`.
template <const char* Name>
id ivarGetter(id self, SEL) {
  return ivarObject(self, Name);
}

// A property setter for the object instance variable `Name`.
template <const char* Name>
void ivarSetter(id self, SEL, id value) {
  setIvarObject(self, Name, value);
}

// A new view of class `className` sent "initWithFrame:" (so that hooks of it run); the
// reference is the caller's.
id newView(const char* className, double x, double y, double width, double height);

}  // namespace host
