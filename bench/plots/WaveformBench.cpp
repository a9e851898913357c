// Waveform frames over a 375-point artwork: computing and building the paths only, and the
// same frame rendered at 2×.

#include <string>
#include <vector>

#include "PlotFrameBench.h"

namespace {

using plot_bench::computeFrames;
using plot_bench::renderFrames;

const std::vector<std::string> kDefault = {};
// 16 packets of 4096 frames (L = 65,536) through the low-pass and phase stripping.
const std::vector<std::string> kHeaviest = {"WaveBuffersPerPlot=16", "WaveLowPassFilter=true",
                                            "WaveLPFAmount=0.1", "WaveStripPhase=true",
                                            "WaveSmudge=0.3"};

void BM_Plot_Waveform_DefaultFrame(benchmark::State& state) {
  computeFrames(state, kDefault);
}
void BM_Plot_Waveform_HeaviestFrame(benchmark::State& state) {
  computeFrames(state, kHeaviest);
}
void BM_Plot_Waveform_DefaultFrameRendered(benchmark::State& state) {
  renderFrames(state, kDefault);
}
void BM_Plot_Waveform_HeaviestFrameRendered(benchmark::State& state) {
  renderFrames(state, kHeaviest);
}

void BM_Plot_Waveform_DefaultFrameRenderedCairoBest(benchmark::State& state) {
  plot_bench::renderFramesCairoBest(state, kDefault);
}
void BM_Plot_Waveform_HeaviestFrameRenderedCairoBest(benchmark::State& state) {
  plot_bench::renderFramesCairoBest(state, kHeaviest);
}

void BM_Plot_Waveform_HeaviestFrameRenderedEnvelopes(benchmark::State& state) {
  plot_bench::renderFramesEnvelopes(state, kHeaviest);
}

BENCHMARK(BM_Plot_Waveform_DefaultFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Waveform_HeaviestFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Waveform_DefaultFrameRendered)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Waveform_HeaviestFrameRendered)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Plot_Waveform_DefaultFrameRenderedCairoBest)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Waveform_HeaviestFrameRenderedCairoBest)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Waveform_HeaviestFrameRenderedEnvelopes)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
