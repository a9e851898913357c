// The receiving half of mach_msg. Every datagram is checked before anything of it is believed:
// sizes against the datagram, the out-of-line claim against the descriptors that came with it,
// the memfd against its seals and size (a pooled chunk's offset and size against the pool as
// mapped here), the sender against this user. A bad one is dropped and
// counted, its descriptors closed, and the wait goes on.

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <utility>

#include <mach/SystemCallHooks.h>
#include "BodyChunks.h"
#include "Envelope.h"
#include "MachMsgInternal.h"
#include "PortTable.h"

namespace mach_stand_in {

namespace {

struct Counters {
  std::atomic<uint64_t> truncated{0}, badSize{0}, badDescriptor{0}, badMemory{0}, badReplyPort{0},
      foreignSender{0}, stale{0};
} counters;

constexpr size_t kMostDescriptors = 8;
// After looks that found nothing, the next exchanges sleep at once: one after one miss, two after
// two in a row, up to sixty-four. When replies are not back after a yield (an idle machine, a peer
// that sleeps between requests), looking only costs system calls.
constexpr uint32_t kMostLooksSkipped = 64;
constexpr auto kMostMissesCounted = static_cast<uint32_t>(std::bit_width(kMostLooksSkipped));
// Initial-exec: read in place through the thread pointer, with no call to find them per exchange.
// This thread's looks in a row that found nothing, and the exchanges still to go without one.
[[gnu::tls_model("initial-exec")]] thread_local uint32_t looksMissed = 0;
[[gnu::tls_model("initial-exec")]] thread_local uint32_t looksToSkip = 0;
// When this thread last had a reply: a send that follows it back to back finds its peer awake.
[[gnu::tls_model("initial-exec")]] thread_local std::chrono::steady_clock::time_point lastReply{};

struct Received {
  std::array<UniqueDescriptor, kMostDescriptors> descriptors;
  size_t descriptorCount = 0;
  bool credentials = false;
  uid_t senderUser = static_cast<uid_t>(-1);
  pid_t senderProcess = 0;
  bool controlTruncated = false;
};

void collectControl(msghdr& header, Received& received) {
  received.controlTruncated = (header.msg_flags & MSG_CTRUNC) != 0;
  for (cmsghdr* part = CMSG_FIRSTHDR(&header); part; part = CMSG_NXTHDR(&header, part)) {
    if (part->cmsg_level != SOL_SOCKET) continue;
    if (part->cmsg_type == SCM_RIGHTS) {
      size_t count = (part->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (size_t i = 0; i < count; ++i) {
        int fd;
        std::memcpy(&fd, CMSG_DATA(part) + i * sizeof(int), sizeof fd);
        if (received.descriptorCount < kMostDescriptors)
          received.descriptors[received.descriptorCount++].reset(fd);
        else
          close(fd);
      }
    } else if (part->cmsg_type == SCM_CREDENTIALS && part->cmsg_len >= CMSG_LEN(sizeof(ucred))) {
      ucred credentials;
      std::memcpy(&credentials, CMSG_DATA(part), sizeof credentials);
      received.credentials = true;
      received.senderUser = credentials.uid;
      received.senderProcess = credentials.pid;
    }
  }
}

bool validReplyAddress(const Envelope& envelope) {
  if (envelope.replyDisposition == 0) return envelope.replyAddressLength == 0;
  if (envelope.replyDisposition != MACH_MSG_TYPE_PORT_SEND &&
      envelope.replyDisposition != MACH_MSG_TYPE_PORT_SEND_ONCE)
    return false;
  if (envelope.replyAddressLength == 0 || envelope.replyAddressLength > kReplyAddressCapacity)
    return false;
  std::string_view address(envelope.replyAddress, envelope.replyAddressLength);
  constexpr std::string_view kPrefix = "ports/";
  if (address.substr(0, kPrefix.size()) != kPrefix || address.size() == kPrefix.size())
    return false;
  for (char c : address.substr(kPrefix.size()))
    if (!(c == '-' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

// The memfd of an out-of-line body, checked: sealed against writes and shrinking, big enough.
bool acceptableMemory(int fd, mach_msg_size_t size) {
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
  if (status.st_size < static_cast<off_t>(size)) return false;
  int seals = fcntl(fd, F_GET_SEALS);
  return seals >= 0 && (seals & (F_SEAL_WRITE | F_SEAL_SHRINK)) == (F_SEAL_WRITE | F_SEAL_SHRINK);
}

// This process's user, asked once: a message from any other is dropped.
uid_t thisUser() {
  static const uid_t user = geteuid();
  return user;
}

enum class Verdict { accept, truncated, badSize, badDescriptor, badMemory, badReplyPort, foreign };

Verdict check(const char* datagram, size_t length, int flags, const Received& received) {
  if ((flags & MSG_TRUNC) || received.controlTruncated || length < sizeof(Envelope))
    return Verdict::truncated;
  if (!received.credentials || received.senderUser != thisUser()) return Verdict::foreign;
  Envelope envelope;
  std::memcpy(&envelope, datagram, sizeof envelope);
  if (envelope.magic != kEnvelopeMagic) return Verdict::badSize;
  if (envelope.messageSize != length - sizeof(Envelope)) return Verdict::badSize;
  if (envelope.messageSize < sizeof(mach_msg_header_t) || envelope.messageSize % 4 != 0 ||
      envelope.messageSize > kMaxMessageSize)
    return Verdict::badSize;
  mach_msg_header_t header;
  std::memcpy(&header, datagram + sizeof envelope, sizeof header);
  if (header.msgh_size != envelope.messageSize) return Verdict::badSize;
  if (!validReplyAddress(envelope)) return Verdict::badReplyPort;
  if (envelope.destinationDisposition != MACH_MSG_TYPE_PORT_SEND &&
      envelope.destinationDisposition != MACH_MSG_TYPE_PORT_SEND_ONCE)
    return Verdict::badSize;

  const bool complex = (header.msgh_bits & MACH_MSGH_BITS_COMPLEX) != 0;
  if (!complex) {
    if (envelope.outOfLineSize != 0 || received.descriptorCount != 0) return Verdict::badDescriptor;
    return Verdict::accept;
  }
  if (envelope.messageSize < sizeof(mach_msg_header_t) + sizeof(mach_msg_body_t))
    return Verdict::badDescriptor;
  mach_msg_body_t body;
  std::memcpy(&body, datagram + sizeof envelope + sizeof header, sizeof body);
  if (body.msgh_descriptor_count == 0) {
    if (envelope.outOfLineSize != 0 || received.descriptorCount != 0) return Verdict::badDescriptor;
    return Verdict::accept;
  }
  if (body.msgh_descriptor_count != 1 || envelope.messageSize < kComplexMessageMinimum)
    return Verdict::badDescriptor;
  mach_msg_ool_descriptor_t descriptor;
  std::memcpy(&descriptor, datagram + sizeof envelope + kOutOfLineDescriptorOffset,
              sizeof descriptor);
  if (descriptor.type != MACH_MSG_OOL_DESCRIPTOR || descriptor.size != envelope.outOfLineSize)
    return Verdict::badDescriptor;
  if (envelope.outOfLineSize == 0) {
    return received.descriptorCount == 0 ? Verdict::accept : Verdict::badDescriptor;
  }
  if (envelope.bodyInPool > 2) return Verdict::badDescriptor;
  // A pooled chunk is checked where it is taken, against the pool as this process maps it.
  if (envelope.bodyInPool == 2)
    return received.descriptorCount == 0 ? Verdict::accept : Verdict::badDescriptor;
  if (received.descriptorCount != 1) return Verdict::badDescriptor;
  if (envelope.bodyInPool == 0 && envelope.outOfLineOffset != 0) return Verdict::badDescriptor;
  if (envelope.bodyInPool == 1) return Verdict::accept;
  if (envelope.outOfLineSize > kMaxOutOfLineSize ||
      !acceptableMemory(received.descriptors[0].get(), envelope.outOfLineSize))
    return Verdict::badMemory;
  return Verdict::accept;
}

void count(Verdict verdict) {
  switch (verdict) {
    case Verdict::truncated:
      ++counters.truncated;
      break;
    case Verdict::badSize:
      ++counters.badSize;
      break;
    case Verdict::badDescriptor:
      ++counters.badDescriptor;
      break;
    case Verdict::badMemory:
      ++counters.badMemory;
      break;
    case Verdict::badReplyPort:
      ++counters.badReplyPort;
      break;
    case Verdict::foreign:
      ++counters.foreignSender;
      break;
    case Verdict::accept:
      break;
  }
}

// The memfd of an accepted message's pooled chunk: the one that came with it, or -1 for the
// sender's pool that this process was handed before.
int poolDescriptor(const Envelope& envelope, const Received& received) {
  return envelope.bodyInPool == 1 ? received.descriptors[0].get() : -1;
}

// Writes an accepted datagram into the caller's buffer, mapping the body and naming the reply
// right in this process.
mach_msg_return_t deliver(const char* datagram, Received& received, mach_msg_header_t* message,
                          mach_port_name_t receiveName) {
  Envelope envelope;
  std::memcpy(&envelope, datagram, sizeof envelope);
  UniqueMapping mapping;
  void* chunk = nullptr;
  if (envelope.outOfLineSize > 0 && envelope.bodyInPool != 0) {
    chunk = takeIncomingChunk(poolDescriptor(envelope, received), envelope.outOfLineOffset,
                              envelope.outOfLineSize, envelope.chunkTicket, received.senderProcess);
    if (chunk == nullptr) {
      ++counters.badMemory;
      return MACH_RCV_INVALID_DATA;
    }
  } else if (envelope.outOfLineSize > 0) {
    void* address = mmap(nullptr, envelope.outOfLineSize, PROT_READ | PROT_WRITE, MAP_PRIVATE,
                         received.descriptors[0].get(), 0);
    if (address == MAP_FAILED) {
      ++counters.badMemory;
      return MACH_RCV_INVALID_DATA;
    }
    mapping = UniqueMapping(address, envelope.outOfLineSize);
  }
  mach_port_name_t replyName = MACH_PORT_NULL;
  if (envelope.replyDisposition != 0) {
    const std::string_view address(envelope.replyAddress, envelope.replyAddressLength);
    auto& table = PortTable::shared();
    std::lock_guard lock(table.mutex());
    replyName = envelope.replyDisposition == MACH_MSG_TYPE_PORT_SEND_ONCE
                    ? table.addSendOnceRight(address, envelope.replyGeneration)
                    : table.addSendRight(address, envelope.replyGeneration);
  }
  std::memcpy(message, datagram + sizeof envelope, envelope.messageSize);
  message->msgh_bits = (message->msgh_bits & MACH_MSGH_BITS_COMPLEX) |
                       MACH_MSGH_BITS(envelope.replyDisposition, envelope.destinationDisposition);
  message->msgh_size = envelope.messageSize;
  message->msgh_remote_port = replyName;
  message->msgh_local_port = receiveName;
  message->msgh_voucher_port = MACH_PORT_NULL;
  // The address is always this process's own: an empty body's descriptor says null, whatever
  // the sender wrote there.
  if (envelope.messageSize >= kComplexMessageMinimum &&
      (message->msgh_bits & MACH_MSGH_BITS_COMPLEX) != 0) {
    mach_msg_body_t body;
    std::memcpy(&body, reinterpret_cast<const char*>(message) + sizeof(mach_msg_header_t),
                sizeof body);
    if (body.msgh_descriptor_count == 1) {
      void* address = chunk != nullptr ? chunk : mapping.release();
      std::memcpy(reinterpret_cast<char*>(message) + kOutOfLineDescriptorOffset, &address,
                  sizeof address);
    }
  }
  mach_msg_trailer_t trailer{0, kTrailerSize};
  std::memcpy(reinterpret_cast<char*>(message) + envelope.messageSize, &trailer, sizeof trailer);
  return MACH_MSG_SUCCESS;
}

// A message dropped unread hands its pooled chunk back to the sender's pool.
void discardBody(const Envelope& envelope, const Received& received) {
  if (envelope.bodyInPool != 0 && envelope.outOfLineSize > 0)
    discardIncomingChunk(poolDescriptor(envelope, received), envelope.outOfLineOffset,
                         envelope.outOfLineSize, envelope.chunkTicket, received.senderProcess);
}

// One datagram from `fd` without waiting: its length (or -1 with errno) and what came with it.
ssize_t receiveDatagram(int fd, char* datagram, size_t capacity, Received& received, int& flags) {
  alignas(
      cmsghdr) char control[CMSG_SPACE(sizeof(int) * kMostDescriptors) + CMSG_SPACE(sizeof(ucred))];
  iovec part{datagram, capacity};
  msghdr header{};
  header.msg_iov = &part;
  header.msg_iovlen = 1;
  header.msg_control = control;
  header.msg_controllen = sizeof control;
  const ssize_t length = systemCalls().recvmsg(fd, &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
  if (length < 0) return length;
  collectControl(header, received);
  flags = header.msg_flags;
  return length;
}

}  // namespace

mach_msg_return_t receiveMessage(mach_msg_header_t* message, mach_msg_option_t option,
                                 mach_msg_size_t receiveSize, mach_port_name_t receiveName,
                                 mach_msg_timeout_t timeout, bool afterSend) {
  std::shared_ptr<UniqueDescriptor> socket;
  uint32_t generation = 0;
  {
    auto& table = PortTable::shared();
    std::lock_guard lock(table.mutex());
    PortEntry* entry = table.find(receiveName);
    if (!entry || !entry->receive) return MACH_RCV_INVALID_NAME;
    socket = entry->receiveSocket;
    generation = entry->generation;
  }
  if (!message) return MACH_RCV_INVALID_DATA;
  const bool timed = (option & MACH_RCV_TIMEOUT) != 0;
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(timeout);
  // The reply to what was just sent is looked for once, after a yield, before this thread sleeps
  // on it: on a busy machine the peer (or another) runs meanwhile and the reply is back, with no
  // sleep and wake-up for it. On an idle one the yield returns at once, the look misses and the
  // exchanges that follow sleep at once. Only an exchange that follows this thread's last reply
  // back to back looks on, yielding, for a while: its peer is awake and answers within
  // microseconds, where looks after a peer that sleeps between exchanges would only spin the core.
  bool looking = afterSend && looksToSkip == 0;
  if (afterSend && !looking) --looksToSkip;
  const auto lookUntil = looking && start - lastReply < kMessageLook
                             ? std::min(start + kMessageLook, deadline)
                             : start;
  // Sleeps until the socket is readable; false once the time-out has passed.
  const auto sleepUntilReadable = [&] {
    int wait = -1;
    if (timed) {
      auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      wait = static_cast<int>(left.count());
    }
    pollfd readable{socket->get(), POLLIN, 0};
    systemCalls().poll(&readable, 1, wait);
    return true;
  };
  // A reply not looked for is slept on at once: a receive now would only find nothing.
  bool sleepFirst = afterSend && !looking;
  bool yieldFirst = looking;
  alignas(8) char datagram[sizeof(Envelope) + kMaxMessageSize];
  for (;;) {
    if (std::exchange(sleepFirst, false) && !sleepUntilReadable()) return MACH_RCV_TIMED_OUT;
    if (std::exchange(yieldFirst, false)) sched_yield();
    Received received;
    int flags = 0;
    const ssize_t length =
        receiveDatagram(socket->get(), datagram, sizeof datagram, received, flags);
    if (length < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) return MACH_RCV_PORT_DIED;
      if (looking && std::chrono::steady_clock::now() < lookUntil) {
        sched_yield();
        continue;
      }
      if (looking) {
        looksMissed = std::min(looksMissed + 1, kMostMissesCounted);
        looksToSkip = std::min(uint32_t{1} << (looksMissed - 1), kMostLooksSkipped);
      }
      looking = false;
      if (!sleepUntilReadable()) return MACH_RCV_TIMED_OUT;
      continue;
    }
    Verdict verdict = check(datagram, static_cast<size_t>(length), flags, received);
    if (verdict != Verdict::accept) {
      count(verdict);
      continue;
    }
    Envelope envelope;
    std::memcpy(&envelope, datagram, sizeof envelope);
    // A late reply to an earlier exchange through this reply port is never this one's.
    if (envelope.destinationGeneration != 0 && envelope.destinationGeneration != generation) {
      ++counters.stale;
      discardBody(envelope, received);
      continue;
    }
    // As on the platform: a message that does not fit is destroyed and reported.
    if (static_cast<uint64_t>(envelope.messageSize) + kTrailerSize > receiveSize) {
      discardBody(envelope, received);
      return MACH_RCV_TOO_LARGE;
    }
    mach_msg_return_t status = deliver(datagram, received, message, receiveName);
    if (status != MACH_MSG_SUCCESS) continue;
    if (looking) looksMissed = 0;
    if (afterSend) lastReply = std::chrono::steady_clock::now();
    return status;
  }
}

DropCounts dropCounts() {
  DropCounts counts;
  counts.truncated = counters.truncated;
  counts.badSize = counters.badSize;
  counts.badDescriptor = counters.badDescriptor;
  counts.badMemory = counters.badMemory;
  counts.badReplyPort = counters.badReplyPort;
  counts.foreignSender = counters.foreignSender;
  counts.stale = counters.stale;
  return counts;
}

}  // namespace mach_stand_in

mach_msg_return_t mach_msg(mach_msg_header_t* msg, mach_msg_option_t option,
                           mach_msg_size_t send_size, mach_msg_size_t rcv_size,
                           mach_port_name_t rcv_name, mach_msg_timeout_t timeout,
                           mach_port_name_t) {
  if (option & MACH_SEND_MSG) {
    mach_msg_return_t status = mach_stand_in::sendMessage(msg, option, send_size, timeout);
    if (status != MACH_MSG_SUCCESS) return status;
  }
  if (option & MACH_RCV_MSG)
    return mach_stand_in::receiveMessage(msg, option, rcv_size, rcv_name, timeout,
                                         (option & MACH_SEND_MSG) != 0);
  return MACH_MSG_SUCCESS;
}
