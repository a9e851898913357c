#pragma once
// Hook groups: the replaced and added methods that start-up installs together, in their order.
// A host class that does not exist gets nothing and start-up goes on with the next entry.

#include <objc/message.h>
#include <objc/runtime.h>
#include <substrate.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace vellamor2 {

struct HookEntry {
  const char* className;
  const char* selector;
  IMP implementation;
  IMP* previous;      // replaced methods: the slot that receives the host's implementation
  std::string types;  // added methods: the type encoding
};

// Replaces -[className selector]; `slot` receives the host's implementation. The replacement and
// the slot have one signature, so calling the previous implementation is type-checked.
template <class R, class... A>
HookEntry replaced(const char* className, const char* selector, R (*replacement)(id, SEL, A...),
                   R (**slot)(id, SEL, A...)) {
  return {
      className, selector, reinterpret_cast<IMP>(replacement), reinterpret_cast<IMP*>(slot), {}};
}

// Adds -[className selector], a method the class did not have, typed by its signature.
template <class R, class... A>
HookEntry added(const char* className, const char* selector, R (*method)(id, SEL, A...)) {
  return {className, selector, reinterpret_cast<IMP>(method), nullptr,
          objc::encodeMethod<R, A...>()};
}

struct HookGroup {
  const char* name;
  std::vector<HookEntry> entries;
};

// Installs every entry of `group`, in order.
void installHookGroup(const HookGroup& group);

// What start-up installed in this process, in order: "<group> <class> <selector> replaced|added"
// (diagnostics for the order of installation).
const std::vector<std::string>& installedHooks();

// An object instance variable of a host object, read by name (MSHookIvar); a class without it
// reads as no object rather than through a null location.
inline id objectIvar(id object, const char* name) {
  if (object == nullptr) return nullptr;
  return MSHookIvar<id>(object, name).value();
}

}  // namespace vellamor2
