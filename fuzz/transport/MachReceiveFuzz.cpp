// Arbitrary datagrams, with or without a memfd beside them, sent to a port of this process and
// received as the run loop receives them. A received message is read through the transport's
// getters, its body touched and freed, its reply right given up.
//
// Input: byte 0 picks the memfd (bit 0: send one, bit 1: seal it), bytes 1-4 its size (capped),
// the rest is the datagram.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "FuzzedPort.h"

namespace {

int memoryFor(uint8_t choice, uint32_t size) {
  if ((choice & 1) == 0) return -1;
  int fd = memfd_create("fuzz", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return -1;
  if (ftruncate(fd, size % (1u << 20)) != 0) {
    close(fd);
    return -1;
  }
  if (choice & 2) fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzed_port::open("/tmp/fuzz_mach_receive.XXXXXX");
  if (size < 5) return 0;
  uint32_t memorySize;
  std::memcpy(&memorySize, data + 1, sizeof memorySize);
  const int memory = memoryFor(data[0], memorySize);
  fuzzed_port::send(data + 5, size - 5, memory);
  if (memory >= 0) close(memory);
  fuzzed_port::receiveAndRelease();
  return 0;
}
