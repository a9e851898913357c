#include "Vellamor2/HookGroup.h"

#include <substrate.h>

namespace vellamor2 {
namespace {

std::vector<std::string>& journal() {
  static std::vector<std::string> entries;
  return entries;
}

}  // namespace

void installHookGroup(const HookGroup& group) {
  for (const HookEntry& entry : group.entries) {
    Class cls = objc_getClass(entry.className);
    if (cls == nullptr) continue;
    SEL selector = sel_registerName(entry.selector);
    if (entry.previous != nullptr) {
      if (class_getInstanceMethod(cls, selector) == nullptr) continue;
      MSHookMessageEx(cls, selector, entry.implementation, entry.previous);
    } else {
      class_addMethod(cls, selector, entry.implementation, entry.types.c_str());
    }
    journal().push_back(std::string(group.name) + " " + entry.className + " " + entry.selector +
                        (entry.previous != nullptr ? " replaced" : " added"));
  }
}

const std::vector<std::string>& installedHooks() {
  return journal();
}

}  // namespace vellamor2
