#pragma once
// The bootstrap server: names registered by one process of the device, looked up by others.
// A registration is a file under the device's run/bootstrap, written by atomic rename.

#include <mach/mach.h>

inline constexpr kern_return_t BOOTSTRAP_SUCCESS = 0;
inline constexpr kern_return_t BOOTSTRAP_NOT_PRIVILEGED = 1100;
inline constexpr kern_return_t BOOTSTRAP_NAME_IN_USE = 1101;
inline constexpr kern_return_t BOOTSTRAP_UNKNOWN_SERVICE = 1102;
inline constexpr kern_return_t BOOTSTRAP_SERVICE_ACTIVE = 1103;
inline constexpr kern_return_t BOOTSTRAP_BAD_COUNT = 1104;
inline constexpr kern_return_t BOOTSTRAP_NO_MEMORY = 1105;

inline constexpr std::size_t BOOTSTRAP_MAX_NAME_LEN = 128;

// Registers `port` (a receive right of this process) under `name`. A name whose registered
// receiver still runs is BOOTSTRAP_SERVICE_ACTIVE; one whose receiver is gone is taken over.
kern_return_t bootstrap_register(mach_port_t bootstrap, const char* name, mach_port_t port);
// A send right to the receiver registered under `name`; BOOTSTRAP_UNKNOWN_SERVICE when there is
// none or its receiver is gone. Nothing is sent.
kern_return_t bootstrap_look_up(mach_port_t bootstrap, const char* name, mach_port_t* port);
