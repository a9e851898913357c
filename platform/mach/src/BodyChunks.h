#pragma once
// Out-of-line bodies in pooled shared chunks. A sending process keeps, per size class, one memfd
// of a header page and four chunks, sealed against shrinking and growing and faulted in once;
// a body is copied into a free chunk and the memfd travels beside the message. A receiver maps
// each pool once, checks every offset and size against its own mapping, and reads the body in
// place; vm_deallocate hands the chunk back. A chunk's state word in the header says who has it:
// free, in flight, or the pid of the receiver that holds it, so a chunk is never reused while
// held, and chunks of receivers that died are taken back when a pool runs short.

#include <mach/mach.h>

#include <cstdint>

namespace mach_stand_in {

// A chunk taken for sending.
struct OutgoingChunk {
  int descriptor = -1;  // the pool's memfd, owned by the pool
  uint32_t offset = 0;  // of the chunk in it
  void* address = nullptr;
  uint32_t* state = nullptr;
};

// A free chunk for `size` bytes, now in flight; false when no pool serves that size or every
// chunk is held (the body then travels in a memfd of its own).
bool takeOutgoingChunk(mach_msg_size_t size, OutgoingChunk& chunk);
// Gives back a chunk whose message was not sent.
void returnUnsentChunk(const OutgoingChunk& chunk);

// The body of `size` bytes at `offset` in the pool memfd `descriptor`, mapped read-write in this
// process and now held by it; null when the memfd is not a sealed pool of sane shape, the offset
// is not a chunk's, the size does not fit it, or the chunk is not in flight.
void* takeIncomingChunk(int descriptor, uint32_t offset, uint32_t size);
// True when `address` is a chunk this process holds: it is handed back (vm_deallocate).
bool returnHeldChunk(vm_address_t address);

// Pool layout, shared by both sides.
inline constexpr uint32_t kPoolMagic = 0x4c4f4f50;  // "POOL"
inline constexpr uint32_t kPoolHeaderSize = 4096;
inline constexpr uint32_t kPoolMostChunks = 64;
inline constexpr uint32_t kSmallestChunk = 64 * 1024;
inline constexpr uint32_t kLargestChunk = 1024 * 1024;

}  // namespace mach_stand_in
