// A receiver handed pooled chunks by a hostile sender: pool memfds of any shape (header fields,
// length, seals, chunk states) and messages claiming any offset and size in them. A message that
// gets through is read to its last byte and handed back. The receiver may keep no more pools
// mapped (each of its slots holds a chunk of another), so that the chunk is copied out.
//
// Input: the pool's chunk size, chunk count, length change, seals and state word, then the
// offset, size and ticket claimed (see Fields).

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "BodyChunks.h"
#include "Envelope.h"
#include "FuzzedPort.h"

namespace {

struct Fields {
  uint32_t chunkSize;
  uint8_t chunkCount;
  int16_t lengthChange;  // bytes added to (or taken from) the length the header implies
  // Bit 0 shrink, bit 1 grow, bit 2 seal; bit 3 breaks the magic; bit 4 sends no memfd, naming
  // the pool handed over before (an earlier input's); bit 5 has every slot for a pool taken.
  uint8_t seals;
  uint32_t state;
  uint32_t offset;
  uint32_t claimed;
  uint32_t ticket;
} __attribute__((packed));

int poolFor(const Fields& f) {
  int fd = memfd_create("fuzz-pool", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return -1;
  const uint32_t count = f.chunkCount % 80;
  const uint64_t chunk = f.chunkSize % (2u << 20);
  const int64_t length =
      mach_stand_in::kPoolHeaderSize + int64_t(count) * int64_t(chunk) + f.lengthChange;
  if (length < 0 || length > (64 << 20) || ftruncate(fd, length) != 0) {
    close(fd);
    return -1;
  }
  std::vector<uint32_t> header(4 + mach_stand_in::kPoolMostChunks, f.state);
  header[0] = (f.seals & 8) ? 0x1234 : mach_stand_in::kPoolMagic;
  header[1] = f.chunkSize;
  header[2] = f.chunkCount;
  header[3] = 0;
  if (pwrite(fd, header.data(), header.size() * 4, 0) < 0) {
    close(fd);
    return -1;
  }
  int seals = 0;
  if (f.seals & 1) seals |= F_SEAL_SHRINK;
  if (f.seals & 2) seals |= F_SEAL_GROW;
  if (f.seals & 4) seals |= F_SEAL_SEAL;
  if (seals) fcntl(fd, F_ADD_SEALS, seals);
  return fd;
}

void sendPooled(const Fields& f, int memory) {
  constexpr uint32_t kMessage = 44;
  std::vector<uint8_t> bytes(sizeof(mach_stand_in::Envelope) + kMessage, 0);
  mach_stand_in::Envelope e{};
  e.magic = mach_stand_in::kEnvelopeMagic;
  e.messageSize = kMessage;
  e.outOfLineSize = f.claimed;
  e.destinationDisposition = MACH_MSG_TYPE_PORT_SEND;
  const bool handedBefore = (f.seals & 16) != 0;
  e.bodyInPool = handedBefore ? 2 : 1;
  e.outOfLineOffset = f.offset;
  e.chunkTicket = f.ticket;
  std::memcpy(bytes.data(), &e, sizeof e);
  uint8_t* message = bytes.data() + sizeof e;
  const uint32_t words[] = {MACH_MSGH_BITS_COMPLEX, kMessage, 0, 0, 0, 2, 1};
  std::memcpy(message, words, sizeof words);
  const uint32_t descriptor[] = {0x01000100, f.claimed};
  std::memcpy(message + 36, descriptor, sizeof descriptor);

  fuzzed_port::send(bytes.data(), bytes.size(), handedBefore ? -1 : memory);
}

// Bodies held from pools of their own, one for every pool the receiver keeps mapped, while
// `full`; handed back otherwise.
void takeEverySlot(bool full) {
  static std::vector<LMResponseBuffer> held(mach_stand_in::kMostMappedPools);
  static bool taken = false;
  if (full == taken) return;
  taken = full;
  for (LMResponseBuffer& buffer : held) {
    if (!full) {
      LMResponseBufferFree(&buffer);
      continue;
    }
    const Fields filler{mach_stand_in::kSmallestChunk,
                        1,
                        0,
                        7,
                        mach_stand_in::kInFlight,
                        mach_stand_in::kPoolHeaderSize,
                        4096,
                        mach_stand_in::kInFlight};
    const int memory = poolFor(filler);
    if (memory < 0) abort();
    sendPooled(filler, memory);
    close(memory);
    if (mach_msg(&buffer.message.head, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer,
                 fuzzed_port::port, 0, MACH_PORT_NULL) != MACH_MSG_SUCCESS)
      abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzed_port::open("/tmp/fuzz_pooled_body.XXXXXX");
  Fields f;
  if (size < sizeof f) return 0;
  std::memcpy(&f, data, sizeof f);
  takeEverySlot((f.seals & 32) != 0);
  const int memory = poolFor(f);
  if (memory < 0) return 0;
  sendPooled(f, memory);
  close(memory);
  fuzzed_port::receiveAndRelease();
  return 0;
}
