#include "Vellamor2/LockScreenFigures.h"

#include <algorithm>
#include <cstring>

#include "Vellamor2/WavePlotRecord.h"

namespace {

constexpr int kPackets = 20;
constexpr std::int32_t kMaxFrames = 4096;

// A few samples of packet `packet` (0 oldest … 19 newest) of channel 0.
void fingerprint(const serverDataStruct& record, int packet, std::int32_t frames, float out[4]) {
  const float* samples = record.data[0] + static_cast<std::size_t>(packet) * frames;
  out[0] = samples[0];
  out[1] = samples[frames / 3];
  out[2] = samples[2 * frames / 3];
  out[3] = samples[frames - 1];
}

}  // namespace

void LockScreenFigures::noteDrawing(const serverDataStruct* record, std::uint64_t start,
                                    std::uint64_t end) {
  drawNanoseconds[drawn % kKeptDurations] =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(end - start, UINT32_MAX));
  ++drawn;
  if (record == nullptr) return;
  const std::int32_t frames = record->numberFrames;
  if (frames < 1 || frames > kMaxFrames) return;
  float newest[4];
  fingerprint(*record, kPackets - 1, frames, newest);
  if (frames != lastFrames) {
    lastFrames = frames;
    std::memcpy(lastFingerprint, newest, sizeof newest);
    return;
  }
  if (std::memcmp(newest, lastFingerprint, sizeof newest) == 0) return;
  // The packet that was newest at the last drawing has moved left by one place per new packet.
  int arrived = kPackets;
  for (int moved = 1; moved < kPackets; ++moved) {
    float candidate[4];
    fingerprint(*record, kPackets - 1 - moved, frames, candidate);
    if (std::memcmp(candidate, lastFingerprint, sizeof candidate) == 0) {
      arrived = moved;
      break;
    }
  }
  packets += static_cast<std::uint64_t>(arrived);
  changeNanoseconds[changes % kKeptChanges] = end;
  ++changes;
  std::memcpy(lastFingerprint, newest, sizeof newest);
}
