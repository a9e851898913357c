#pragma once
// Where ports live: the device's run/ports, reached through a descriptor of run/ so that socket
// addresses stay short however deep the device directory is.

#include <sys/socket.h>
#include <sys/un.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace mach_stand_in {

// A descriptor of the current device's run directory (re-opened when the device changes);
// -1 when no device is configured.
int runDirectoryDescriptor();
// Which opening of the run directory is current: it changes with the device; 0 when none.
uint64_t runDirectoryEpoch();

// The socket address of `relative` (for example "ports/123-4") inside the run directory.
// False when the run directory is unavailable or the name does not fit.
bool socketAddressFor(std::string_view relative, sockaddr_un& address, socklen_t& length);

// Absolute path of `relative` inside the run directory.
std::string runPath(std::string_view relative);

}  // namespace mach_stand_in
