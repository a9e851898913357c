#include "objc/runtime.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "objc/message.h"

struct objc_selector {
  std::string name;
};

struct objc_method {
  SEL name;
  IMP imp;
  std::string types;
};

struct objc_ivar {
  std::string name;
  std::string types;
  std::size_t size;
  std::ptrdiff_t offset;  // from the object's address, once the class is registered
  std::size_t offsetInBlock;
};

struct objc_class {
  std::string name;
  Class superclass = nullptr;
  bool registered = false;
  // The nearest class registered from C++ (itself, for native classes).
  Class native = nullptr;
  std::size_t nativeSize = 0;
  objc::NativeConstructor construct = nullptr;
  std::unordered_map<SEL, std::unique_ptr<objc_method>> methods;
  std::vector<std::unique_ptr<objc_ivar>> ivars;  // own variables, in order
  std::size_t ivarBlockSize = 0;                  // own plus inherited run-time variables
  std::size_t instanceSize = 0;
};

namespace {

constexpr std::size_t kObjectAlignment = 16;

std::size_t roundUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Classes and selectors live for the life of the process. Changes happen at start-up; sends
// from several threads only read.
struct Runtime {
  std::shared_mutex lock;
  std::unordered_map<std::string, std::unique_ptr<objc_selector>> selectors;
  std::unordered_map<std::string, std::unique_ptr<objc_class>> classes;
};

Runtime& runtime() {
  static Runtime* instance = new Runtime();  // never destroyed: objects may outlive statics
  return *instance;
}

// Advanced (with the lock held for writing) whenever a method is added or its implementation
// replaced: every thread's send cache then looks its methods up again.
std::atomic<std::uint64_t> methodsGeneration{1};

void methodsChanged() {
  methodsGeneration.fetch_add(1, std::memory_order_release);
}

// Per thread, the selectors last named by the same string: a send by name (a display link's
// action every refresh, say) neither hashes the name nor takes the lock. The string is compared
// all the same, since a buffer may hold another name later; selectors are never freed.
struct NamedSelector {
  const char* name = nullptr;
  SEL selector = nullptr;
};
constexpr std::size_t kNamedSelectorSlots = 64;
thread_local NamedSelector namedSelectors[kNamedSelectorSlots];

std::size_t slotOf(const void* key) {
  const auto bits = reinterpret_cast<std::uintptr_t>(key);
  return (bits >> 3 ^ bits >> 9) % kNamedSelectorSlots;
}

// Per thread, the implementations last found for a class, a selector and a call's types; an
// entry of an older generation of methods is looked up again.
struct FoundImplementation {
  Class cls = nullptr;
  SEL selector = nullptr;
  const std::string* callTypes = nullptr;
  std::uint64_t generation = 0;
  IMP imp = nullptr;
};
constexpr std::size_t kFoundSlots = 128;
thread_local FoundImplementation foundImplementations[kFoundSlots];

Method findMethod(Class cls, SEL name) {
  for (Class c = cls; c != nullptr; c = c->superclass) {
    auto found = c->methods.find(name);
    if (found != c->methods.end()) return found->second.get();
  }
  return nullptr;
}

Ivar findIvar(Class cls, const char* name) {
  for (Class c = cls; c != nullptr; c = c->superclass)
    for (auto& ivar : c->ivars)
      if (ivar->name == name) return ivar.get();
  return nullptr;
}

bool isObjectType(const std::string& types) {
  return !types.empty() && types[0] == '@';
}

void releaseObjectIvars(NSObject* object, Class cls) {
  for (Class c = cls; c != nullptr && c != c->native; c = c->superclass)
    for (auto& ivar : c->ivars)
      if (isObjectType(ivar->types)) {
        auto* slot = reinterpret_cast<id*>(reinterpret_cast<char*>(object) + ivar->offset);
        if (id value = std::exchange(*slot, nullptr)) value->release();
      }
}

}  // namespace

// ---- Selectors ---------------------------------------------------------------------------------

SEL sel_registerName(const char* name) {
  if (name == nullptr) return nullptr;
  NamedSelector& named = namedSelectors[slotOf(name)];
  if (named.name == name && std::strcmp(named.selector->name.c_str(), name) == 0)
    return named.selector;
  auto& rt = runtime();
  SEL selector = nullptr;
  {
    std::shared_lock read(rt.lock);
    auto found = rt.selectors.find(name);
    if (found != rt.selectors.end()) selector = found->second.get();
  }
  if (selector == nullptr) {
    std::unique_lock write(rt.lock);
    auto& slot = rt.selectors[name];
    if (!slot) slot = std::make_unique<objc_selector>(objc_selector{name});
    selector = slot.get();
  }
  named = NamedSelector{name, selector};
  return selector;
}

SEL sel_getUid(const char* name) {
  return sel_registerName(name);
}
const char* sel_getName(SEL selector) {
  return selector ? selector->name.c_str() : "<null>";
}

// ---- NSObject ----------------------------------------------------------------------------------

NSObject::~NSObject() {
  if (isa_ != nullptr) releaseObjectIvars(this, isa_);
}

NSObject* NSObject::retain() noexcept {
  references_.fetch_add(1, std::memory_order_relaxed);
  return this;
}

void NSObject::release() noexcept {
  if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

std::string NSObject::description() const {
  char text[64];
  std::snprintf(text, sizeof text, "<%s: %p>", object_getClassName(this),
                static_cast<const void*>(this));
  return text;
}

void* NSObject::operator new(std::size_t size) {
  return ::operator new (size, std::align_val_t{kObjectAlignment});
}

void NSObject::operator delete(void* memory) noexcept {
  ::operator delete (memory, std::align_val_t{kObjectAlignment});
}

Class NSObject::class_() {
  static const Class cls = objc::registerNativeClass("NSObject", nullptr, sizeof(NSObject),
                                                     &objc::constructInPlace<NSObject>, nullptr);
  return cls;
}

// ---- Classes -----------------------------------------------------------------------------------

namespace {

Class allocateClass(Class superclass, const char* name) {
  auto& rt = runtime();
  std::unique_lock write(rt.lock);
  auto& slot = rt.classes[name];
  if (slot) return nullptr;
  slot = std::make_unique<objc_class>();
  slot->name = name;
  slot->superclass = superclass;
  if (superclass != nullptr) {
    slot->native = superclass->native;
    slot->nativeSize = superclass->nativeSize;
    slot->construct = superclass->construct;
    slot->ivarBlockSize = superclass->ivarBlockSize;
  }
  return slot.get();
}

void finishLayout(Class cls) {
  std::size_t offset = cls->ivarBlockSize;
  for (auto& ivar : cls->ivars) {
    std::size_t alignment = ivar->size >= 8 ? 8 : (ivar->size >= 4 ? 4 : (ivar->size >= 2 ? 2 : 1));
    offset = roundUp(offset, alignment);
    ivar->offsetInBlock = offset;
    offset += ivar->size;
  }
  cls->ivarBlockSize = offset;
  const std::size_t base = roundUp(cls->nativeSize, kObjectAlignment);
  for (auto& ivar : cls->ivars)
    ivar->offset = static_cast<std::ptrdiff_t>(base + ivar->offsetInBlock);
  cls->instanceSize = base + cls->ivarBlockSize;
}

}  // namespace

Class objc::registerNativeClass(const char* name, Class superclass, std::size_t size,
                                NativeConstructor construct, MethodRegistrar registerMethods) {
  Class cls = allocateClass(superclass, name);
  if (cls == nullptr) {
    // A second library carrying the same native class: keep the first registration.
    return objc_lookUpClass(name);
  }
  cls->native = cls;
  cls->nativeSize = size;
  cls->construct = construct;
  cls->ivarBlockSize = 0;
  finishLayout(cls);
  cls->registered = true;
  if (registerMethods != nullptr) registerMethods(cls);
  return cls;
}

Class objc_allocateClassPair(Class superclass, const char* name, std::size_t extraBytes) {
  (void)extraBytes;
  if (name == nullptr) return nullptr;
  return allocateClass(superclass != nullptr ? superclass : NSObject::class_(), name);
}

void objc_registerClassPair(Class cls) {
  if (cls == nullptr || cls->registered) return;
  std::unique_lock write(runtime().lock);
  finishLayout(cls);
  cls->registered = true;
}

Class objc_lookUpClass(const char* name) {
  if (name == nullptr) return nullptr;
  auto& rt = runtime();
  std::shared_lock read(rt.lock);
  auto found = rt.classes.find(name);
  if (found == rt.classes.end() || !found->second->registered) return nullptr;
  return found->second.get();
}

Class objc_getClass(const char* name) {
  return objc_lookUpClass(name);
}

std::vector<Class> objc_classesBelow(Class ancestor) {
  std::vector<Class> result;
  auto& rt = runtime();
  std::shared_lock read(rt.lock);
  for (auto& [name, cls] : rt.classes)
    if (cls->registered && class_isSubclassOf(cls.get(), ancestor)) result.push_back(cls.get());
  return result;
}

const char* class_getName(Class cls) {
  return cls ? cls->name.c_str() : "nil";
}
Class class_getSuperclass(Class cls) {
  return cls ? cls->superclass : nullptr;
}
std::size_t class_getInstanceSize(Class cls) {
  return cls ? cls->instanceSize : 0;
}

bool class_isSubclassOf(Class cls, Class ancestor) {
  for (Class c = cls; c != nullptr; c = c->superclass)
    if (c == ancestor) return true;
  return false;
}

bool class_addMethod(Class cls, SEL name, IMP imp, const char* types) {
  if (cls == nullptr || name == nullptr || imp == nullptr) return false;
  std::unique_lock write(runtime().lock);
  auto& slot = cls->methods[name];
  if (slot) return false;
  slot = std::make_unique<objc_method>(objc_method{name, imp, types ? types : ""});
  methodsChanged();
  return true;
}

IMP class_replaceMethod(Class cls, SEL name, IMP imp, const char* types) {
  if (cls == nullptr || name == nullptr || imp == nullptr) return nullptr;
  std::unique_lock write(runtime().lock);
  auto& slot = cls->methods[name];
  methodsChanged();
  if (slot) return std::exchange(slot->imp, imp);
  slot = std::make_unique<objc_method>(objc_method{name, imp, types ? types : ""});
  return nullptr;
}

Method class_getInstanceMethod(Class cls, SEL name) {
  if (cls == nullptr || name == nullptr) return nullptr;
  std::shared_lock read(runtime().lock);
  return findMethod(cls, name);
}

Method class_getOwnInstanceMethod(Class cls, SEL name) {
  if (cls == nullptr || name == nullptr) return nullptr;
  std::shared_lock read(runtime().lock);
  auto found = cls->methods.find(name);
  return found == cls->methods.end() ? nullptr : found->second.get();
}

IMP class_getMethodImplementation(Class cls, SEL name) {
  Method method = class_getInstanceMethod(cls, name);
  return method ? method_getImplementation(method) : nullptr;
}

bool class_respondsToSelector(Class cls, SEL name) {
  return class_getInstanceMethod(cls, name) != nullptr;
}

bool class_addIvar(Class cls, const char* name, std::size_t size, std::uint8_t log2Alignment,
                   const char* types) {
  (void)log2Alignment;
  if (cls == nullptr || name == nullptr || cls->registered || cls->native == cls) return false;
  if (findIvar(cls, name) != nullptr) return false;
  cls->ivars.push_back(
      std::make_unique<objc_ivar>(objc_ivar{name, types ? types : "", size, 0, 0}));
  return true;
}

Ivar class_getInstanceVariable(Class cls, const char* name) {
  if (cls == nullptr || name == nullptr) return nullptr;
  std::shared_lock read(runtime().lock);
  return findIvar(cls, name);
}

const char* ivar_getName(Ivar ivar) {
  return ivar ? ivar->name.c_str() : nullptr;
}
const char* ivar_getTypeEncoding(Ivar ivar) {
  return ivar ? ivar->types.c_str() : nullptr;
}
std::ptrdiff_t ivar_getOffset(Ivar ivar) {
  return ivar ? ivar->offset : 0;
}

SEL method_getName(Method method) {
  return method ? method->name : nullptr;
}
IMP method_getImplementation(Method method) {
  if (method == nullptr) return nullptr;
  std::shared_lock read(runtime().lock);
  return method->imp;
}
IMP method_setImplementation(Method method, IMP imp) {
  if (method == nullptr || imp == nullptr) return nullptr;
  std::unique_lock write(runtime().lock);
  methodsChanged();
  return std::exchange(method->imp, imp);
}
const char* method_getTypeEncoding(Method method) {
  return method ? method->types.c_str() : nullptr;
}

// ---- Instances ---------------------------------------------------------------------------------

id class_createInstance(Class cls, std::size_t extraBytes) {
  if (cls == nullptr || !cls->registered || cls->construct == nullptr) return nullptr;
  const std::size_t size = cls->instanceSize + extraBytes;
  void* memory = NSObject::operator new(size);
  std::memset(memory, 0, size);
  NSObject* object = cls->construct(memory);
  if (object == nullptr) {
    NSObject::operator delete(memory);
    return nullptr;
  }
  if (cls != cls->native) object->isa_ = cls;
  return object;
}

Class object_getClass(const NSObject* object) {
  if (object == nullptr) return nullptr;
  return object->isa_ != nullptr ? object->isa_ : object->nativeClass_();
}

Class object_setClass(id object, Class cls) {
  if (object == nullptr || cls == nullptr) return nullptr;
  Class old = object_getClass(object);
  // Only a class with the same native root and the same instance layout fits the object.
  if (cls->native != old->native || cls->instanceSize != old->instanceSize) return nullptr;
  object->isa_ = cls == cls->native ? nullptr : cls;
  return old;
}

const char* object_getClassName(const NSObject* object) {
  return class_getName(object_getClass(object));
}

id object_getIvar(id object, Ivar ivar) {
  if (object == nullptr || ivar == nullptr || !isObjectType(ivar->types)) return nullptr;
  return *reinterpret_cast<id*>(reinterpret_cast<char*>(object) + ivar->offset);
}

void object_setIvar(id object, Ivar ivar, id value) {
  if (object == nullptr || ivar == nullptr || !isObjectType(ivar->types)) return;
  auto* slot = reinterpret_cast<id*>(reinterpret_cast<char*>(object) + ivar->offset);
  if (value != nullptr) value->retain();
  if (id old = std::exchange(*slot, value)) old->release();
}

// ---- Sending -----------------------------------------------------------------------------------

namespace objc {

bool typeEncodingsMatch(const char* methodTypes, const std::string& callTypes) {
  if (methodTypes == nullptr) return false;
  // Compared character by character with frame offsets (digits) skipped: no allocation per send.
  const char* a = methodTypes;
  const char* b = callTypes.c_str();
  while (true) {
    while (*a >= '0' && *a <= '9') ++a;
    while (*b >= '0' && *b <= '9') ++b;
    if (*a != *b) return false;
    if (*a == '\0') return true;
    ++a;
    ++b;
  }
}

SendStatus lookUpForSend(id receiver, SEL selector, const std::string& callTypes, IMP* imp) {
  if (receiver == nullptr) return SendStatus::nilReceiver;
  Class cls = object_getClass(receiver);
  const std::uint64_t generation = methodsGeneration.load(std::memory_order_acquire);
  const auto bits =
      reinterpret_cast<std::uintptr_t>(cls) ^ reinterpret_cast<std::uintptr_t>(selector);
  FoundImplementation& found = foundImplementations[(bits >> 4 ^ bits >> 11) % kFoundSlots];
  if (found.cls == cls && found.selector == selector && found.callTypes == &callTypes &&
      found.generation == generation) {
    *imp = found.imp;
    return SendStatus::sent;
  }
  std::shared_lock read(runtime().lock);
  Method method = findMethod(cls, selector);
  if (method == nullptr) return SendStatus::unrecognizedSelector;
  if (!typeEncodingsMatch(method->types.c_str(), callTypes)) return SendStatus::typeMismatch;
  *imp = method->imp;
  found = FoundImplementation{cls, selector, &callTypes,
                              methodsGeneration.load(std::memory_order_relaxed), method->imp};
  return SendStatus::sent;
}

void reportSendFailure(id receiver, SEL selector, SendStatus status, const std::string& callTypes) {
  Class cls = object_getClass(receiver);
  if (status == SendStatus::typeMismatch) {
    Method method = class_getInstanceMethod(cls, selector);
    std::fprintf(stderr, "objc: -[%s %s]: sent as \"%s\" but the method is \"%s\"\n",
                 class_getName(cls), sel_getName(selector), callTypes.c_str(),
                 method_getTypeEncoding(method));
  } else {
    std::fprintf(stderr, "objc: -[%s %s]: unrecognized selector sent to instance %p\n",
                 class_getName(cls), sel_getName(selector), static_cast<void*>(receiver));
  }
  std::fflush(stderr);
  std::abort();
}

}  // namespace objc
