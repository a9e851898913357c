#include "PortSpace.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

namespace mach_internal {

PortSpace& PortSpace::shared() {
  static PortSpace* space = new PortSpace();  // outlives every static that may still send
  return *space;
}

mach_port_name_t PortSpace::insert(PortRight right) {
  mach_port_name_t name;
  do {
    name = next_;
    next_ += 4;
    if (next_ < 0x103) next_ = 0x103;
  } while (rights.count(name) != 0);
  rights.emplace(name, std::move(right));
  return name;
}

mach_port_name_t PortSpace::insertSend(const std::string& address) {
  for (auto& [name, right] : rights)
    if (right.kind == PortRight::Kind::send && right.address == address) {
      ++right.sendReferences;
      return name;
    }
  return insert(PortRight{PortRight::Kind::send, address, UniqueFd(), 1});
}

PortRight* PortSpace::find(mach_port_name_t name) {
  auto found = rights.find(name);
  return found == rights.end() ? nullptr : &found->second;
}

int senderSocket() {
  static const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  return fd;
}

bool receiverAlive(const std::string& address) {
  if (address.empty() || address.size() > kMaxAddressLength) return false;
  UniqueFd probe(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!probe) return false;
  sockaddr_un target{};
  target.sun_family = AF_UNIX;
  std::memcpy(target.sun_path, address.data(), address.size());
  return ::connect(probe.get(), reinterpret_cast<sockaddr*>(&target), sizeof target) == 0;
}

}  // namespace mach_internal
