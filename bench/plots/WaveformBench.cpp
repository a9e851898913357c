// Waveform frames over a 375-point artwork: computing and building the paths only, and the
// same frame rendered at 2×.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "HistorySource.h"
#include "PlotPreview.h"
#include "Renderer/Renderer.h"
#include "SettingsText.h"
#include "objc/message.h"

namespace {

const std::vector<std::string> kDefault = {};
// 16 packets of 4096 frames (L = 65,536) through the low-pass and phase stripping.
const std::vector<std::string> kHeaviest = {"WaveBuffersPerPlot=16", "WaveLowPassFilter=true",
                                            "WaveLPFAmount=0.1", "WaveStripPhase=true",
                                            "WaveSmudge=0.3"};

struct Frame {
  explicit Frame(const std::vector<std::string>& assignments) {
    std::string error;
    auto settings = preview::settingsFromAssignments(assignments, &error);
    preview::synthesiseHistory(*record, {}, &error);
    scene = preview::makeScene(settings, preview::Artwork::cover, CGSizeMake(375, 375));
  }
  ~Frame() { scene.plot->clear(); }
  void draw() { msgSend<void>(scene.plot.get(), "updateDataAndDraw:", record.get()); }

  std::unique_ptr<serverDataStruct> record = preview::makeEmptyRecord();
  preview::Scene scene;
};

void computeFrames(benchmark::State& state, const std::vector<std::string>& assignments) {
  Frame frame(assignments);
  for (auto _ : state) {
    frame.draw();
    benchmark::DoNotOptimize(frame.scene.plot.get());
  }
}

void renderFrames(benchmark::State& state, const std::vector<std::string>& assignments) {
  Frame frame(assignments);
  render::Renderer renderer;
  for (auto _ : state) {
    frame.draw();
    renderer.draw(frame.scene.artwork);
    benchmark::ClobberMemory();
  }
}

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

BENCHMARK(BM_Plot_Waveform_DefaultFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Waveform_HeaviestFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Plot_Waveform_DefaultFrameRendered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Plot_Waveform_HeaviestFrameRendered)->Unit(benchmark::kMillisecond);

}  // namespace
