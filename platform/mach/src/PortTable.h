#pragma once
// This process's port names and the rights they hold.

#include <mach/mach.h>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "UniqueDescriptor.h"

namespace mach_stand_in {

struct PortEntry {
  bool receive = false;
  uint32_t sendReferences = 0;
  uint32_t sendOnceReferences = 0;
  std::string address;                              // inside the run directory, e.g. "ports/812-3"
  std::shared_ptr<UniqueDescriptor> receiveSocket;  // bound socket of a receive right
  std::shared_ptr<UniqueDescriptor> sendSocket;     // connected socket, made at the first send
  bool empty() const { return !receive && sendReferences == 0 && sendOnceReferences == 0; }
};

class PortTable {
 public:
  static PortTable& shared();

  std::mutex& mutex() { return mutex_; }
  // With the mutex held:
  PortEntry* find(mach_port_name_t name);
  mach_port_name_t insert(PortEntry entry);
  // A send right to `address`: the existing name holding one (one more reference), or a new one.
  mach_port_name_t addSendRight(const std::string& address);
  mach_port_name_t addSendOnceRight(const std::string& address);
  void eraseIfEmpty(mach_port_name_t name);
  size_t size() const { return entries_.size(); }

 private:
  std::mutex mutex_;
  std::unordered_map<mach_port_name_t, PortEntry> entries_;
  mach_port_name_t nextName_ = 0x103;
};

}  // namespace mach_stand_in
