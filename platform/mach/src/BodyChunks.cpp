#include "BodyChunks.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <mutex>

namespace mach_stand_in {

namespace {

constexpr uint32_t kFree = 0;
constexpr uint32_t kInFlight = 0xffffffffu;
constexpr uint32_t kChunksPerPool = 4;
constexpr int kSizeClasses = std::countr_zero(kLargestChunk / kSmallestChunk) + 1;

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

// ---- Sending side: this process's pools, one per size class, made at first use.

struct OwnPool {
  int descriptor = -1;
  char* base = nullptr;
  uint32_t chunkSize = 0;
  bool failed = false;
};

std::mutex ownMutex;
std::array<OwnPool, kSizeClasses> ownPools;

bool makePool(OwnPool& pool, uint32_t chunkSize) {
  const size_t length = kPoolHeaderSize + size_t{kChunksPerPool} * chunkSize;
  const int fd = memfd_create("mach-ool-pool", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return false;
  if (ftruncate(fd, static_cast<off_t>(length)) != 0 ||
      fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
    close(fd);
    return false;
  }
  // Faulted in now, once, rather than page by page in every exchange.
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
  if (base == MAP_FAILED) {
    close(fd);
    return false;
  }
  auto* header = static_cast<PoolHeader*>(base);
  header->magic = kPoolMagic;
  header->chunkSize = chunkSize;
  header->chunkCount = kChunksPerPool;
  for (uint32_t& word : header->state) stateOf(word).store(kFree);
  pool.descriptor = fd;
  pool.base = static_cast<char*>(base);
  pool.chunkSize = chunkSize;
  return true;
}

// Chunks held by receivers that have exited come back.
void reclaimFromTheDead(PoolHeader* header) {
  for (uint32_t i = 0; i < kChunksPerPool; ++i) {
    const uint32_t holder = stateOf(header->state[i]).load();
    if (holder == kFree || holder == kInFlight) continue;
    if (kill(static_cast<pid_t>(holder), 0) != 0 && errno == ESRCH) {
      uint32_t expected = holder;
      stateOf(header->state[i]).compare_exchange_strong(expected, kFree);
    }
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
};

struct HeldChunk {
  char* address = nullptr;
  MappedPool* pool = nullptr;
  uint32_t index = 0;
};

constexpr size_t kMostMappedPools = 8;
constexpr size_t kMostHeldChunks = 64;

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

// Maps a pool whose shape was checked, into a free slot (or one none of whose chunks are held).
MappedPool* mapPool(int descriptor, const struct stat& status, uint32_t chunkSize,
                    uint32_t chunkCount) {
  MappedPool* slot = nullptr;
  for (MappedPool& pool : mappedPools) {
    if (pool.base == nullptr) {
      slot = &pool;
      break;
    }
  }
  if (slot == nullptr) {
    for (MappedPool& pool : mappedPools) {
      if (pool.held == 0) {
        munmap(pool.base, pool.length);
        pool = MappedPool{};
        slot = &pool;
        break;
      }
    }
  }
  if (slot == nullptr) return nullptr;
  const size_t length = static_cast<size_t>(status.st_size);
  void* base =
      mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, descriptor, 0);
  if (base == MAP_FAILED) return nullptr;
  *slot = MappedPool{
      status.st_dev, status.st_ino, static_cast<char*>(base), length, chunkSize, chunkCount, 0};
  return slot;
}

}  // namespace

bool takeOutgoingChunk(mach_msg_size_t size, OutgoingChunk& chunk) {
  if (size == 0 || size > kLargestChunk) return false;
  const uint32_t chunkSize = std::max(kSmallestChunk, std::bit_ceil(static_cast<uint32_t>(size)));
  const int sizeClass = std::countr_zero(chunkSize / kSmallestChunk);
  OwnPool& pool = ownPools[static_cast<size_t>(sizeClass)];
  {
    std::lock_guard lock(ownMutex);
    if (pool.base == nullptr) {
      if (pool.failed) return false;
      if (!makePool(pool, chunkSize)) {
        pool.failed = true;
        return false;
      }
    }
  }
  auto* header = reinterpret_cast<PoolHeader*>(pool.base);
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (uint32_t i = 0; i < kChunksPerPool; ++i) {
      uint32_t expected = kFree;
      if (!stateOf(header->state[i]).compare_exchange_strong(expected, kInFlight)) continue;
      chunk.descriptor = pool.descriptor;
      chunk.offset = kPoolHeaderSize + i * chunkSize;
      chunk.address = pool.base + chunk.offset;
      chunk.state = &header->state[i];
      return true;
    }
    reclaimFromTheDead(header);
  }
  return false;
}

void returnUnsentChunk(const OutgoingChunk& chunk) {
  if (chunk.state != nullptr) stateOf(*chunk.state).store(kFree);
}

void* takeIncomingChunk(int descriptor, uint32_t offset, uint32_t size) {
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) return nullptr;
  // Unsealed, a pool could shrink under the mapping and fault this process.
  const int seals = fcntl(descriptor, F_GET_SEALS);
  if (seals < 0 || (seals & (F_SEAL_SHRINK | F_SEAL_GROW)) != (F_SEAL_SHRINK | F_SEAL_GROW))
    return nullptr;
  std::lock_guard lock(mappedMutex);
  MappedPool* pool = cachedPool(status);
  uint32_t chunkSize = 0, chunkCount = 0;
  if (pool != nullptr) {
    if (static_cast<size_t>(status.st_size) != pool->length) return nullptr;
    chunkSize = pool->chunkSize;
    chunkCount = pool->chunkCount;
  } else if (!readShape(descriptor, status, chunkSize, chunkCount)) {
    return nullptr;
  }
  if (offset < kPoolHeaderSize || (offset - kPoolHeaderSize) % chunkSize != 0) return nullptr;
  const uint32_t index = (offset - kPoolHeaderSize) / chunkSize;
  if (index >= chunkCount || size == 0 || size > chunkSize) return nullptr;
  if (pool == nullptr) {
    // Nothing is mapped for a chunk that is not on its way here.
    uint32_t state = 0;
    const off_t at = static_cast<off_t>(offsetof(PoolHeader, state) + index * sizeof state);
    if (pread(descriptor, &state, sizeof state, at) != static_cast<ssize_t>(sizeof state) ||
        state != kInFlight)
      return nullptr;
    pool = mapPool(descriptor, status, chunkSize, chunkCount);
    if (pool == nullptr) return nullptr;
  }
  HeldChunk* slot = nullptr;
  for (HeldChunk& held : heldChunks) {
    if (held.address == nullptr) {
      slot = &held;
      break;
    }
  }
  if (slot == nullptr) return nullptr;
  auto* header = reinterpret_cast<PoolHeader*>(pool->base);
  uint32_t expected = kInFlight;
  if (!stateOf(header->state[index])
           .compare_exchange_strong(expected, static_cast<uint32_t>(getpid())))
    return nullptr;
  *slot = HeldChunk{pool->base + offset, pool, index};
  ++pool->held;
  return slot->address;
}

bool returnHeldChunk(vm_address_t address) {
  std::lock_guard lock(mappedMutex);
  for (HeldChunk& held : heldChunks) {
    if (held.address == nullptr || reinterpret_cast<vm_address_t>(held.address) != address)
      continue;
    auto* header = reinterpret_cast<PoolHeader*>(held.pool->base);
    stateOf(header->state[held.index]).store(kFree);
    --held.pool->held;
    held = HeldChunk{};
    return true;
  }
  return false;
}

}  // namespace mach_stand_in
