#pragma once
// The object runtime: classes with names, superclasses, method tables and instance variables,
// reference-counted objects with NSObject as the root, and message sending checked against each
// method's type encoding. The system's code and the hosts see the platform's own names.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct objc_class;
struct objc_selector;
struct objc_ivar;
struct objc_method;
class NSObject;

using Class = objc_class*;
using SEL = const objc_selector*;
using Ivar = objc_ivar*;
using Method = objc_method*;
using id = NSObject*;
using IMP = void (*)();  // cast to the method's real signature before calling
using BOOL = bool;

inline constexpr BOOL YES = true;
inline constexpr BOOL NO = false;

// ---- Selectors -------------------------------------------------------------------------------

// The unique selector for `name`; equal names give the same pointer.
SEL sel_registerName(const char* name);
SEL sel_getUid(const char* name);
const char* sel_getName(SEL selector);
inline SEL operator""_sel(const char* name, std::size_t) { return sel_registerName(name); }

// ---- Objects ---------------------------------------------------------------------------------

// The root of every object. Instances start with one reference owned by their creator; the last
// release destroys them. C++ classes that the runtime should know declare OBJC_NATIVE_CLASS.
class NSObject {
 public:
  NSObject() noexcept = default;
  NSObject(const NSObject&) = delete;
  NSObject& operator=(const NSObject&) = delete;
  virtual ~NSObject();

  NSObject* retain() noexcept;
  void release() noexcept;
  std::uint32_t retainCount() const noexcept { return references_.load(std::memory_order_relaxed); }

  // Text for "%@" in log lines.
  virtual std::string description() const;
  virtual bool isEqual(const NSObject* other) const { return other == this; }

  static Class class_();
  virtual Class nativeClass_() const { return class_(); }

  static void* operator new(std::size_t size);
  static void* operator new(std::size_t size, void* place) noexcept { (void)size; return place; }
  static void operator delete(void* memory) noexcept;
  static void operator delete(void*, void*) noexcept {}

 private:
  friend Class object_getClass(const NSObject* object);
  friend id class_createInstance(Class cls, std::size_t extraBytes);
  friend Class object_setClass(id object, Class cls);

  std::atomic<std::uint32_t> references_{1};
  Class isa_ = nullptr;  // set for instances of run-time classes; else the native class
};

// ---- Classes ---------------------------------------------------------------------------------

Class objc_getClass(const char* name);
Class objc_lookUpClass(const char* name);
// A new class below `superclass` (NSObject when null); null when the name is taken.
Class objc_allocateClassPair(Class superclass, const char* name, std::size_t extraBytes);
void objc_registerClassPair(Class cls);
// Every registered class whose superclass chain reaches `ancestor` (itself included).
std::vector<Class> objc_classesBelow(Class ancestor);

const char* class_getName(Class cls);
Class class_getSuperclass(Class cls);
bool class_isSubclassOf(Class cls, Class ancestor);
std::size_t class_getInstanceSize(Class cls);

// Adds a method that the class itself does not have yet; false when it has one of that name.
bool class_addMethod(Class cls, SEL name, IMP imp, const char* types);
// Sets the class's own implementation (adding the method when only a superclass has it);
// returns the previous own implementation, or null.
IMP class_replaceMethod(Class cls, SEL name, IMP imp, const char* types);
Method class_getInstanceMethod(Class cls, SEL name);  // along the superclass chain
IMP class_getMethodImplementation(Class cls, SEL name);
bool class_respondsToSelector(Class cls, SEL name);
// The class's own method (no superclass search), or null.
Method class_getOwnInstanceMethod(Class cls, SEL name);

// Instance variables may be added only between objc_allocateClassPair and objc_registerClassPair.
bool class_addIvar(Class cls, const char* name, std::size_t size, std::uint8_t log2Alignment,
                   const char* types);
Ivar class_getInstanceVariable(Class cls, const char* name);  // along the superclass chain
const char* ivar_getName(Ivar ivar);
const char* ivar_getTypeEncoding(Ivar ivar);
std::ptrdiff_t ivar_getOffset(Ivar ivar);  // from the object's address

SEL method_getName(Method method);
IMP method_getImplementation(Method method);
IMP method_setImplementation(Method method, IMP imp);  // returns the previous one
const char* method_getTypeEncoding(Method method);

// A new instance of `cls`, built by its nearest native class and carrying the run-time class's
// instance variables (zero). Null when that native class cannot be made without arguments.
id class_createInstance(Class cls, std::size_t extraBytes = 0);
Class object_getClass(const NSObject* object);
Class object_setClass(id object, Class cls);
const char* object_getClassName(const NSObject* object);
// Object-typed ("@") instance variables are strong: set retains the new value, releases the old.
id object_getIvar(id object, Ivar ivar);
void object_setIvar(id object, Ivar ivar, id value);

// ---- Native classes --------------------------------------------------------------------------

namespace objc {

using NativeConstructor = NSObject* (*)(void* place);
using MethodRegistrar = void (*)(Class cls);

// Registers a C++ class with the runtime under `name`; `construct` builds a default instance in
// place (null when there is none) and `registerMethods` adds the class's run-time methods.
Class registerNativeClass(const char* name, Class superclass, std::size_t size,
                          NativeConstructor construct, MethodRegistrar registerMethods);

template <class T>
NSObject* constructInPlace(void* place) {
  if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>) {
    return ::new (place) T();
  } else {
    (void)place;
    return nullptr;
  }
}

template <class T>
void registerMethodsOf(Class cls) {
  if constexpr (requires { T::registerMethods_(cls); }) T::registerMethods_(cls);
}

}  // namespace objc

// Inside a C++ class derived (directly or not) from NSObject: makes it a class of the runtime,
// named as the C++ type, below `Super`. A static `registerMethods_(Class)` adds run-time methods.
#define OBJC_NATIVE_CLASS(Type, Super)                                                          \
 public:                                                                                       \
  static Class class_() {                                                                       \
    static const Class cls =                                                                    \
        objc::registerNativeClass(#Type, Super::class_(), sizeof(Type),                         \
                                  &objc::constructInPlace<Type>, &objc::registerMethodsOf<Type>); \
    return cls;                                                                                 \
  }                                                                                             \
  Class nativeClass_() const override { return class_(); }                                      \
                                                                                                \
 private:                                                                                      \
  inline static const Class objcRegistration_ = class_();                                      \
                                                                                                \
 public:
