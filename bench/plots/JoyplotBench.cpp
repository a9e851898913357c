// Joyplot and debug frames over a 375-point artwork: computing and building the paths only, and
// the same frame rendered at 2×, for the masked and open joyplot and the debug plot (also with
// the renderer's helper thread).

#include <string>
#include <vector>

#include "PlotFrameBench.h"

namespace {

using plot_bench::computeFrames;
using plot_bench::renderFrames;

const std::vector<std::string> kMasked = {"VisMethod=3", "JoyplotMask=true"};
const std::vector<std::string> kOpen = {"VisMethod=3", "JoyplotMask=false"};
const std::vector<std::string> kMaskedAmplitude = {"VisMethod=3", "JoyplotMask=true",
                                                   "ColourMethod=1"};
const std::vector<std::string> kDebug = {"VisMethod=99"};

void BM_Plot_Joyplot_MaskedFrame(benchmark::State& state) {
  computeFrames(state, kMasked);
}
void BM_Plot_Joyplot_OpenFrame(benchmark::State& state) {
  computeFrames(state, kOpen);
}
void BM_Plot_Joyplot_MaskedAmplitudeFrame(benchmark::State& state) {
  computeFrames(state, kMaskedAmplitude);
}
void BM_Plot_Debug_Frame(benchmark::State& state) {
  computeFrames(state, kDebug);
}
void BM_Plot_Joyplot_MaskedFrameRendered(benchmark::State& state) {
  renderFrames(state, kMasked);
}
void BM_Plot_Joyplot_OpenFrameRendered(benchmark::State& state) {
  renderFrames(state, kOpen);
}
void BM_Plot_Debug_FrameRendered(benchmark::State& state) {
  renderFrames(state, kDebug);
}

void BM_Plot_Joyplot_MaskedFrameRenderedCairoBest(benchmark::State& state) {
  plot_bench::renderFramesCairoBest(state, kMasked);
}
void BM_Plot_Joyplot_OpenFrameRenderedCairoBest(benchmark::State& state) {
  plot_bench::renderFramesCairoBest(state, kOpen);
}
void BM_Plot_Debug_FrameRenderedCairoBest(benchmark::State& state) {
  plot_bench::renderFramesCairoBest(state, kDebug);
}

void BM_Plot_Joyplot_MaskedFrameRenderedHelperThread(benchmark::State& state) {
  plot_bench::renderFramesHelperThread(state, kMasked);
}
void BM_Plot_Joyplot_OpenFrameRenderedHelperThread(benchmark::State& state) {
  plot_bench::renderFramesHelperThread(state, kOpen);
}
void BM_Plot_Debug_FrameRenderedHelperThread(benchmark::State& state) {
  plot_bench::renderFramesHelperThread(state, kDebug);
}

void BM_Plot_Joyplot_MaskedFrameRenderedEnvelopes(benchmark::State& state) {
  plot_bench::renderFramesEnvelopes(state, kMasked);
}
void BM_Plot_Joyplot_OpenFrameRenderedEnvelopes(benchmark::State& state) {
  plot_bench::renderFramesEnvelopes(state, kOpen);
}
void BM_Plot_Debug_FrameRenderedEnvelopes(benchmark::State& state) {
  plot_bench::renderFramesEnvelopes(state, kDebug);
}

BENCHMARK(BM_Plot_Joyplot_MaskedFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Joyplot_OpenFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Joyplot_MaskedAmplitudeFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Debug_Frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Joyplot_MaskedFrameRendered)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Joyplot_OpenFrameRendered)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Debug_FrameRendered)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Plot_Joyplot_MaskedFrameRenderedCairoBest)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Joyplot_OpenFrameRenderedCairoBest)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Debug_FrameRenderedCairoBest)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Joyplot_MaskedFrameRenderedHelperThread)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Joyplot_OpenFrameRenderedHelperThread)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Debug_FrameRenderedHelperThread)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Joyplot_MaskedFrameRenderedEnvelopes)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Joyplot_OpenFrameRenderedEnvelopes)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Debug_FrameRenderedEnvelopes)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
