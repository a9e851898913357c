#include "BodyChunks.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <mutex>

#include "Envelope.h"
#include "PortCleanup.h"
#include "ThisProcess.h"
#include "UniqueDescriptor.h"

namespace mach_stand_in {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kChunksPerPool = 4;
constexpr int kSizeClasses = std::countr_zero(kLargestChunk / kSmallestChunk) + 1;
// Every client waits 50 ms for its reply: a body left in flight this long has no reader waiting.
constexpr auto kUnreadAfter = std::chrono::seconds(1);
constexpr auto kSenderLookInterval = std::chrono::seconds(1);

struct PoolHeader {
  uint32_t magic;
  uint32_t chunkSize;
  uint32_t chunkCount;
  uint32_t reserved;
  uint32_t state[kPoolMostChunks];
};
static_assert(sizeof(PoolHeader) <= kPoolHeaderSize);

std::atomic_ref<uint32_t> stateOf(uint32_t& word) {
  return std::atomic_ref<uint32_t>(word);
}

bool isHolder(uint32_t state) {
  return state != kChunkFree && state < kInFlight;
}

// A chunk's pages are mapped in at its first use, once, rather than page by page in every
// exchange; a pool's other chunks cost nothing until they are needed. `advice` says whether for
// writing (the sender) or reading (a receiver). Should the kernel not know it, the first copy
// faults them in instead.
void faultIn(char* chunk, size_t length, int advice) {
  madvise(chunk, length, advice);
}

// ---- Sending side: this process's pools, one per size class, made at first use.

// What this sender alone knows of a chunk it sent: the shared header is writable by receivers,
// so only a ticket recorded here is ever taken back.
struct SentChunk {
  uint32_t ticket = 0;
  Clock::time_point sentAt;
  std::string destination;
  bool broughtPool = false;  // the pool's memfd went with it: its receiver says whether it keeps it
};

// A port address that a pool's memfd went to, kept without allocating. Its chunks go there
// without the memfd only once the receiver has said that it keeps the pool mapped.
struct HandedTo {
  std::array<char, kReplyAddressCapacity> address{};
  size_t length = 0;
  bool kept = false;
  bool is(std::string_view other) const {
    return length != 0 && other.size() == length &&
           std::equal(other.begin(), other.end(), address.begin());
  }
};
constexpr size_t kMostHandedTo = 8;

struct OwnPool {
  int descriptor = -1;
  char* base = nullptr;
  uint32_t chunkSize = 0;
  bool failed = false;
  std::array<SentChunk, kChunksPerPool> sent;
  std::array<bool, kChunksPerPool> faulted{};
  std::array<HandedTo, kMostHandedTo> handedTo;  // the ports its memfd went to, oldest replaced
  size_t nextHandedTo = 0;
  HandedTo* handedToPort(std::string_view destination) {
    for (HandedTo& port : handedTo)
      if (port.is(destination)) return &port;
    return nullptr;
  }
  bool keptAt(std::string_view destination) {
    const HandedTo* port = handedToPort(destination);
    return port != nullptr && port->kept;
  }
  void forgetHandedTo(std::string_view destination) {
    if (HandedTo* port = handedToPort(destination)) *port = HandedTo{};
  }
};

std::mutex ownMutex;
std::array<OwnPool, kSizeClasses> ownPools;
uint32_t nextTicket = 0;
pid_t poolsOwner = 0;

bool makePool(OwnPool& pool, uint32_t chunkSize) {
  const size_t length = kPoolHeaderSize + size_t{kChunksPerPool} * chunkSize;
  const int fd = memfd_create("mach-ool-pool", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return false;
  if (ftruncate(fd, static_cast<off_t>(length)) != 0 ||
      fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
    close(fd);
    return false;
  }
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    close(fd);
    return false;
  }
  auto* header = static_cast<PoolHeader*>(base);
  header->magic = kPoolMagic;
  header->chunkSize = chunkSize;
  header->chunkCount = kChunksPerPool;
  for (uint32_t& word : header->state) stateOf(word).store(kChunkFree);
  pool.descriptor = fd;
  pool.base = static_cast<char*>(base);
  pool.chunkSize = chunkSize;
  return true;
}

// With ownMutex held: a forked child makes pools of its own rather than share its parent's. Each
// process starts its tickets at random: a receiver that still maps the pool of an exited process
// whose pid this one now has takes a chunk of it for one of this process's only by a chance in
// two billion (and reads it in bounds even then).
void forgetPoolsOfTheParent() {
  const pid_t self = thisProcess();
  if (poolsOwner == self) return;
  if (getrandom(&nextTicket, sizeof nextTicket, GRND_NONBLOCK) != sizeof nextTicket)
    nextTicket = static_cast<uint32_t>(self) << 16;
  if (poolsOwner != 0) {
    for (OwnPool& pool : ownPools) {
      if (pool.base != nullptr) {
        munmap(pool.base, kPoolHeaderSize + size_t{kChunksPerPool} * pool.chunkSize);
        close(pool.descriptor);
      }
      pool = OwnPool{};
    }
  }
  poolsOwner = self;
}

// With ownMutex held: chunks whose holder has exited, and chunks of this sender's that no
// receiver took up: their receiver is gone, or the message has waited unread too long. A new
// ticket is what makes that safe: the old message can no longer take the chunk.
void reclaim(OwnPool& pool) {
  auto* header = reinterpret_cast<PoolHeader*>(pool.base);
  const auto now = Clock::now();
  for (uint32_t i = 0; i < kChunksPerPool; ++i) {
    uint32_t state = stateOf(header->state[i]).load();
    SentChunk& sent = pool.sent[i];
    bool free = state == kPoolNotKept;
    if (!free && isHolder(state))
      free = kill(static_cast<pid_t>(state & ~kPoolNotKept), 0) != 0 && errno == ESRCH;
    else if (state == sent.ticket)
      free = now - sent.sentAt > kUnreadAfter || !portIsAlive(sent.destination);
    if (!free || !stateOf(header->state[i]).compare_exchange_strong(state, kChunkFree)) continue;
    // Unread: its receiver may not have the pool (any longer); the next chunk brings the memfd.
    if (state == sent.ticket) pool.forgetHandedTo(sent.destination);
    sent.broughtPool = false;
  }
}

// With ownMutex held: what the receivers of chunks that brought the pool's memfd said. One that
// took the chunk up (or gave it back) from a pool it keeps mapped keeps it while this process
// lives; one that marked the chunk kPoolNotKept does not, and the next chunk brings the memfd.
void learnWhoKeepsThePool(OwnPool& pool) {
  auto* header = reinterpret_cast<PoolHeader*>(pool.base);
  for (uint32_t i = 0; i < kChunksPerPool; ++i) {
    SentChunk& sent = pool.sent[i];
    if (!sent.broughtPool) continue;
    uint32_t state = stateOf(header->state[i]).load();
    if (state == sent.ticket) continue;  // not taken up yet
    sent.broughtPool = false;
    HandedTo* port = pool.handedToPort(sent.destination);
    if ((state & kPoolNotKept) == 0) {
      if (port != nullptr) port->kept = true;
      continue;
    }
    if (port != nullptr && !port->kept) *port = HandedTo{};
    if (state == kPoolNotKept) stateOf(header->state[i]).compare_exchange_strong(state, kChunkFree);
  }
}

// ---- Receiving side: the pools of other processes, mapped once each.

struct MappedPool {
  dev_t device = 0;
  ino_t inode = 0;
  char* base = nullptr;
  size_t length = 0;
  uint32_t chunkSize = 0;  // as checked when mapped; the shared header is not read again
  uint32_t chunkCount = 0;
  uint32_t held = 0;
  uint64_t faulted = 0;     // one bit per chunk whose pages are mapped in already
  UniqueDescriptor sender;  // pidfd of the process that sent it: readable once it has exited
  Clock::time_point senderLookedAt;  // when a release last asked whether the sender is gone
  pid_t senderProcess = 0;           // that process, while this is its pool of this chunk size
};

struct HeldChunk {
  char* address = nullptr;
  MappedPool* pool = nullptr;
  uint32_t index = 0;
};

std::mutex mappedMutex;
std::array<MappedPool, kMostMappedPools> mappedPools;
std::array<HeldChunk, kMostHeldChunks> heldChunks;

MappedPool* cachedPool(const struct stat& status) {
  for (MappedPool& pool : mappedPools) {
    if (pool.base != nullptr && pool.device == status.st_dev && pool.inode == status.st_ino)
      return &pool;
  }
  return nullptr;
}

// A sender keeps one pool per chunk size for its life: the one mapped here for `sender` and the
// chunk size a body of `size` bytes goes in, found without a system call; null when none is.
MappedPool* poolOfSender(pid_t sender, uint32_t size) {
  if (size == 0 || size > kLargestChunk) return nullptr;
  const uint32_t chunkSize = std::max(kSmallestChunk, std::bit_ceil(size));
  for (MappedPool& pool : mappedPools) {
    if (pool.base != nullptr && pool.senderProcess == sender && pool.chunkSize == chunkSize)
      return &pool;
  }
  return nullptr;
}

bool senderHasExited(const MappedPool& pool) {
  pollfd exited{pool.sender.get(), POLLIN, 0};
  return poll(&exited, 1, 0) == 1;
}

void unmap(MappedPool& pool) {
  munmap(pool.base, pool.length);
  pool = MappedPool{};
}

// With mappedMutex held: pools none of whose chunks is held here, of senders that have exited or
// that sent another pool of the same chunk size since (a sender uses one; the bound per sender).
void unmapPoolsOfTheGone() {
  for (MappedPool& pool : mappedPools)
    if (pool.base != nullptr && pool.held == 0 &&
        (pool.senderProcess == 0 || senderHasExited(pool)))
      unmap(pool);
}

// The shape a pool's header gives, checked against the memfd's size; false for anything else.
bool readShape(int descriptor, const struct stat& status, uint32_t& chunkSize,
               uint32_t& chunkCount) {
  PoolHeader header;
  if (pread(descriptor, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header))
    return false;
  chunkSize = header.chunkSize;
  chunkCount = header.chunkCount;
  return header.magic == kPoolMagic && chunkSize >= kSmallestChunk && chunkSize <= kLargestChunk &&
         std::has_single_bit(chunkSize) && chunkCount > 0 && chunkCount <= kPoolMostChunks &&
         static_cast<uint64_t>(status.st_size) ==
             kPoolHeaderSize + static_cast<uint64_t>(chunkCount) * chunkSize;
}

// Maps a pool whose shape was checked: into a free slot, kept while its sender lives; or, when
// every slot is taken or the sender cannot be watched, into `unkept`, for this one chunk only.
MappedPool* mapPool(int descriptor, const struct stat& status, uint32_t chunkSize,
                    uint32_t chunkCount, pid_t sender, MappedPool& unkept) {
  unmapPoolsOfTheGone();
  UniqueDescriptor watch(static_cast<int>(syscall(SYS_pidfd_open, sender, 0)));
  MappedPool* slot = &unkept;
  if (watch.valid()) {
    for (MappedPool& pool : mappedPools) {
      if (pool.base == nullptr) {
        slot = &pool;
        break;
      }
    }
  }
  const size_t length = static_cast<size_t>(status.st_size);
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
  if (base == MAP_FAILED) return nullptr;
  *slot = MappedPool{status.st_dev,
                     status.st_ino,
                     static_cast<char*>(base),
                     length,
                     chunkSize,
                     chunkCount,
                     0,
                     0,
                     slot == &unkept ? UniqueDescriptor() : std::move(watch),
                     Clock::now()};
  return slot;
}

// The index of the chunk at `offset` of `size` bytes in a pool of that shape; false when the
// offset is not a chunk's or the size does not fit it.
bool chunkAt(uint32_t offset, uint32_t size, uint32_t chunkSize, uint32_t chunkCount,
             uint32_t& index) {
  if (offset < kPoolHeaderSize || (offset - kPoolHeaderSize) % chunkSize != 0) return false;
  index = (offset - kPoolHeaderSize) / chunkSize;
  return index < chunkCount && size != 0 && size <= chunkSize;
}

// With mappedMutex held: the pool mapped here that the chunk at `offset` of `size` bytes in
// `descriptor` belongs to, mapped now when the chunk is in flight under `ticket`; null when any
// of it does not hold. `index` is the chunk's. The sender's pool mapped before, with that chunk in
// flight under `ticket`, is taken without a look at the descriptor; anything else (a restarted
// sender under a reused pid, a pool of another shape) is looked at.
MappedPool* poolOfChunk(int descriptor, uint32_t offset, uint32_t size, uint32_t ticket,
                        pid_t sender, uint32_t& index, MappedPool& unkept) {
  if (ticket < kInFlight) return nullptr;
  if (MappedPool* known = poolOfSender(sender, size);
      known != nullptr && chunkAt(offset, size, known->chunkSize, known->chunkCount, index) &&
      stateOf(reinterpret_cast<PoolHeader*>(known->base)->state[index]).load() == ticket)
    return known;
  if (descriptor < 0) return nullptr;
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
  MappedPool* pool = cachedPool(status);
  uint32_t chunkSize = 0, chunkCount = 0;
  if (pool != nullptr) {
    // Its seals were checked when it was mapped, and seals are never taken off.
    if (static_cast<size_t>(status.st_size) != pool->length) return nullptr;
    chunkSize = pool->chunkSize;
    chunkCount = pool->chunkCount;
  } else {
    // Unsealed, a pool could shrink under the mapping and fault this process.
    const int seals = fcntl(descriptor, F_GET_SEALS);
    if (seals < 0 || (seals & (F_SEAL_SHRINK | F_SEAL_GROW)) != (F_SEAL_SHRINK | F_SEAL_GROW) ||
        !readShape(descriptor, status, chunkSize, chunkCount))
      return nullptr;
  }
  if (!chunkAt(offset, size, chunkSize, chunkCount, index)) return nullptr;
  if (pool == nullptr) {
    // Nothing is mapped for a chunk that is not on its way here.
    uint32_t state = 0;
    const off_t at = static_cast<off_t>(offsetof(PoolHeader, state) + index * sizeof state);
    if (pread(descriptor, &state, sizeof state, at) != static_cast<ssize_t>(sizeof state) ||
        state != ticket)
      return nullptr;
    pool = mapPool(descriptor, status, chunkSize, chunkCount, sender, unkept);
    if (pool == &unkept) return pool;
  }
  // The sender's pool of this chunk size from now on: an earlier one (of a process that had its
  // pid before) is no longer taken without a look.
  if (pool != nullptr && pool->senderProcess != sender) {
    if (MappedPool* earlier = poolOfSender(sender, pool->chunkSize)) earlier->senderProcess = 0;
    pool->senderProcess = sender;
  }
  return pool;
}

// A pool mapped for one chunk only, unmapped when done with it.
struct UnkeptPool {
  MappedPool pool;
  ~UnkeptPool() {
    if (pool.base != nullptr) unmap(pool);
  }
};

// The body of a chunk that cannot be held in place, copied into memory of its own: its pool is
// not kept mapped here, or as many chunks are held as can be. The chunk goes back at once; when
// `kept` is false marked kPoolNotKept, so that its sender sends the memfd with the next chunk
// rather than name a pool this process does not have. Null when the chunk is not in flight under
// `ticket` or no memory is left (the chunk is then handed back all the same).
void* copyOfChunk(MappedPool& pool, uint32_t index, uint32_t offset, uint32_t size, uint32_t ticket,
                  bool kept) {
  uint32_t& word = reinterpret_cast<PoolHeader*>(pool.base)->state[index];
  uint32_t holder = static_cast<uint32_t>(thisProcess()) | (kept ? 0 : kPoolNotKept);
  if (!stateOf(word).compare_exchange_strong(ticket, holder)) return nullptr;
  void* copy = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (copy != MAP_FAILED) std::memcpy(copy, pool.base + offset, size);
  stateOf(word).compare_exchange_strong(holder, kept ? kChunkFree : kPoolNotKept);
  return copy == MAP_FAILED ? nullptr : copy;
}

}  // namespace

bool takeOutgoingChunk(mach_msg_size_t size, std::string_view destination, OutgoingChunk& chunk) {
  if (size == 0 || size > kLargestChunk) return false;
  const uint32_t chunkSize = std::max(kSmallestChunk, std::bit_ceil(static_cast<uint32_t>(size)));
  const int sizeClass = std::countr_zero(chunkSize / kSmallestChunk);
  std::lock_guard lock(ownMutex);
  forgetPoolsOfTheParent();
  OwnPool& pool = ownPools[static_cast<size_t>(sizeClass)];
  if (pool.base == nullptr) {
    if (pool.failed) return false;
    if (!makePool(pool, chunkSize)) {
      pool.failed = true;
      return false;
    }
  }
  auto* header = reinterpret_cast<PoolHeader*>(pool.base);
  learnWhoKeepsThePool(pool);
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (uint32_t i = 0; i < kChunksPerPool; ++i) {
      const uint32_t ticket = kInFlight | (nextTicket++ & ~kInFlight);
      uint32_t expected = kChunkFree;
      if (!stateOf(header->state[i]).compare_exchange_strong(expected, ticket)) continue;
      pool.sent[i].ticket = ticket;
      pool.sent[i].sentAt = Clock::now();
      pool.sent[i].destination.assign(destination);
      pool.sent[i].broughtPool = false;
      if (!pool.faulted[i]) {
        faultIn(pool.base + kPoolHeaderSize + size_t{i} * chunkSize, chunkSize,
                MADV_POPULATE_WRITE);
        pool.faulted[i] = true;
      }
      chunk.descriptor = pool.descriptor;
      chunk.offset = kPoolHeaderSize + i * chunkSize;
      chunk.ticket = ticket;
      chunk.address = pool.base + chunk.offset;
      chunk.state = &header->state[i];
      chunk.destinationHasPool = pool.keptAt(destination);
      return true;
    }
    reclaim(pool);
  }
  return false;
}

void returnUnsentChunk(const OutgoingChunk& chunk) {
  uint32_t expected = chunk.ticket;
  if (chunk.state != nullptr) stateOf(*chunk.state).compare_exchange_strong(expected, kChunkFree);
}

void poolHandedTo(const OutgoingChunk& chunk, std::string_view destination) {
  if (destination.empty() || destination.size() > kReplyAddressCapacity) return;
  std::lock_guard lock(ownMutex);
  for (OwnPool& pool : ownPools) {
    if (pool.base == nullptr || pool.descriptor != chunk.descriptor) continue;
    SentChunk& sent = pool.sent[(chunk.offset - kPoolHeaderSize) / pool.chunkSize];
    if (sent.ticket == chunk.ticket) sent.broughtPool = true;
    if (pool.handedToPort(destination) != nullptr) return;
    HandedTo& port = pool.handedTo[pool.nextHandedTo++ % kMostHandedTo];
    std::copy(destination.begin(), destination.end(), port.address.begin());
    port.length = destination.size();
    port.kept = false;
    return;
  }
}

void* takeIncomingChunk(int descriptor, uint32_t offset, uint32_t size, uint32_t ticket,
                        pid_t sender) {
  std::lock_guard lock(mappedMutex);
  uint32_t index = 0;
  UnkeptPool unkept;
  MappedPool* pool = poolOfChunk(descriptor, offset, size, ticket, sender, index, unkept.pool);
  if (pool == nullptr) return nullptr;
  if (pool == &unkept.pool) return copyOfChunk(*pool, index, offset, size, ticket, false);
  HeldChunk* slot = nullptr;
  for (HeldChunk& held : heldChunks) {
    if (held.address == nullptr) {
      slot = &held;
      break;
    }
  }
  if (slot == nullptr) return copyOfChunk(*pool, index, offset, size, ticket, true);
  auto* header = reinterpret_cast<PoolHeader*>(pool->base);
  uint32_t expected = ticket;
  if (!stateOf(header->state[index])
           .compare_exchange_strong(expected, static_cast<uint32_t>(thisProcess())))
    return nullptr;
  if ((pool->faulted & (uint64_t{1} << index)) == 0) {
    faultIn(pool->base + offset, pool->chunkSize, MADV_POPULATE_READ);
    pool->faulted |= uint64_t{1} << index;
  }
  *slot = HeldChunk{pool->base + offset, pool, index};
  ++pool->held;
  return slot->address;
}

void discardIncomingChunk(int descriptor, uint32_t offset, uint32_t size, uint32_t ticket,
                          pid_t sender) {
  std::lock_guard lock(mappedMutex);
  uint32_t index = 0;
  UnkeptPool unkept;
  MappedPool* pool = poolOfChunk(descriptor, offset, size, ticket, sender, index, unkept.pool);
  if (pool == nullptr) return;
  auto* header = reinterpret_cast<PoolHeader*>(pool->base);
  stateOf(header->state[index])
      .compare_exchange_strong(ticket, pool == &unkept.pool ? kPoolNotKept : kChunkFree);
}

bool returnHeldChunk(vm_address_t address) {
  std::lock_guard lock(mappedMutex);
  for (HeldChunk& held : heldChunks) {
    if (held.address == nullptr || reinterpret_cast<vm_address_t>(held.address) != address)
      continue;
    MappedPool& pool = *held.pool;
    auto* header = reinterpret_cast<PoolHeader*>(pool.base);
    uint32_t holder = static_cast<uint32_t>(thisProcess());
    stateOf(header->state[held.index]).compare_exchange_strong(holder, kChunkFree);
    held = HeldChunk{};
    // Asked at most once a second, not at every release of a live sender's stream of bodies; a
    // pool whose sender went in between is unmapped at a later release or at the next mapping.
    if (--pool.held == 0) {
      const auto now = Clock::now();
      if (now - pool.senderLookedAt >= kSenderLookInterval) {
        pool.senderLookedAt = now;
        if (senderHasExited(pool)) unmap(pool);
      }
    }
    return true;
  }
  return false;
}

}  // namespace mach_stand_in
