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

mach_port_name_t PortTable::freshName() {
  mach_port_name_t name;
  do {
    name = nextName_;
    nextName_ += 4;
    if (nextName_ < 0x103) nextName_ = 0x103;
  } while (entries_.count(name));
  return name;
}

PortTable::Entries::node_type PortTable::takeSpareNode() {
  if (spareCount_ > 0) return std::move(spares_[--spareCount_]);
  Entries made;
  made.emplace(0, PortEntry{});
  return made.extract(made.begin());
}

mach_port_name_t PortTable::insert(PortEntry entry) {
  const mach_port_name_t name = freshName();
  Entries::node_type node = takeSpareNode();
  node.key() = name;
  node.mapped() = std::move(entry);
  entries_.insert(std::move(node));
  return name;
}

mach_port_name_t PortTable::addSendRight(std::string_view address, uint32_t generation) {
  for (auto& [name, entry] : entries_) {
    if (entry.address == address && (entry.receive || entry.sendReferences > 0)) {
      ++entry.sendReferences;
      return name;
    }
  }
  return insertRight(address, generation, false);
}

mach_port_name_t PortTable::addSendOnceRight(std::string_view address, uint32_t generation) {
  return insertRight(address, generation, true);
}

mach_port_name_t PortTable::insertRight(std::string_view address, uint32_t generation, bool once) {
  const mach_port_name_t name = freshName();
  Entries::node_type node = takeSpareNode();
  node.key() = name;
  PortEntry& entry = node.mapped();
  entry.address.assign(address);
  (once ? entry.sendOnceReferences : entry.sendReferences) = 1;
  entry.generation = generation;
  entries_.insert(std::move(node));
  return name;
}

void PortTable::eraseIfEmpty(mach_port_name_t name) {
  auto found = entries_.find(name);
  if (found == entries_.end() || !found->second.empty()) return;
  Entries::node_type node = entries_.extract(found);
  if (spareCount_ == spares_.size()) return;  // enough are kept; this one goes
  // Its sockets close now, as they did when entries were erased; its address keeps its room.
  std::string address = std::move(node.mapped().address);
  address.clear();
  node.mapped() = PortEntry{};
  node.mapped().address = std::move(address);
  spares_[spareCount_++] = std::move(node);
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
