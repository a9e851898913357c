// Joyplot and debug frames over a 375-point artwork: computing and building the paths only, and
// the same frame rendered at 2×, for the masked and open joyplot and the debug plot.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "HistorySource.h"
#include "PlotPreview.h"
#include "Renderer/Renderer.h"
#include "SettingsText.h"
#include "objc/message.h"

namespace {

const std::vector<std::string> kMasked = {"VisMethod=3", "JoyplotMask=true"};
const std::vector<std::string> kOpen = {"VisMethod=3", "JoyplotMask=false"};
const std::vector<std::string> kMaskedAmplitude = {"VisMethod=3", "JoyplotMask=true",
                                                   "ColourMethod=1"};
const std::vector<std::string> kDebug = {"VisMethod=99"};

struct StackedFrame {
  explicit StackedFrame(const std::vector<std::string>& assignments) {
    std::string error;
    auto settings = preview::settingsFromAssignments(assignments, &error);
    preview::synthesiseHistory(*record, {}, &error);
    scene = preview::makeScene(settings, preview::Artwork::cover, CGSizeMake(375, 375));
  }
  ~StackedFrame() { scene.plot->clear(); }
  void draw() { msgSend<void>(scene.plot.get(), "updateDataAndDraw:", record.get()); }

  std::unique_ptr<serverDataStruct> record = preview::makeEmptyRecord();
  preview::Scene scene;
};

void computeStackedFrames(benchmark::State& state, const std::vector<std::string>& assignments) {
  StackedFrame frame(assignments);
  for (auto _ : state) {
    frame.draw();
    benchmark::DoNotOptimize(frame.scene.plot.get());
  }
}

void renderStackedFrames(benchmark::State& state, const std::vector<std::string>& assignments) {
  StackedFrame frame(assignments);
  render::Renderer renderer;
  for (auto _ : state) {
    frame.draw();
    renderer.draw(frame.scene.artwork);
    benchmark::ClobberMemory();
  }
}

void BM_Plot_Joyplot_MaskedFrame(benchmark::State& state) {
  computeStackedFrames(state, kMasked);
}
void BM_Plot_Joyplot_OpenFrame(benchmark::State& state) {
  computeStackedFrames(state, kOpen);
}
void BM_Plot_Joyplot_MaskedAmplitudeFrame(benchmark::State& state) {
  computeStackedFrames(state, kMaskedAmplitude);
}
void BM_Plot_Debug_Frame(benchmark::State& state) {
  computeStackedFrames(state, kDebug);
}
void BM_Plot_Joyplot_MaskedFrameRendered(benchmark::State& state) {
  renderStackedFrames(state, kMasked);
}
void BM_Plot_Joyplot_OpenFrameRendered(benchmark::State& state) {
  renderStackedFrames(state, kOpen);
}
void BM_Plot_Debug_FrameRendered(benchmark::State& state) {
  renderStackedFrames(state, kDebug);
}

BENCHMARK(BM_Plot_Joyplot_MaskedFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Joyplot_OpenFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Joyplot_MaskedAmplitudeFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Debug_Frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Joyplot_MaskedFrameRendered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Joyplot_OpenFrameRendered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Debug_FrameRendered)->Unit(benchmark::kMillisecond);

}  // namespace
