#include "SpareReceivePorts.h"

#include <unistd.h>

#include <array>
#include <mutex>

#include "RunDirectory.h"
#include "ThisProcess.h"

namespace mach_stand_in {

namespace {

// One per thread that waits for replies at once is enough; more are destroyed as before.
constexpr size_t kMostSpares = 4;

std::mutex spareMutex;
std::array<SpareReceivePort, kMostSpares> spares;
size_t spareCount = 0;
uint64_t sparesEpoch = 0;  // the run directory they are bound in
pid_t sparesOwner = 0;     // a forked child must not share its parent's reply sockets

// With the lock held: forgets spares of another device or of the parent of a forked child.
void forgetForeignSpares(uint64_t epoch) {
  const pid_t self = thisProcess();
  if (epoch == sparesEpoch && self == sparesOwner) return;
  for (size_t i = 0; i < spareCount; ++i) spares[i] = SpareReceivePort{};
  spareCount = 0;
  sparesEpoch = epoch;
  sparesOwner = self;
}

}  // namespace

bool takeSpareReceivePort(SpareReceivePort& port) {
  const uint64_t epoch = runDirectoryEpoch();
  {
    std::lock_guard lock(spareMutex);
    forgetForeignSpares(epoch);
    if (spareCount == 0) return false;
    port = std::move(spares[--spareCount]);
  }
  if (++port.generation == 0) port.generation = 1;
  return true;
}

bool keepSpareReceivePort(SpareReceivePort&& port) {
  const uint64_t epoch = runDirectoryEpoch();
  if (epoch == 0 || port.runEpoch != epoch || !port.socket) return false;
  std::lock_guard lock(spareMutex);
  forgetForeignSpares(epoch);
  if (spareCount == kMostSpares) return false;
  spares[spareCount++] = std::move(port);
  return true;
}

}  // namespace mach_stand_in
