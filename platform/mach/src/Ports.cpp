// Port rights: allocation, references, the bootstrap port and out-of-line memory release.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "BodyChunks.h"
#include "PortCleanup.h"
#include "PortTable.h"
#include "RunDirectory.h"
#include "SpareReceivePorts.h"

namespace {

constexpr mach_port_t kTaskSelf = 0x203;
constexpr mach_port_t kBootstrapPort = 0x307;

std::string freshPortAddress() {
  static std::atomic<uint32_t> counter{0};
  uint32_t salt = 0;
  if (getrandom(&salt, sizeof salt, GRND_NONBLOCK) != sizeof salt) salt = 0;
  char name[64];
  std::snprintf(name, sizeof name, "ports/%d-%u-%08x", getpid(), ++counter, salt);
  return name;
}

}  // namespace

mach_port_t mach_task_self() {
  return kTaskSelf;
}

kern_return_t mach_port_allocate(ipc_space_t task, mach_port_right_t right,
                                 mach_port_name_t* name) {
  if (task != kTaskSelf) return KERN_INVALID_TASK;
  if (!name) return KERN_INVALID_ARGUMENT;
  if (right != MACH_PORT_RIGHT_RECEIVE) return KERN_INVALID_VALUE;
  using namespace mach_stand_in;
  PortEntry entry;
  entry.receive = true;
  SpareReceivePort spare;
  if (takeSpareReceivePort(spare)) {
    entry.address = std::move(spare.address);
    entry.receiveSocket = std::move(spare.socket);
    entry.generation = spare.generation;
    entry.runEpoch = spare.runEpoch;
  } else {
    entry.runEpoch = runDirectoryEpoch();
    auto socketDescriptor = std::make_shared<UniqueDescriptor>(
        socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socketDescriptor->valid()) return KERN_RESOURCE_SHORTAGE;
    int on = 1;
    setsockopt(socketDescriptor->get(), SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
    // Room for a burst of requests; the kernel also bounds the queue by datagram count.
    int buffer = 4 * 1024 * 1024;
    setsockopt(socketDescriptor->get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    std::string address = freshPortAddress();
    sockaddr_un socketAddress;
    socklen_t length;
    if (!socketAddressFor(address, socketAddress, length)) return KERN_FAILURE;
    if (bind(socketDescriptor->get(), reinterpret_cast<sockaddr*>(&socketAddress), length) != 0)
      return KERN_FAILURE;
    entry.address = std::move(address);
    entry.receiveSocket = std::move(socketDescriptor);
    entry.generation = 1;
  }
  auto& table = PortTable::shared();
  std::lock_guard lock(table.mutex());
  *name = table.insert(std::move(entry));
  return KERN_SUCCESS;
}

kern_return_t mach_port_insert_right(ipc_space_t task, mach_port_name_t name, mach_port_t port,
                                     mach_msg_type_name_t disposition) {
  if (task != kTaskSelf) return KERN_INVALID_TASK;
  if (name != port) return KERN_INVALID_VALUE;
  auto& table = mach_stand_in::PortTable::shared();
  std::lock_guard lock(table.mutex());
  auto* entry = table.find(name);
  if (!entry) return KERN_INVALID_NAME;
  if (disposition == MACH_MSG_TYPE_MAKE_SEND) {
    if (!entry->receive) return KERN_INVALID_RIGHT;
    ++entry->sendReferences;
    entry->exposed = true;
    return KERN_SUCCESS;
  }
  if (disposition == MACH_MSG_TYPE_COPY_SEND) {
    if (entry->sendReferences == 0) return KERN_INVALID_RIGHT;
    ++entry->sendReferences;
    return KERN_SUCCESS;
  }
  return KERN_INVALID_VALUE;
}

kern_return_t mach_port_mod_refs(ipc_space_t task, mach_port_name_t name, mach_port_right_t right,
                                 mach_port_delta_t delta) {
  if (task != kTaskSelf) return KERN_INVALID_TASK;
  using namespace mach_stand_in;
  auto& table = PortTable::shared();
  std::shared_ptr<UniqueDescriptor> closing;  // closed after the table's lock is given up
  std::string unlinkAddress;
  std::string notifyAddress;
  uint32_t notifyGeneration = 0;
  SpareReceivePort spare;
  {
    std::lock_guard lock(table.mutex());
    auto* entry = table.find(name);
    if (!entry) return KERN_INVALID_NAME;
    switch (right) {
      case MACH_PORT_RIGHT_RECEIVE:
        if (!entry->receive) return KERN_INVALID_RIGHT;
        if (delta == 0) return KERN_SUCCESS;
        if (delta != -1) return KERN_INVALID_VALUE;
        entry->receive = false;
        // Kept only when nothing but this entry has the socket: a receive under way on another
        // thread would otherwise wait on the socket's next life.
        if (entry->exposed || entry->receiveSocket.use_count() > 1) {
          closing = std::move(entry->receiveSocket);
          unlinkAddress = entry->address;
        } else {
          // The entry goes with its last right: its address moves to the spare.
          spare = SpareReceivePort{std::move(entry->receiveSocket),
                                   entry->empty() ? std::move(entry->address) : entry->address,
                                   entry->generation, entry->runEpoch};
        }
        break;
      case MACH_PORT_RIGHT_SEND:
        if (delta < 0 && entry->sendReferences < static_cast<uint32_t>(-delta))
          return KERN_INVALID_VALUE;
        if (delta > 0 && entry->sendReferences == 0) return KERN_INVALID_RIGHT;
        entry->sendReferences += delta;
        if (entry->sendReferences == 0) entry->sendSocket.reset();
        break;
      case MACH_PORT_RIGHT_SEND_ONCE:
        if (entry->sendOnceReferences == 0) return KERN_INVALID_RIGHT;
        if (delta == 0) return KERN_SUCCESS;
        if (delta != -1) return KERN_INVALID_VALUE;
        entry->sendOnceReferences = 0;
        entry->sendSocket.reset();
        notifyAddress = entry->address;
        notifyGeneration = entry->generation;
        break;
      default:
        return KERN_INVALID_VALUE;
    }
    table.eraseIfEmpty(name);
  }
  // A reply port that gave out only send-once rights is kept for the next exchange.
  if (spare.socket && !keepSpareReceivePort(std::move(spare))) {
    spare.socket.reset();
    unlinkAddress = std::move(spare.address);
  }
  if (!unlinkAddress.empty()) {
    int directory = runDirectoryDescriptor();
    if (directory >= 0) unlinkat(directory, unlinkAddress.c_str(), 0);
  }
  if (!notifyAddress.empty()) notifySendOnceDestroyed(notifyAddress, notifyGeneration);
  return KERN_SUCCESS;
}

kern_return_t mach_port_deallocate(ipc_space_t task, mach_port_name_t name) {
  if (task != kTaskSelf) return KERN_INVALID_TASK;
  if (name == MACH_PORT_NULL) return KERN_SUCCESS;
  std::string notifyAddress;
  uint32_t notifyGeneration = 0;
  {
    auto& table = mach_stand_in::PortTable::shared();
    std::lock_guard lock(table.mutex());
    auto* entry = table.find(name);
    if (!entry) return KERN_INVALID_NAME;
    if (entry->sendOnceReferences > 0) {
      entry->sendOnceReferences = 0;
      notifyAddress = entry->address;
      notifyGeneration = entry->generation;
    } else if (entry->sendReferences > 0) {
      --entry->sendReferences;
    } else {
      return KERN_INVALID_RIGHT;
    }
    if (entry->sendReferences == 0 && entry->sendOnceReferences == 0) entry->sendSocket.reset();
    table.eraseIfEmpty(name);
  }
  if (!notifyAddress.empty())
    mach_stand_in::notifySendOnceDestroyed(notifyAddress, notifyGeneration);
  return KERN_SUCCESS;
}

kern_return_t task_get_special_port(task_t task, int which, mach_port_t* port) {
  if (task != kTaskSelf) return KERN_INVALID_TASK;
  if (!port) return KERN_INVALID_ARGUMENT;
  if (which != TASK_BOOTSTRAP_PORT) return KERN_INVALID_ARGUMENT;
  *port = kBootstrapPort;
  return KERN_SUCCESS;
}

kern_return_t vm_deallocate(vm_map_t task, vm_address_t address, vm_size_t size) {
  if (task != kTaskSelf) return KERN_INVALID_TASK;
  if (size == 0) return KERN_SUCCESS;
  // A pooled body goes back to its sender's pool; its pages stay mapped for the next one.
  if (mach_stand_in::returnHeldChunk(address)) return KERN_SUCCESS;
  const vm_address_t page = static_cast<vm_address_t>(sysconf(_SC_PAGESIZE));
  vm_address_t start = address & ~(page - 1);
  vm_address_t end = (address + size + page - 1) & ~(page - 1);
  if (end < start) return KERN_INVALID_ADDRESS;
  if (munmap(reinterpret_cast<void*>(start), end - start) != 0) return KERN_INVALID_ADDRESS;
  return KERN_SUCCESS;
}

namespace mach_stand_in {

int receiveDescriptor(mach_port_name_t name) {
  auto& table = PortTable::shared();
  std::lock_guard lock(table.mutex());
  auto* entry = table.find(name);
  if (!entry || !entry->receive) return -1;
  entry->exposed = true;  // whoever watches the descriptor would see the socket's next life
  return entry->receiveSocket->get();
}

std::string receiveSocketPath(mach_port_name_t name) {
  std::string address;
  {
    auto& table = PortTable::shared();
    std::lock_guard lock(table.mutex());
    auto* entry = table.find(name);
    if (!entry || !entry->receive) return {};
    address = entry->address;
    entry->exposed = true;  // whoever asks may send to it without a right
  }
  return runPath(address);
}

void releaseUnansweredReplyRight(mach_port_name_t name) {
  auto& table = PortTable::shared();
  std::lock_guard lock(table.mutex());
  auto* entry = table.find(name);
  if (!entry) return;
  if (entry->sendOnceReferences > 0)
    entry->sendOnceReferences = 0;
  else if (entry->sendReferences > 0)
    --entry->sendReferences;
  if (entry->sendReferences == 0 && entry->sendOnceReferences == 0) entry->sendSocket.reset();
  table.eraseIfEmpty(name);
}

std::size_t portNameCount() {
  auto& table = PortTable::shared();
  std::lock_guard lock(table.mutex());
  return table.size();
}

}  // namespace mach_stand_in
