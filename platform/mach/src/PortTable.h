#pragma once
// This process's port names and the rights they hold.

#include <mach/mach.h>

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
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
  // A receive right's generation, or the one a send(-once) right was made for (0: unknown).
  uint32_t generation = 0;
  // A receive right whose address went out other than in send-once rights (a send right, a
  // registration): it is never handed out again as a spare.
  bool exposed = false;
  uint64_t runEpoch = 0;  // the opening of the run directory a receive right is bound in
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
  mach_port_name_t addSendRight(std::string_view address, uint32_t generation);
  mach_port_name_t addSendOnceRight(std::string_view address, uint32_t generation);
  void eraseIfEmpty(mach_port_name_t name);
  size_t size() const { return entries_.size(); }

  // The socket connected to the port the last send-once message went to, kept for the next one:
  // a client's reply port serves exchange after exchange. One only, so that the clients that
  // come and go never add up to descriptors held.
  std::shared_ptr<UniqueDescriptor> replyConnection(const std::string& address) const;
  void keepReplyConnection(const std::string& address, std::shared_ptr<UniqueDescriptor> socket);
  void forgetReplyConnection(const std::shared_ptr<UniqueDescriptor>& socket);

 private:
  using Entries = std::unordered_map<mach_port_name_t, PortEntry>;
  // A name, unused, and a node for its entry: one of the last entries' that went, reused with its
  // address's room, so that the rights each exchange makes and gives up allocate nothing.
  mach_port_name_t freshName();
  Entries::node_type takeSpareNode();
  // A new name holding one send (or send-once) right to `address`.
  mach_port_name_t insertRight(std::string_view address, uint32_t generation, bool once);

  std::mutex mutex_;
  Entries entries_;
  // A client's reply port and a service's reply right live at once in a process that is both.
  std::array<Entries::node_type, 4> spares_;
  size_t spareCount_ = 0;
  mach_port_name_t nextName_ = 0x103;
  std::string replyAddress_;
  std::shared_ptr<UniqueDescriptor> replySocket_;
};

}  // namespace mach_stand_in
