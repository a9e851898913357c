#pragma once
// Out-of-line bodies in pooled shared chunks. A sending process keeps, per size class, one memfd
// of a header page and four chunks, sealed against shrinking and growing, each chunk faulted in
// at its first use; a body is copied into a free chunk and the memfd travels beside the message.
// A receiver maps each pool once, checks every offset and size against its own mapping, and
// reads the body in place; vm_deallocate hands the chunk back. A chunk's state word in the
// header says who has it: free, in flight under a ticket the message carries, or the pid of the
// receiver that holds it. A chunk is never reused while held; one in flight that no receiver
// took up (its receiver gone, or the message dropped or left unread) is taken back under a new
// ticket, so the old message can no longer take it. A receiver keeps a pool mapped while its
// sender lives (a bounded number of them; one beyond the bound has its chunk copied out and says
// so), and unmaps one whose sender has exited once it holds none of it: at a release (asking at
// most once a second) or when it maps another pool.

#include <mach/mach.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mach_stand_in {

// A chunk taken for sending.
struct OutgoingChunk {
  int descriptor = -1;  // the pool's memfd, owned by the pool
  uint32_t offset = 0;  // of the chunk in it
  uint32_t ticket = 0;  // its state word while in flight
  void* address = nullptr;
  uint32_t* state = nullptr;
  bool destinationHasPool = false;  // the pool's memfd went to the destination before
};

// A free chunk for `size` bytes, now in flight to the port at `destination`; false when no pool
// serves that size or every chunk is busy (the body then travels in a memfd of its own).
bool takeOutgoingChunk(mach_msg_size_t size, std::string_view destination, OutgoingChunk& chunk);
// Gives back a chunk whose message was not sent.
void returnUnsentChunk(const OutgoingChunk& chunk);
// The chunk's message went to `destination` with the pool's memfd: once its receiver has taken it
// up from a pool it keeps mapped, the next chunks of the pool go there without it, until one of
// them is taken back unread (the receiver may have lost the pool).
void poolHandedTo(const OutgoingChunk& chunk, std::string_view destination);

// The body of `size` bytes at `offset` in the pool memfd `descriptor` from process `sender`,
// mapped read-write in this process and now held by it; null when the memfd is not a sealed pool
// of sane shape, the offset is not a chunk's, the size does not fit it, or the chunk is not in
// flight under `ticket`. A `descriptor` of -1 names the sender's pool for the size, mapped here
// before. A pool this process cannot keep mapped (while its sender lives), or a chunk beyond
// those it can hold, gives a copy of the body instead, in memory of its own that vm_deallocate
// unmaps.
void* takeIncomingChunk(int descriptor, uint32_t offset, uint32_t size, uint32_t ticket,
                        pid_t sender);
// Gives such a chunk straight back: its message is dropped unread.
void discardIncomingChunk(int descriptor, uint32_t offset, uint32_t size, uint32_t ticket,
                          pid_t sender);
// True when `address` is a chunk this process holds: it is handed back (vm_deallocate).
bool returnHeldChunk(vm_address_t address);

// A sender keeps one pool per chunk size for its life, and a pool a receiver was seen to keep is
// sent no memfd again: a receiver keeps a living sender's pool mapped. This bounds them all; the
// chunk of a pool beyond it is copied out (and says so).
inline constexpr size_t kMostMappedPools = 32;
// Chunks held in place at once; one beyond them is copied out.
inline constexpr size_t kMostHeldChunks = 64;

// Pool layout, shared by both sides.
inline constexpr uint32_t kPoolMagic = 0x4c4f4f50;  // "POOL"
inline constexpr uint32_t kPoolHeaderSize = 4096;
inline constexpr uint32_t kPoolMostChunks = 64;
inline constexpr uint32_t kSmallestChunk = 64 * 1024;
inline constexpr uint32_t kLargestChunk = 1024 * 1024;
// State words: 0 free; a holder's pid below kInFlight; kInFlight and above, in flight.
inline constexpr uint32_t kChunkFree = 0;
inline constexpr uint32_t kInFlight = 0x80000000u;
// Added by a receiver that does not keep the pool mapped: to its pid while it holds the chunk,
// alone once it gave the chunk back. Otherwise a chunk taken up says its receiver keeps the pool.
inline constexpr uint32_t kPoolNotKept = 0x40000000u;

}  // namespace mach_stand_in
