// One merge of a full 4,096-frame stereo packet, beside a bare memmove of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "Vellamor2/SharedRecords.h"
#include "Vellamor2/SpringBoardServer.h"

namespace {

std::unique_ptr<mediaServerAudioDataStruct> fullPacket() {
  auto packet = std::make_unique<mediaServerAudioDataStruct>();
  for (int k = 0; k < 2; ++k) {
    for (int i = 0; i < kPacketCapacityFrames; ++i) packet->data[k][i] = static_cast<float>(i);
  }
  packet->numberBuffers = 2;
  packet->numberFrames = kPacketCapacityFrames;
  return packet;
}

void BM_Server_Merge4096(benchmark::State& state) {
  const auto packet = fullPacket();
  for (auto _ : state) {
    benchmark::DoNotOptimize(SpringBoardServer::mergePacket(packet.get(), sizeof *packet));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * 2 * 20 * kPacketCapacityFrames * sizeof(float));
}
BENCHMARK(BM_Server_Merge4096);

// What the merge cannot beat: the same overlapping moves and copies, with no checks.
void BM_Server_Memmove4096(benchmark::State& state) {
  const auto packet = fullPacket();
  auto history = std::make_unique<serverDataStruct>();
  constexpr std::size_t n = kPacketCapacityFrames;
  for (auto _ : state) {
    for (int k = 0; k < 2; ++k) {
      std::memmove(history->data[k], history->data[k] + n, 19 * n * sizeof(float));
      std::memcpy(history->data[k] + 19 * n, packet->data[k], n * sizeof(float));
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * 2 * 20 * kPacketCapacityFrames * sizeof(float));
}
BENCHMARK(BM_Server_Memmove4096);

}  // namespace
