#pragma once
// What becomes of rights and sockets that are given up: a destroyed send-once right tells its
// port, and a socket whose receiver has gone is removed by whoever finds it.

#include <cstdint>
#include <string>

#include "UniqueDescriptor.h"

namespace mach_stand_in {

// A datagram socket connected to the port at `address`; invalid, with errno set, when that fails.
// A port found dead (ECONNREFUSED) has its socket removed on the way.
UniqueDescriptor connectTo(const std::string& address);

// Whether a receiver still holds the socket at `address` (a dead one is removed on the way).
bool portIsAlive(const std::string& address);

// Sends the send-once notification to the port at `address` in its `generation`, without
// waiting: the message its receiver gets in place of a reply when the send-once right is
// destroyed unused.
void notifySendOnceDestroyed(const std::string& address, uint32_t generation);

// Removes the socket at `address` (inside the run directory) once a send has found it dead.
void removeDeadSocket(const std::string& address);

}  // namespace mach_stand_in
