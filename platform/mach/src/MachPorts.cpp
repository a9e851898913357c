// Port rights: allocation, references, the bootstrap special port and out-of-line mappings.

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>

#include "Device/Device.h"
#include "PortSpace.h"
#include "mach/mach.h"

using mach_internal::PortRight;
using mach_internal::PortSpace;
using mach_internal::UniqueFd;

namespace {

constexpr mach_port_t kTaskSelf = 0x203;
constexpr mach_port_t kBootstrapPort = 0x207;

// A socket bound to a fresh address under run/ports, readable by this user only.
kern_return_t makeReceiveSocket(std::string* address, UniqueFd* socket) {
  const auto ports = device::runSubdirectory("ports");
  if (ports.empty()) return KERN_RESOURCE_SHORTAGE;
  static std::atomic<uint32_t> counter{0};
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const std::string path =
      (ports / ("p" + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1)) +
                "." + std::to_string(now.tv_nsec % 1000000)))
          .string();
  if (path.size() > mach_internal::kMaxAddressLength) return KERN_RESOURCE_SHORTAGE;
  UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return KERN_RESOURCE_SHORTAGE;
  sockaddr_un local{};
  local.sun_family = AF_UNIX;
  std::memcpy(local.sun_path, path.data(), path.size());
  ::unlink(path.c_str());
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
    return KERN_RESOURCE_SHORTAGE;
  const int on = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
  const int buffer = 4 << 20;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  *address = path;
  *socket = std::move(fd);
  return KERN_SUCCESS;
}

}  // namespace

mach_port_t mach_task_self() {
  return kTaskSelf;
}

kern_return_t task_get_special_port(task_t task, int which, mach_port_t* port) {
  if (task != kTaskSelf || port == nullptr) return KERN_INVALID_ARGUMENT;
  if (which != TASK_BOOTSTRAP_PORT) return KERN_INVALID_ARGUMENT;
  *port = kBootstrapPort;
  return KERN_SUCCESS;
}

kern_return_t mach_port_allocate(ipc_space_t task, mach_port_right_t right,
                                 mach_port_name_t* name) {
  if (task != kTaskSelf || name == nullptr) return KERN_INVALID_ARGUMENT;
  if (right != MACH_PORT_RIGHT_RECEIVE) return KERN_INVALID_VALUE;
  std::string address;
  UniqueFd socket;
  const kern_return_t status = makeReceiveSocket(&address, &socket);
  if (status != KERN_SUCCESS) return status;
  auto& space = PortSpace::shared();
  std::lock_guard guard(space.lock);
  *name = space.insert(PortRight{PortRight::Kind::receive, address, std::move(socket), 0});
  return KERN_SUCCESS;
}

kern_return_t mach_port_mod_refs(ipc_space_t task, mach_port_name_t name, mach_port_right_t right,
                                 mach_port_delta_t delta) {
  if (task != kTaskSelf) return KERN_INVALID_ARGUMENT;
  auto& space = PortSpace::shared();
  std::lock_guard guard(space.lock);
  PortRight* entry = space.find(name);
  if (entry == nullptr) return KERN_INVALID_NAME;
  if (delta == 0) return KERN_SUCCESS;
  switch (right) {
    case MACH_PORT_RIGHT_RECEIVE:
      if (entry->kind != PortRight::Kind::receive) return KERN_INVALID_RIGHT;
      if (delta != -1) return KERN_INVALID_VALUE;
      ::unlink(entry->address.c_str());
      space.rights.erase(name);
      return KERN_SUCCESS;
    case MACH_PORT_RIGHT_SEND_ONCE:
      if (entry->kind != PortRight::Kind::sendOnce) return KERN_INVALID_RIGHT;
      if (delta != -1) return KERN_INVALID_VALUE;
      space.rights.erase(name);
      return KERN_SUCCESS;
    case MACH_PORT_RIGHT_SEND:
      if (entry->kind != PortRight::Kind::send) return KERN_INVALID_RIGHT;
      if (delta > 0) {
        entry->sendReferences += static_cast<uint32_t>(delta);
        return KERN_SUCCESS;
      }
      if (static_cast<uint32_t>(-delta) > entry->sendReferences) return KERN_INVALID_VALUE;
      entry->sendReferences -= static_cast<uint32_t>(-delta);
      if (entry->sendReferences == 0) space.rights.erase(name);
      return KERN_SUCCESS;
    default:
      return KERN_INVALID_VALUE;
  }
}

kern_return_t mach_port_deallocate(ipc_space_t task, mach_port_name_t name) {
  if (task != kTaskSelf) return KERN_INVALID_ARGUMENT;
  auto& space = PortSpace::shared();
  std::lock_guard guard(space.lock);
  PortRight* entry = space.find(name);
  if (entry == nullptr) return KERN_INVALID_NAME;
  if (entry->kind == PortRight::Kind::receive) return KERN_INVALID_RIGHT;
  if (entry->kind == PortRight::Kind::sendOnce || --entry->sendReferences == 0)
    space.rights.erase(name);
  return KERN_SUCCESS;
}

kern_return_t mach_port_insert_right(ipc_space_t task, mach_port_name_t name, mach_port_t right,
                                     mach_msg_type_name_t disposition) {
  if (task != kTaskSelf || name != right || disposition != MACH_MSG_TYPE_MAKE_SEND)
    return KERN_INVALID_VALUE;
  auto& space = PortSpace::shared();
  std::lock_guard guard(space.lock);
  PortRight* entry = space.find(name);
  if (entry == nullptr) return KERN_INVALID_NAME;
  if (entry->kind != PortRight::Kind::receive) return KERN_INVALID_RIGHT;
  ++entry->sendReferences;  // a receive right doubles as a send right to itself
  return KERN_SUCCESS;
}

kern_return_t vm_deallocate(mach_port_t task, vm_address_t address, vm_size_t size) {
  if (task != kTaskSelf) return KERN_INVALID_ARGUMENT;
  if (address == 0 && size == 0) return KERN_SUCCESS;
  auto& space = PortSpace::shared();
  std::lock_guard guard(space.lock);
  // Only bodies that this stand-in mapped are ever unmapped: an address from a message is
  // never trusted to name anything else.
  auto found = space.mappings.find(address);
  if (found == space.mappings.end()) return KERN_INVALID_ADDRESS;
  ::munmap(reinterpret_cast<void*>(address), found->second);
  space.mappings.erase(found);
  return KERN_SUCCESS;
}

int mach_port_get_descriptor(mach_port_name_t name) {
  auto& space = PortSpace::shared();
  std::lock_guard guard(space.lock);
  PortRight* entry = space.find(name);
  if (entry == nullptr || entry->kind != PortRight::Kind::receive) return -1;
  return entry->socket.get();
}

mach_port_statistics_t mach_port_get_statistics() {
  auto& space = PortSpace::shared();
  std::lock_guard guard(space.lock);
  return {space.dropped, space.mappings.size(), space.rights.size()};
}
