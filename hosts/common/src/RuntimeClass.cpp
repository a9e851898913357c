#include "HostCommon/RuntimeClass.h"

#include <CoreGraphics/CGGeometry.h>
#include <UIKit/UIView.h>
#include <UIKit/UIViewController.h>

namespace host {
namespace {

// Host classes name their superclasses (UIView, UIViewController) only through the runtime; this
// keeps the frameworks that define them linked into every host, as the phone's binaries link them.
[[maybe_unused]] const Class kFrameworkClasses[] = {UIView::class_(), UIViewController::class_()};

}  // namespace

RuntimeClass::RuntimeClass(const char* name, const char* superclassName)
    : name_(name), superclassName_(superclassName) {}

RuntimeClass& RuntimeClass::objectIvar(const char* name) {
  ivars_.push_back(name);
  return *this;
}

Class RuntimeClass::define() {
  Class superclass = objc_getClass(superclassName_);
  if (superclass == nullptr) return nullptr;
  Class cls = objc_allocateClassPair(superclass, name_, 0);
  if (cls == nullptr) return nullptr;
  for (const char* ivar : ivars_) class_addIvar(cls, ivar, sizeof(id), 3, "@");
  objc_registerClassPair(cls);
  for (const PendingMethod& method : methods_)
    class_addMethod(cls, sel_registerName(method.selector), method.implementation,
                    method.types.c_str());
  return cls;
}

id newInstance(const char* className) {
  return class_createInstance(objc_getClass(className));
}

id ivarObject(id object, const char* name) {
  if (object == nullptr) return nullptr;
  return object_getIvar(object, class_getInstanceVariable(object_getClass(object), name));
}

void setIvarObject(id object, const char* name, id value) {
  if (object == nullptr) return;
  object_setIvar(object, class_getInstanceVariable(object_getClass(object), name), value);
}

id newView(const char* className, double x, double y, double width, double height) {
  id view = newInstance(className);
  if (view == nullptr) return nullptr;
  // An initialiser may answer with another object; the reference then follows it.
  id initialised = msgSend<id>(view, "initWithFrame:", CGRectMake(x, y, width, height));
  if (initialised != view) {
    if (initialised != nullptr) initialised->retain();
    view->release();
  }
  return initialised;
}

}  // namespace host
