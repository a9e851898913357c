// Service names: one file per name under run/bootstrap holding the port's socket name, written
// to a temporary file and renamed over, so a reader never sees half a registration. Who may
// write it is decided by a lock beside it, held for the life of the registrant: a second process
// cannot take a live service's name, however close together the two register.

#include <rocketbootstrap/rocketbootstrap.h>
#include <sandbox.h>
#include <servers/bootstrap.h>

#include <Device/Device.h>
#include <Device/DeviceFiles.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "PortCleanup.h"
#include "PortTable.h"
#include "RunDirectory.h"

namespace {

constexpr size_t kLongestServiceName = 127;
constexpr size_t kLongestAddress = 64;

bool acceptableServiceName(const char* name) {
  if (!name) return false;
  size_t length = strnlen(name, kLongestServiceName + 1);
  if (length == 0 || length > kLongestServiceName) return false;
  if (name[0] == '.') return false;  // also keeps "." and ".." and the temporary files out
  return std::strchr(name, '/') == nullptr;
}

bool acceptableAddress(const std::string& address) {
  return address.size() > 6 && address.size() <= kLongestAddress &&
         address.compare(0, 6, "ports/") == 0 && address.find('/', 6) == std::string::npos;
}

std::optional<std::string> readRegistration(int directory, const std::string& path) {
  int fd = openat(directory, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  char buffer[kLongestAddress + 1];
  ssize_t length;
  do {
    length = read(fd, buffer, sizeof buffer);
  } while (length < 0 && errno == EINTR);
  close(fd);
  if (length <= 0 || static_cast<size_t>(length) > kLongestAddress) return std::nullopt;
  std::string address(buffer, static_cast<size_t>(length));
  if (!acceptableAddress(address)) return std::nullopt;
  return address;
}

// Takes the name's lock, or finds this process already holds it; the lock is never given up, so
// the kernel releases it only when the process ends.
bool holdNameLock(const std::string& name) {
  static std::mutex mutex;
  static std::map<std::filesystem::path, int> held;
  const std::filesystem::path bootstrap = device::runSubdirectory("bootstrap");
  if (bootstrap.empty()) return false;
  const std::filesystem::path lockFile = bootstrap / std::string(".").append(name).append(".lock");
  std::lock_guard guard(mutex);
  if (held.count(lockFile)) return true;
  const int fd = device::openInDevice(lockFile, O_RDWR | O_CREAT);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  held.emplace(lockFile, fd);
  return true;
}

}  // namespace

kern_return_t bootstrap_register(mach_port_t, const char* service_name, mach_port_t service_port) {
  if (!acceptableServiceName(service_name)) return BOOTSTRAP_NOT_PRIVILEGED;
  std::string address;
  {
    auto& table = mach_stand_in::PortTable::shared();
    std::lock_guard lock(table.mutex());
    auto* entry = table.find(service_port);
    if (!entry || (!entry->receive && entry->sendReferences == 0)) return KERN_INVALID_RIGHT;
    address = entry->address;
    entry->exposed = true;
  }
  int directory = mach_stand_in::runDirectoryDescriptor();
  if (directory < 0) return BOOTSTRAP_NO_MEMORY;
  if (!holdNameLock(service_name)) return BOOTSTRAP_SERVICE_ACTIVE;
  std::string path = std::string("bootstrap/") + service_name;
  if (auto existing = readRegistration(directory, path);
      existing && *existing != address && mach_stand_in::portIsAlive(*existing))
    return BOOTSTRAP_SERVICE_ACTIVE;
  if (!device::replaceFile(device::runSubdirectory("bootstrap") / service_name, address))
    return BOOTSTRAP_NO_MEMORY;
  return BOOTSTRAP_SUCCESS;
}

kern_return_t bootstrap_look_up(mach_port_t, const char* service_name, mach_port_t* service_port) {
  if (!service_port) return KERN_INVALID_ARGUMENT;
  if (!acceptableServiceName(service_name)) return BOOTSTRAP_UNKNOWN_SERVICE;
  int directory = mach_stand_in::runDirectoryDescriptor();
  if (directory < 0) return BOOTSTRAP_UNKNOWN_SERVICE;
  auto address = readRegistration(directory, std::string("bootstrap/") + service_name);
  // A registration whose process has gone is no service: otherwise a client would look up and
  // find a dead port forever.
  if (!address || !mach_stand_in::portIsAlive(*address)) return BOOTSTRAP_UNKNOWN_SERVICE;
  auto& table = mach_stand_in::PortTable::shared();
  std::lock_guard lock(table.mutex());
  *service_port = table.addSendRight(*address, 0);
  return BOOTSTRAP_SUCCESS;
}

kern_return_t rocketbootstrap_look_up(mach_port_t bp, const char* service_name,
                                      mach_port_t* service_port) {
  return bootstrap_look_up(bp, service_name, service_port);
}

kern_return_t rocketbootstrap_unlock(const char*) {
  return KERN_SUCCESS;
}

extern "C" int sandbox_check(pid_t, const char*, int, ...) {
  return 0;
}
