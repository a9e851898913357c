#pragma once
// Receive sockets of reply ports that were destroyed, kept bound for the next mach_port_allocate:
// an exchange then makes no socket and binds and unlinks no name. Each is handed out again with
// a new generation, so what was sent to its earlier life is known as stale and dropped (with the
// chunk it carries handed back) when the receive comes to it.

#include <cstdint>
#include <memory>
#include <string>

#include "UniqueDescriptor.h"

namespace mach_stand_in {

struct SpareReceivePort {
  std::shared_ptr<UniqueDescriptor> socket;
  std::string address;
  uint32_t generation = 0;
  uint64_t runEpoch = 0;  // see runDirectoryEpoch
};

// A kept socket of the current device, its generation advanced; false when none is kept.
bool takeSpareReceivePort(SpareReceivePort& port);
// Keeps the socket of a destroyed receive right; false when enough are kept, with `port` left as
// it was (the caller then closes it and removes its name).
bool keepSpareReceivePort(SpareReceivePort&& port);

}  // namespace mach_stand_in
