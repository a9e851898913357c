#pragma once
// This process's port names and the out-of-line bodies mapped into it.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "UniqueFd.h"
#include "mach/mach.h"

namespace mach_internal {

struct PortRight {
  enum class Kind { receive, send, sendOnce };
  Kind kind;
  std::string address;  // the receiver's socket path
  UniqueFd socket;      // receive rights only
  uint32_t sendReferences = 0;
};

class PortSpace {
 public:
  static PortSpace& shared();

  std::mutex lock;
  std::unordered_map<mach_port_name_t, PortRight> rights;
  std::map<uintptr_t, std::size_t> mappings;  // address → length of received bodies
  uint64_t dropped = 0;

  // A fresh name for `right` (call with the lock held).
  mach_port_name_t insert(PortRight right);
  // A send right to `address`, shared with an existing one (call with the lock held).
  mach_port_name_t insertSend(const std::string& address);
  PortRight* find(mach_port_name_t name);

 private:
  mach_port_name_t next_ = 0x103;
};

// The process's socket for sending, unbound.
int senderSocket();

// True when a receiver is bound at `address`.
bool receiverAlive(const std::string& address);

// Length limit of a socket address (sun_path less its terminating zero).
inline constexpr std::size_t kMaxAddressLength = 107;

}  // namespace mach_internal
