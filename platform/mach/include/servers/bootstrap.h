#pragma once
// The bootstrap server: service names registered by one process and looked up by others, kept as
// files under the device's run/bootstrap (each written by atomic rename).

#include <mach/mach.h>

using name_t = char[128];

inline constexpr kern_return_t BOOTSTRAP_SUCCESS = 0;
inline constexpr kern_return_t BOOTSTRAP_NOT_PRIVILEGED = 1100;
inline constexpr kern_return_t BOOTSTRAP_NAME_IN_USE = 1101;
inline constexpr kern_return_t BOOTSTRAP_UNKNOWN_SERVICE = 1102;
inline constexpr kern_return_t BOOTSTRAP_SERVICE_ACTIVE = 1103;
inline constexpr kern_return_t BOOTSTRAP_BAD_COUNT = 1104;
inline constexpr kern_return_t BOOTSTRAP_NO_MEMORY = 1105;

// Registers `service_name` for the receive right `service_port` of this process. A name whose
// registered port is still alive elsewhere gives BOOTSTRAP_SERVICE_ACTIVE; a stale one is replaced.
kern_return_t bootstrap_register(mach_port_t bp, const char* service_name,
                                 mach_port_t service_port);
// A send right to the port registered under `service_name`; BOOTSTRAP_UNKNOWN_SERVICE when none.
kern_return_t bootstrap_look_up(mach_port_t bp, const char* service_name,
                                mach_port_t* service_port);
