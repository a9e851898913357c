// Spectrum bars and wave bars frames over a 375-point artwork: computing and building the paths
// only, and the same frame rendered at 2×.

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

BENCHMARK(BM_Plot_Bars_DefaultFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Bars_HeaviestFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Bars_DefaultFrameRendered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Bars_HeaviestFrameRendered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_WaveBars_DefaultFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_WaveBars_HeaviestFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_WaveBars_DefaultFrameRendered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_WaveBars_HeaviestFrameRendered)->Unit(benchmark::kMillisecond);

}  // namespace
