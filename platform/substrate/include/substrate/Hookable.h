#pragma once
// Hookable functions of the stand-in libraries.
//
// A stand-in library that lets the hooking runtime replace one of its exported C functions calls
// the function's body through an entry slot instead of directly. MSHookFunction finds the slot by
// the function's own symbol name (the slot is exported as MSHookableEntry_<name> from the same
// library) and swaps it atomically, so a replacement takes effect for every later call, on any
// thread, without a lock; the previous entry is handed back to run the function as before.
//
// In the stand-in library's source (one per function):
//
//   #include <substrate/Hookable.h>
//
//   static OSStatus renderUnit(AudioUnit unit, ...) { ... the real work ... }
//   MS_HOOKABLE_FUNCTION(AudioUnitRender, renderUnit);
//
//   extern "C" OSStatus AudioUnitRender(AudioUnit unit, ...) {
//     return MS_HOOKABLE_ENTRY(AudioUnitRender, renderUnit)(unit, ...);
//   }
//
// The library needs only the include path (CMake target `substrate_hookable`), not the runtime.

#include <atomic>

// The slot the runtime swaps: the current entry of the function.
struct MSHookableSlot {
  std::atomic<void*> entry;
};

#define MS_HOOKABLE_SLOT_NAME(name) MSHookableEntry_##name

// Defines the exported entry slot of `name`, first holding `body`.
#define MS_HOOKABLE_FUNCTION(name, body)                                      \
  extern "C" {                                                                \
  __attribute__((visibility("default")))                                      \
  MSHookableSlot MS_HOOKABLE_SLOT_NAME(name){reinterpret_cast<void*>(&body)}; \
  }

// The current entry of `name`, typed as `body`; call it with the function's arguments.
#define MS_HOOKABLE_ENTRY(name, body) \
  reinterpret_cast<decltype(&body)>(  \
      MS_HOOKABLE_SLOT_NAME(name).entry.load(std::memory_order_acquire))

// The prefix of the slot's symbol, for the runtime's look-up.
inline constexpr const char* kMSHookableSlotPrefix = "MSHookableEntry_";
