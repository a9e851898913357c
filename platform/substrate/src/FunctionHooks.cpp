// Function hooks swap the entry slot that a stand-in library exports beside each hookable
// function (substrate/Hookable.h); the slot is found through the function's own symbol name.

#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "substrate.h"
#include "substrate/Hookable.h"

void MSHookFunction(void* symbol, void* replace, void** result) {
  if (result != nullptr) *result = nullptr;
  if (symbol == nullptr || replace == nullptr) return;
  Dl_info where{};
  if (::dladdr(symbol, &where) == 0 || where.dli_sname == nullptr || where.dli_saddr != symbol) {
    std::fprintf(stderr, "substrate: %p is not an exported function; nothing hooked\n", symbol);
    return;
  }
  void* library = ::dlopen(where.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  const std::string slotName = std::string(kMSHookableSlotPrefix) + where.dli_sname;
  auto* slot = library ? static_cast<MSHookableSlot*>(::dlsym(library, slotName.c_str())) : nullptr;
  if (slot == nullptr) {
    std::fprintf(stderr, "substrate: %s is not hookable; nothing hooked\n", where.dli_sname);
    return;
  }
  // The previous entry must be in the caller's slot before any call can reach the replacement.
  void* previous = slot->entry.load(std::memory_order_acquire);
  if (result != nullptr) *result = previous;
  while (!slot->entry.compare_exchange_weak(previous, replace, std::memory_order_acq_rel)) {
    if (result != nullptr) *result = previous;
  }
}
