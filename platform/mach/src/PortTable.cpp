#include "PortTable.h"

#include <sys/stat.h>

namespace mach_stand_in {

PortTable& PortTable::shared() {
  static PortTable* table = new PortTable;  // lives as long as the process: ports may outlive main
  return *table;
}

PortEntry* PortTable::find(mach_port_name_t name) {
  auto found = entries_.find(name);
  return found == entries_.end() ? nullptr : &found->second;
}

mach_port_name_t PortTable::insert(PortEntry entry) {
  mach_port_name_t name;
  do {
    name = nextName_;
    nextName_ += 4;
    if (nextName_ < 0x103) nextName_ = 0x103;
  } while (entries_.count(name));
  entries_.emplace(name, std::move(entry));
  return name;
}

mach_port_name_t PortTable::addSendRight(const std::string& address, uint32_t generation) {
  for (auto& [name, entry] : entries_) {
    if (entry.address == address && (entry.receive || entry.sendReferences > 0)) {
      ++entry.sendReferences;
      return name;
    }
  }
  PortEntry entry;
  entry.address = address;
  entry.sendReferences = 1;
  entry.generation = generation;
  return insert(std::move(entry));
}

mach_port_name_t PortTable::addSendOnceRight(const std::string& address, uint32_t generation) {
  PortEntry entry;
  entry.address = address;
  entry.sendOnceReferences = 1;
  entry.generation = generation;
  return insert(std::move(entry));
}

void PortTable::eraseIfEmpty(mach_port_name_t name) {
  auto found = entries_.find(name);
  if (found != entries_.end() && found->second.empty()) entries_.erase(found);
}

std::shared_ptr<UniqueDescriptor> PortTable::replyConnection(const std::string& address) const {
  return replySocket_ && replyAddress_ == address ? replySocket_ : nullptr;
}

void PortTable::keepReplyConnection(const std::string& address,
                                    std::shared_ptr<UniqueDescriptor> socket) {
  replyAddress_ = address;
  replySocket_ = std::move(socket);
}

void PortTable::forgetReplyConnection(const std::shared_ptr<UniqueDescriptor>& socket) {
  if (replySocket_ == socket) replySocket_.reset();
}

}  // namespace mach_stand_in
