// Spectrum bars and wave bars frames over a 375-point artwork: computing and building the paths
// only, and the same frame rendered at 2×.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "PlotFrameBench.h"

namespace {

using plot_bench::computeFrames;
using plot_bench::renderFrames;

const std::vector<std::string> kBarsDefault = {"VisMethod=2"};
// 20 packets of 4096 frames (an FFT of 65,536 points per channel), 128 bars per channel.
const std::vector<std::string> kBarsHeaviest = {"VisMethod=2", "BarsBuffersPerPlot=20",
                                                "BarsNumber=128"};
const std::vector<std::string> kWaveBarsDefault = {"VisMethod=1"};
const std::vector<std::string> kWaveBarsHeaviest = {"VisMethod=1", "WaveBarsBuffersPerPlot=20",
                                                    "WaveBarsNumber=128"};

void BM_Plot_Bars_DefaultFrame(benchmark::State& state) {
  computeFrames(state, kBarsDefault);
}
// The lock screen's frame as measured beside cava: 64 bars over the daemon's 1,024-frame packets.
void BM_Plot_Bars_LockScreenFrame(benchmark::State& state) {
  preview::SynthesisOptions history;
  history.frames = 1024;
  computeFrames(state, {"VisMethod=2", "BarsNumber=64"}, history);
}
// The same frame with every cache emptied first, as a tick finds them on a device whose other
// processes ran for the frame's interval: the misses on the layers, paths and buffers counted.
void BM_Plot_Bars_LockScreenFrameCold(benchmark::State& state) {
  preview::SynthesisOptions history;
  history.frames = 1024;
  plot_bench::Frame frame({"VisMethod=2", "BarsNumber=64"}, history);
  std::vector<char> other(64u << 20);  // twice the largest last-level cache seen here
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t i = 0; i < other.size(); i += 64) other[i] = static_cast<char>(other[i] + 1);
    benchmark::ClobberMemory();
    state.ResumeTiming();
    frame.draw();
  }
}
void BM_Plot_Bars_HeaviestFrame(benchmark::State& state) {
  computeFrames(state, kBarsHeaviest);
}
void BM_Plot_Bars_DefaultFrameRendered(benchmark::State& state) {
  renderFrames(state, kBarsDefault);
}
void BM_Plot_Bars_HeaviestFrameRendered(benchmark::State& state) {
  renderFrames(state, kBarsHeaviest);
}
void BM_Plot_WaveBars_DefaultFrame(benchmark::State& state) {
  computeFrames(state, kWaveBarsDefault);
}
void BM_Plot_WaveBars_HeaviestFrame(benchmark::State& state) {
  computeFrames(state, kWaveBarsHeaviest);
}
void BM_Plot_WaveBars_DefaultFrameRendered(benchmark::State& state) {
  renderFrames(state, kWaveBarsDefault);
}
void BM_Plot_WaveBars_HeaviestFrameRendered(benchmark::State& state) {
  renderFrames(state, kWaveBarsHeaviest);
}

// The baseline for the wave-bars frame: its levels the way they were first computed, five full
// passes per channel with the C library's logarithm and every sliding window summed.
void BM_Plot_WaveBars_FivePassLevelsBaseline(benchmark::State& state) {
  plot_bench::Frame frame(kWaveBarsHeaviest);
  constexpr std::size_t T = 20 * 4096;
  constexpr std::size_t L = (2 * T) / (128 + 1);
  std::vector<float> levels(T), sums(T);
  const float q = 1.0f / 30.0f;
  for (auto _ : state) {
    for (const float* samples : frame.record->data) {
      for (std::size_t i = 0; i < T; ++i) levels[i] = std::fabs(samples[i]);
      for (std::size_t i = 0; i < T; ++i) levels[i] = 20.0f * std::log10(levels[i]);
      for (std::size_t i = 0; i < T; ++i) levels[i] = levels[i] * q + 1.0f;
      for (std::size_t i = 0; i < T; ++i) levels[i] = std::clamp(levels[i], 0.0f, 1.0f);
      double sum = 0;
      for (std::size_t i = 0; i < L; ++i) sum += levels[i];
      sums[0] = static_cast<float>(sum);
      for (std::size_t i = 1; i + L <= T; ++i) {
        sum += static_cast<double>(levels[i + L - 1]) - static_cast<double>(levels[i - 1]);
        sums[i] = static_cast<float>(sum);
      }
      benchmark::DoNotOptimize(sums.data());
    }
  }
}

void BM_Plot_Bars_HeaviestFrameRenderedCairoBest(benchmark::State& state) {
  plot_bench::renderFramesCairoBest(state, kBarsHeaviest);
}
void BM_Plot_WaveBars_HeaviestFrameRenderedCairoBest(benchmark::State& state) {
  plot_bench::renderFramesCairoBest(state, kWaveBarsHeaviest);
}

BENCHMARK(BM_Plot_Bars_DefaultFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Bars_LockScreenFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Bars_LockScreenFrameCold)->Unit(benchmark::kMicrosecond)->Iterations(300);
BENCHMARK(BM_Plot_Bars_HeaviestFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Bars_DefaultFrameRendered)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Bars_HeaviestFrameRendered)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_WaveBars_DefaultFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_WaveBars_HeaviestFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_WaveBars_FivePassLevelsBaseline)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_WaveBars_DefaultFrameRendered)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_WaveBars_HeaviestFrameRendered)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Plot_Bars_HeaviestFrameRenderedCairoBest)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_WaveBars_HeaviestFrameRenderedCairoBest)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
