// The bootstrap server as files under run/bootstrap: one registration per name, holding the
// receiver's socket address, replaced by atomic rename.

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "Device/Device.h"
#include "PortSpace.h"
#include "SystemCalls.h"
#include "rocketbootstrap/rocketbootstrap.h"
#include "sandbox.h"
#include "servers/bootstrap.h"

using mach_internal::PortRight;
using mach_internal::PortSpace;
using mach_internal::UniqueFd;

namespace {

// Registration file name for a service name: the characters of reverse-DNS names as they are,
// everything else escaped, so no name can leave the folder.
bool registrationPath(const char* name, std::string* path) {
  if (name == nullptr || *name == '\0') return false;
  const std::string_view text(name);
  if (text.size() >= BOOTSTRAP_MAX_NAME_LEN) return false;
  std::string file;
  for (unsigned char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || (c == '.' && !file.empty());
    if (plain) {
      file += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02x", c);
      file += escaped;
    }
  }
  const auto folder = device::runSubdirectory("bootstrap");
  if (folder.empty()) return false;
  *path = (folder / file).string();
  return true;
}

bool readRegistration(const std::string& path, std::string* address) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  char buffer[mach_internal::kMaxAddressLength + 2];
  ssize_t length;
  do {
    length = ::read(fd.get(), buffer, sizeof buffer);
  } while (length < 0 && errno == EINTR);
  if (length <= 0 || static_cast<std::size_t>(length) > mach_internal::kMaxAddressLength)
    return false;
  address->assign(buffer, static_cast<std::size_t>(length));
  return address->find('\0') == std::string::npos;
}

}  // namespace

kern_return_t bootstrap_register(mach_port_t bootstrap, const char* name, mach_port_t port) {
  (void)bootstrap;
  std::string path;
  if (!registrationPath(name, &path)) return BOOTSTRAP_NOT_PRIVILEGED;
  std::string address;
  {
    auto& space = PortSpace::shared();
    std::lock_guard guard(space.lock);
    PortRight* right = space.find(port);
    if (right == nullptr || right->kind != PortRight::Kind::receive)
      return BOOTSTRAP_NOT_PRIVILEGED;
    address = right->address;
  }
  std::string current;
  if (readRegistration(path, &current) && current != address &&
      mach_internal::receiverAlive(current))
    return BOOTSTRAP_SERVICE_ACTIVE;

  const std::string temporary = path + ".tmp" + std::to_string(::getpid());
  UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!fd) return BOOTSTRAP_NO_MEMORY;
  const bool written = mach_internal::writeAll(fd.get(), address.data(), address.size());
  fd.reset();
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return BOOTSTRAP_NO_MEMORY;
  }
  return BOOTSTRAP_SUCCESS;
}

kern_return_t bootstrap_look_up(mach_port_t bootstrap, const char* name, mach_port_t* port) {
  (void)bootstrap;
  if (port == nullptr) return BOOTSTRAP_NOT_PRIVILEGED;
  std::string path, address;
  if (!registrationPath(name, &path)) return BOOTSTRAP_UNKNOWN_SERVICE;
  // A registration whose receiver is gone names no service: handing it out would make a client
  // loop between a dead send and a fresh look-up.
  if (!readRegistration(path, &address) || !mach_internal::receiverAlive(address))
    return BOOTSTRAP_UNKNOWN_SERVICE;
  auto& space = PortSpace::shared();
  std::lock_guard guard(space.lock);
  *port = space.insertSend(address);
  return BOOTSTRAP_SUCCESS;
}

kern_return_t rocketbootstrap_look_up(mach_port_t bootstrap, const char* name, mach_port_t* port) {
  return bootstrap_look_up(bootstrap, name, port);
}

kern_return_t rocketbootstrap_unlock(const char* name) {
  (void)name;
  return KERN_SUCCESS;
}

int sandbox_check(pid_t pid, const char* operation, int type, ...) {
  (void)pid;
  (void)operation;
  (void)type;
  return 0;
}
