#pragma once
// Look-ups across the sandbox. On this device there is no sandbox between processes, so these are
// the bootstrap server's own operations; unlocking a name always succeeds.

#include <servers/bootstrap.h>

kern_return_t rocketbootstrap_look_up(mach_port_t bootstrap, const char* name, mach_port_t* port);
kern_return_t rocketbootstrap_unlock(const char* name);
