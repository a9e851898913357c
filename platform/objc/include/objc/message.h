#pragma once
// Typed message sending. The call's types are encoded as the platform encodes them and compared
// with the method's own type encoding before the implementation is called, so a mismatch is a
// clear error instead of a call through the wrong signature. A message to no object does nothing
// and returns zero.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

#include "objc/runtime.h"

namespace objc {

// Type encodings. Structs are encoded by specialising Encoding<T> with a `value` string.
template <class T, class = void>
struct Encoding;

template <> struct Encoding<void> { static constexpr const char* value = "v"; };
template <> struct Encoding<bool> { static constexpr const char* value = "B"; };
template <> struct Encoding<char> { static constexpr const char* value = "c"; };
template <> struct Encoding<signed char> { static constexpr const char* value = "c"; };
template <> struct Encoding<unsigned char> { static constexpr const char* value = "C"; };
template <> struct Encoding<short> { static constexpr const char* value = "s"; };
template <> struct Encoding<unsigned short> { static constexpr const char* value = "S"; };
template <> struct Encoding<int> { static constexpr const char* value = "i"; };
template <> struct Encoding<unsigned int> { static constexpr const char* value = "I"; };
template <> struct Encoding<long> { static constexpr const char* value = "q"; };
template <> struct Encoding<unsigned long> { static constexpr const char* value = "Q"; };
template <> struct Encoding<long long> { static constexpr const char* value = "q"; };
template <> struct Encoding<unsigned long long> { static constexpr const char* value = "Q"; };
template <> struct Encoding<float> { static constexpr const char* value = "f"; };
template <> struct Encoding<double> { static constexpr const char* value = "d"; };
template <> struct Encoding<SEL> { static constexpr const char* value = ":"; };
template <> struct Encoding<Class> { static constexpr const char* value = "#"; };
template <> struct Encoding<const char*> { static constexpr const char* value = "*"; };
template <> struct Encoding<std::nullptr_t> { static constexpr const char* value = "@"; };
template <class T>
struct Encoding<T*, std::enable_if_t<std::is_base_of_v<NSObject, std::remove_cv_t<T>>>> {
  static constexpr const char* value = "@";
};
template <class T>
struct Encoding<T*, std::enable_if_t<!std::is_base_of_v<NSObject, std::remove_cv_t<T>> &&
                                     !std::is_same_v<std::remove_cv_t<T>, char> &&
                                     !std::is_same_v<std::remove_cv_t<T>, objc_selector> &&
                                     !std::is_same_v<std::remove_cv_t<T>, objc_class>>> {
  static constexpr const char* value = "^v";
};

template <class R, class... A>
std::string encodeMethod() {
  std::string types = Encoding<std::decay_t<R>>::value;
  types += "@:";
  ((types += Encoding<std::decay_t<A>>::value), ...);
  return types;
}

// Object pointers travel as `id`; everything else as it is.
template <class T>
using Wire = std::conditional_t<
    std::is_pointer_v<std::decay_t<T>> &&
        std::is_base_of_v<NSObject, std::remove_cv_t<std::remove_pointer_t<std::decay_t<T>>>>,
    id, std::conditional_t<std::is_same_v<std::decay_t<T>, std::nullptr_t>, id, std::decay_t<T>>>;

// True when two type encodings name the same types (frame offsets and qualifiers aside).
bool typeEncodingsMatch(const char* methodTypes, const std::string& callTypes);

enum class SendStatus { sent, nilReceiver, unrecognizedSelector, typeMismatch };

// Reports a failed send and ends the process, as the platform does for an unrecognised selector.
[[noreturn]] void reportSendFailure(id receiver, SEL selector, SendStatus status,
                                    const std::string& callTypes);

// Finds the implementation for a send of `selector` with `callTypes`, or says why there is none.
SendStatus lookUpForSend(id receiver, SEL selector, const std::string& callTypes, IMP* imp);

template <class R, class... A>
R zeroOf() {
  if constexpr (std::is_void_v<R>) {
    return;
  } else {
    return R{};
  }
}

// Sends `selector` with `args` and returns the method's result; a failed lookup or a type
// mismatch is reported and ends the process. Use trySend where a failure is an answer.
template <class R, class... A>
R send(id receiver, SEL selector, A... args) {
  if (receiver == nullptr) return zeroOf<R>();
  static const std::string types = encodeMethod<R, A...>();  // built once per signature
  IMP imp = nullptr;
  const SendStatus status = lookUpForSend(receiver, selector, types, &imp);
  if (status != SendStatus::sent) reportSendFailure(receiver, selector, status, types);
  using Fn = Wire<R> (*)(id, SEL, Wire<A>...);
  if constexpr (std::is_void_v<R>) {
    reinterpret_cast<Fn>(imp)(receiver, selector, static_cast<Wire<A>>(args)...);
  } else if constexpr (std::is_same_v<Wire<R>, id> && !std::is_same_v<R, id>) {
    return dynamic_cast<R>(reinterpret_cast<Fn>(imp)(receiver, selector,
                                                     static_cast<Wire<A>>(args)...));
  } else {
    return reinterpret_cast<Fn>(imp)(receiver, selector, static_cast<Wire<A>>(args)...);
  }
}

// As send, but a failure comes back as the status (and `result`, when given, is left alone).
template <class R, class... A>
SendStatus trySend(std::conditional_t<std::is_void_v<R>, std::nullptr_t, R*> result, id receiver,
                   SEL selector, A... args) {
  if (receiver == nullptr) return SendStatus::nilReceiver;
  static const std::string types = encodeMethod<R, A...>();  // built once per signature
  IMP imp = nullptr;
  const SendStatus status = lookUpForSend(receiver, selector, types, &imp);
  if (status != SendStatus::sent) return status;
  if constexpr (std::is_void_v<R>) {
    (void)result;
    send<void, A...>(receiver, selector, args...);
  } else {
    R value = send<R, A...>(receiver, selector, args...);
    if (result != nullptr) *result = value;
  }
  return SendStatus::sent;
}

// The type encoding of an implementation function `R fn(id, SEL, A...)`.
template <class R, class... A>
std::string encodingOf(R (*)(id, SEL, A...)) {
  return encodeMethod<R, A...>();
}

// Adds `fn` as the method `selector` of `cls`, with the type encoding of its signature.
template <class R, class... A>
bool addMethod(Class cls, const char* selector, R (*fn)(id, SEL, A...)) {
  return class_addMethod(cls, sel_registerName(selector), reinterpret_cast<IMP>(fn),
                         encodeMethod<R, A...>().c_str());
}

}  // namespace objc

// The platform's spelling: msgSend<void>(object, "viewDidAppear:", true).
template <class R, class... A>
R msgSend(id receiver, const char* selector, A... args) {
  return objc::send<R, A...>(receiver, sel_registerName(selector), args...);
}
template <class R, class... A>
R msgSend(id receiver, SEL selector, A... args) {
  return objc::send<R, A...>(receiver, selector, args...);
}
