// The sending half of mach_msg: resolve the destination right, copy an out-of-line body into a
// pooled chunk (or a sealed memfd of its own when none is free), and send the envelope and
// message as one datagram.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <mach/SystemCallHooks.h>
#include "BodyChunks.h"
#include "Envelope.h"
#include "MachMsgInternal.h"
#include "PortCleanup.h"
#include "PortTable.h"
#include "RunDirectory.h"

namespace mach_stand_in {

namespace {

bool peerIsGone(int error) {
  return error == ECONNREFUSED || error == ENOENT || error == ENOTCONN || error == ECONNRESET ||
         error == EPIPE || error == ENOTDIR;
}

// Copies `size` bytes into a new memfd and seals it, so what the receiver maps never changes.
UniqueDescriptor sealedCopy(const void* data, size_t size) {
  UniqueDescriptor memory(memfd_create("mach-ool", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!memory.valid()) return {};
  if (ftruncate(memory.get(), static_cast<off_t>(size)) != 0) return {};
  const auto* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t written =
        systemCalls().pwrite(memory.get(), bytes + done, size - done, static_cast<off_t>(done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return {};
    done += static_cast<size_t>(written);
  }
  if (fcntl(memory.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) !=
      0)
    return {};
  return memory;
}

mach_msg_type_name_t receivedDisposition(mach_msg_type_name_t disposition) {
  switch (disposition) {
    case MACH_MSG_TYPE_MOVE_SEND:
    case MACH_MSG_TYPE_COPY_SEND:
    case MACH_MSG_TYPE_MAKE_SEND:
      return MACH_MSG_TYPE_PORT_SEND;
    case MACH_MSG_TYPE_MOVE_SEND_ONCE:
    case MACH_MSG_TYPE_MAKE_SEND_ONCE:
      return MACH_MSG_TYPE_PORT_SEND_ONCE;
    default:
      return 0;
  }
}

struct Destination {
  std::shared_ptr<UniqueDescriptor> socket;
  // The port's address, held without allocating: any a socket is bound to fits a socket address.
  std::array<char, sizeof(sockaddr_un::sun_path)> addressBytes{};
  size_t addressLength = 0;
  std::string_view address() const { return {addressBytes.data(), addressLength}; }
  mach_msg_type_name_t disposition = 0;
  uint32_t generation = 0;
  bool once = false;  // through a send-once right: never waits for room in the queue
};

// Resolves the destination right; with the table's lock held.
mach_msg_return_t resolveDestination(PortTable& table, mach_port_name_t name,
                                     mach_msg_type_name_t disposition, Destination& destination) {
  PortEntry* entry = table.find(name);
  if (!entry) return MACH_SEND_INVALID_DEST;
  bool allowed = false;
  bool once = false;
  switch (disposition) {
    case MACH_MSG_TYPE_COPY_SEND:
    case MACH_MSG_TYPE_MOVE_SEND:
      allowed = entry->sendReferences > 0;
      break;
    case MACH_MSG_TYPE_MAKE_SEND:
      allowed = entry->receive;
      break;
    case MACH_MSG_TYPE_MAKE_SEND_ONCE:
      allowed = entry->receive;
      once = true;
      break;
    case MACH_MSG_TYPE_MOVE_SEND_ONCE:
      allowed = entry->sendOnceReferences > 0;
      once = true;
      break;
    default:
      return MACH_SEND_INVALID_HEADER;
  }
  if (!allowed || entry->address.size() >= destination.addressBytes.size())
    return MACH_SEND_INVALID_DEST;
  destination.disposition = receivedDisposition(disposition);
  destination.once = once;
  destination.addressLength = entry->address.size();
  std::memcpy(destination.addressBytes.data(), entry->address.data(), destination.addressLength);
  destination.generation = entry->generation;
  if (!once && entry->sendSocket) {
    destination.socket = entry->sendSocket;
    return MACH_MSG_SUCCESS;
  }
  if (once) {
    destination.socket = table.replyConnection(entry->address);
    if (destination.socket) return MACH_MSG_SUCCESS;
  }
  UniqueDescriptor connection = connectTo(entry->address);
  if (!connection.valid()) return MACH_SEND_INVALID_DEST;
  destination.socket = std::make_shared<UniqueDescriptor>(std::move(connection));
  if (once)
    table.keepReplyConnection(entry->address, destination.socket);
  else
    entry->sendSocket = destination.socket;
  return MACH_MSG_SUCCESS;
}

// With the table's lock held: the reply right's address.
mach_msg_return_t resolveReply(PortTable& table, mach_port_name_t name,
                               mach_msg_type_name_t disposition, Envelope& envelope) {
  if (name == MACH_PORT_NULL) return MACH_MSG_SUCCESS;
  PortEntry* entry = table.find(name);
  if (!entry) return MACH_SEND_INVALID_REPLY;
  bool allowed = false;
  switch (disposition) {
    case MACH_MSG_TYPE_MAKE_SEND_ONCE:
    case MACH_MSG_TYPE_MAKE_SEND:
      allowed = entry->receive;
      break;
    case MACH_MSG_TYPE_COPY_SEND:
      allowed = entry->sendReferences > 0;
      break;
    default:
      allowed = false;
  }
  if (!allowed || entry->address.size() > kReplyAddressCapacity) return MACH_SEND_INVALID_REPLY;
  // A send right may be copied on and outlive this receive right: its address is never reissued.
  if (disposition == MACH_MSG_TYPE_MAKE_SEND) entry->exposed = true;
  envelope.replyGeneration = entry->generation;
  envelope.replyDisposition = static_cast<uint8_t>(receivedDisposition(disposition));
  envelope.replyAddressLength = static_cast<uint8_t>(entry->address.size());
  std::memcpy(envelope.replyAddress, entry->address.data(), entry->address.size());
  return MACH_MSG_SUCCESS;
}

// Gives up what a successful send moved out of this process.
void consumeMovedRights(PortTable& table, mach_port_name_t name, mach_msg_type_name_t disposition) {
  PortEntry* entry = table.find(name);
  if (!entry) return;
  if (disposition == MACH_MSG_TYPE_MOVE_SEND_ONCE) {
    entry->sendOnceReferences = 0;
  } else if (disposition == MACH_MSG_TYPE_MOVE_SEND && entry->sendReferences > 0) {
    --entry->sendReferences;
    if (entry->sendReferences == 0) entry->sendSocket.reset();
  }
  table.eraseIfEmpty(name);
}

}  // namespace

mach_msg_return_t sendMessage(const mach_msg_header_t* message, mach_msg_option_t option,
                              mach_msg_size_t sendSize, mach_msg_timeout_t timeout) {
  if (!message || sendSize < sizeof(mach_msg_header_t) || sendSize % 4 != 0)
    return MACH_SEND_MSG_TOO_SMALL;
  if (sendSize > kMaxMessageSize) return MACH_SEND_TOO_LARGE;

  const bool complex = (message->msgh_bits & MACH_MSGH_BITS_COMPLEX) != 0;
  const void* outOfLineData = nullptr;
  mach_msg_size_t outOfLineSize = 0;
  bool deallocateAfterSend = false;
  if (complex) {
    if (sendSize < sizeof(mach_msg_header_t) + sizeof(mach_msg_body_t))
      return MACH_SEND_MSG_TOO_SMALL;
    mach_msg_body_t body;
    std::memcpy(&body, reinterpret_cast<const char*>(message) + sizeof(mach_msg_header_t),
                sizeof body);
    if (body.msgh_descriptor_count > 1) return MACH_SEND_INVALID_TYPE;
    if (body.msgh_descriptor_count == 1) {
      if (sendSize < kComplexMessageMinimum) return MACH_SEND_MSG_TOO_SMALL;
      mach_msg_ool_descriptor_t descriptor;
      std::memcpy(&descriptor, reinterpret_cast<const char*>(message) + kOutOfLineDescriptorOffset,
                  sizeof descriptor);
      if (descriptor.type != MACH_MSG_OOL_DESCRIPTOR) return MACH_SEND_INVALID_TYPE;
      if (descriptor.size > kMaxOutOfLineSize) return MACH_SEND_TOO_LARGE;
      if (descriptor.size > 0 && !descriptor.address) return MACH_SEND_INVALID_MEMORY;
      outOfLineData = descriptor.address;
      outOfLineSize = descriptor.size;
      deallocateAfterSend = descriptor.deallocate != 0;
    }
  }

  Envelope envelope{};
  envelope.magic = kEnvelopeMagic;
  envelope.messageSize = sendSize;
  envelope.outOfLineSize = outOfLineSize;
  const mach_msg_type_name_t remoteDisposition = MACH_MSGH_BITS_REMOTE(message->msgh_bits);
  Destination destination;
  auto& table = PortTable::shared();
  {
    std::lock_guard lock(table.mutex());
    if (message->msgh_remote_port == MACH_PORT_NULL) return MACH_SEND_INVALID_DEST;
    mach_msg_return_t status =
        resolveDestination(table, message->msgh_remote_port, remoteDisposition, destination);
    if (status != MACH_MSG_SUCCESS) return status;
    status = resolveReply(table, message->msgh_local_port, MACH_MSGH_BITS_LOCAL(message->msgh_bits),
                          envelope);
    if (status != MACH_MSG_SUCCESS) return status;
  }
  envelope.destinationDisposition = static_cast<uint8_t>(destination.disposition);
  envelope.destinationGeneration = destination.generation;

  alignas(8) char datagram[sizeof(Envelope) + kMaxMessageSize];
  std::memcpy(datagram, &envelope, sizeof envelope);
  std::memcpy(datagram + sizeof envelope, message, sendSize);
  auto* header = reinterpret_cast<mach_msg_header_t*>(datagram + sizeof envelope);
  header->msgh_size = sendSize;
  header->msgh_remote_port = MACH_PORT_NULL;
  header->msgh_local_port = MACH_PORT_NULL;
  if (complex && outOfLineData)
    std::memset(datagram + sizeof envelope + kOutOfLineDescriptorOffset, 0, sizeof(void*));

  UniqueDescriptor memory;
  OutgoingChunk chunk;
  int memoryDescriptor = -1;
  const bool pooled =
      outOfLineSize > 0 && takeOutgoingChunk(outOfLineSize, destination.address(), chunk);
  if (pooled) {
    std::memcpy(chunk.address, outOfLineData, outOfLineSize);
    // A port that has the pool already is sent no memfd: one less to pass, take and close.
    memoryDescriptor = chunk.destinationHasPool ? -1 : chunk.descriptor;
    envelope.bodyInPool = chunk.destinationHasPool ? 2 : 1;
    envelope.outOfLineOffset = chunk.offset;
    envelope.chunkTicket = chunk.ticket;
    std::memcpy(datagram, &envelope, sizeof envelope);
  } else if (outOfLineSize > 0) {
    memory = sealedCopy(outOfLineData, outOfLineSize);
    if (!memory.valid()) return MACH_SEND_NO_BUFFER;
    memoryDescriptor = memory.get();
  }
  // Until the datagram is gone, the chunk is this sender's to take back.
  struct UnsentChunk {
    OutgoingChunk* chunk;
    ~UnsentChunk() {
      if (chunk != nullptr) returnUnsentChunk(*chunk);
    }
  } unsent{pooled ? &chunk : nullptr};

  iovec part{datagram, sizeof envelope + sendSize};
  msghdr header_{};
  header_.msg_iov = &part;
  header_.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  if (memoryDescriptor >= 0) {
    std::memset(control, 0, sizeof control);
    header_.msg_control = control;
    header_.msg_controllen = sizeof control;
    cmsghdr* rights = CMSG_FIRSTHDR(&header_);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(rights), &memoryDescriptor, sizeof memoryDescriptor);
  }

  const bool timed = (option & MACH_SEND_TIMEOUT) != 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
  for (;;) {
    ssize_t sent = systemCalls().sendmsg(destination.socket->get(), &header_, MSG_NOSIGNAL);
    if (sent == static_cast<ssize_t>(part.iov_len)) break;
    if (sent >= 0) return MACH_SEND_NO_BUFFER;  // a datagram goes whole or not at all
    if (errno == EINTR) continue;
    if (peerIsGone(errno)) {
      if (errno == ECONNREFUSED) removeDeadSocket(std::string(destination.address()));
      std::lock_guard lock(table.mutex());
      if (PortEntry* entry = table.find(message->msgh_remote_port);
          entry && entry->sendSocket == destination.socket)
        entry->sendSocket.reset();
      table.forgetReplyConnection(destination.socket);
      return MACH_SEND_INVALID_DEST;
    }
    if (errno == EMSGSIZE) return MACH_SEND_TOO_LARGE;
    if (errno != EAGAIN && errno != ENOBUFS) return MACH_SEND_NO_BUFFER;
    // As on the platform, a send-once message is never held back by a full queue; here it is
    // dropped at once instead, so a client that never reads cannot stop its server.
    if (destination.once) return MACH_SEND_NO_BUFFER;
    int wait = -1;
    if (timed) {
      auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return MACH_SEND_TIMED_OUT;
      wait = static_cast<int>(left.count());
    }
    pollfd writable{destination.socket->get(), POLLOUT, 0};
    int ready = systemCalls().poll(&writable, 1, wait);
    if (ready == 0 && timed) return MACH_SEND_TIMED_OUT;
  }

  unsent.chunk = nullptr;
  if (pooled && memoryDescriptor >= 0) poolHandedTo(chunk, destination.address());
  // A copied or made right stays as it was: only a moved one is given up.
  if (remoteDisposition == MACH_MSG_TYPE_MOVE_SEND ||
      remoteDisposition == MACH_MSG_TYPE_MOVE_SEND_ONCE) {
    std::lock_guard lock(table.mutex());
    consumeMovedRights(table, message->msgh_remote_port, remoteDisposition);
  }
  if (deallocateAfterSend && outOfLineSize > 0)
    vm_deallocate(mach_task_self(), reinterpret_cast<vm_address_t>(outOfLineData), outOfLineSize);
  return MACH_MSG_SUCCESS;
}

}  // namespace mach_stand_in
