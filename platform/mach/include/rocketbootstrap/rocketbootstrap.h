#pragma once
// Look-ups across the sandbox. This device has no sandbox: they are the bootstrap server's own.

#include <servers/bootstrap.h>

kern_return_t rocketbootstrap_look_up(mach_port_t bp, const char* service_name,
                                      mach_port_t* service_port);
kern_return_t rocketbootstrap_unlock(const char* service_name);
