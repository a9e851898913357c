#include <cstdio>

#include "substrate.h"

void MSHookMessageEx(Class cls, SEL selector, IMP replacement, IMP* result) {
  if (cls == nullptr || selector == nullptr || replacement == nullptr) return;
  if (Method own = class_getOwnInstanceMethod(cls, selector)) {
    // The slot is filled before the replacement can run, so it never calls through a null slot.
    if (result != nullptr) *result = method_getImplementation(own);
    method_setImplementation(own, replacement);
    return;
  }
  Method inherited = class_getInstanceMethod(cls, selector);
  if (inherited == nullptr) {
    std::fprintf(stderr, "substrate: -[%s %s] does not exist; nothing hooked\n", class_getName(cls),
                 sel_getName(selector));
    return;
  }
  // The class's own override; the slot keeps the superclass's implementation so the
  // replacement still reaches it.
  IMP previous = method_getImplementation(inherited);
  if (result != nullptr) *result = previous;
  class_replaceMethod(cls, selector, replacement, method_getTypeEncoding(inherited));
}

namespace substrate {

void* ivarLocation(id object, const char* name) {
  if (object == nullptr || name == nullptr) return nullptr;
  Ivar ivar = class_getInstanceVariable(object_getClass(object), name);
  if (ivar == nullptr) return nullptr;
  return reinterpret_cast<char*>(object) + ivar_getOffset(ivar);
}

}  // namespace substrate
