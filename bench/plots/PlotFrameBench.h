#pragma once
// One plot over a 375-point artwork, drawn from a synthesised history, for the plot benchmarks:
// computing and building the paths only, or the same frame rendered at 2× as well. Rendered
// frames count the CPU time of every thread (the renderer's helper too); their real time is
// the wall time.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HistorySource.h"
#include "PlotPreview.h"
#include "Renderer/Renderer.h"
#include "SettingsText.h"
#include "objc/message.h"

namespace plot_bench {

// The plot that the stored-key settings choose, over the sample artwork.
struct Frame {
  explicit Frame(const std::vector<std::string>& assignments,
                 const preview::SynthesisOptions& history = {})
      : history(history) {
    std::string error;
    auto settings = preview::settingsFromAssignments(assignments, &error);
    preview::synthesiseHistory(*record, history, &error);
    scene = preview::makeScene(settings, preview::Artwork::cover, CGSizeMake(375, 375));
  }
  ~Frame() { scene.plot->clear(); }
  void draw() { msgSend<void>(scene.plot.get(), "updateDataAndDraw:", record.get()); }

  // Rendered frames draw two histories in turn (the second of every pair the first one), as a
  // playing track's frames differ: a renderer that keeps what did not change still draws the
  // plot every frame.
  void synthesiseSecondHistory() {
    std::string error;
    preview::SynthesisOptions otherNoise = history;
    otherNoise.seed = history.seed + 1;
    preview::synthesiseHistory(*other, otherNoise, &error);
  }
  void drawInTurn() {
    serverDataStruct* next = frames++ % 2 == 0 ? other.get() : record.get();
    msgSend<void>(scene.plot.get(), "updateDataAndDraw:", next);
  }

  preview::SynthesisOptions history;
  std::unique_ptr<serverDataStruct> record = preview::makeEmptyRecord();
  std::unique_ptr<serverDataStruct> other = preview::makeEmptyRecord();
  unsigned frames = 0;
  preview::Scene scene;
};

inline void computeFrames(benchmark::State& state, const std::vector<std::string>& assignments,
                          const preview::SynthesisOptions& history = {}) {
  Frame frame(assignments, history);
  for (auto _ : state) {
    frame.draw();
    benchmark::DoNotOptimize(frame.scene.plot.get());
  }
}

// A fingerprint (FNV-1a) of the picture after a fixed number of frames, beside the figures, so
// that a faster renderer shows whether its pictures stayed the same to the bit.
inline double pictureFingerprint(const std::vector<std::string>& assignments,
                                 const render::RenderOptions& options) {
  Frame frame(assignments);
  frame.synthesiseSecondHistory();
  render::Renderer renderer(options);
  for (int k = 0; k < 32; ++k) {
    frame.drawInTurn();
    renderer.draw(frame.scene.artwork);
  }
  std::uint32_t hash = 2166136261u;
  for (std::uint8_t byte : renderer.image().rgba) hash = (hash ^ byte) * 16777619u;
  return hash;
}

inline void renderFrames(benchmark::State& state, const std::vector<std::string>& assignments,
                         render::RenderOptions options = {}) {
  {
    Frame frame(assignments);
    frame.synthesiseSecondHistory();
    render::Renderer renderer(options);
    for (auto _ : state) {
      frame.drawInTurn();
      renderer.draw(frame.scene.artwork);
      benchmark::ClobberMemory();
    }
  }
  state.counters["picture"] = pictureFingerprint(assignments, options);
}

// The same frame with Cairo's best anti-aliasing for everything: the baseline of the renderer.
inline void renderFramesCairoBest(benchmark::State& state,
                                  const std::vector<std::string>& assignments) {
  render::RenderOptions options;
  options.rasterizer = render::Rasterizer::cairo;
  options.decimateDenseStrokes = false;
  renderFrames(state, assignments, options);
}

// The same frame with the renderer's helper thread sharing the rows of large fills and strokes.
inline void renderFramesHelperThread(benchmark::State& state,
                                     const std::vector<std::string>& assignments) {
  render::RenderOptions options;
  options.helperThread = true;
  renderFrames(state, assignments, options);
}

// The same frame with dense strokes drawn as their envelopes (not the default: it differs from
// the golden pictures at inner joins).
inline void renderFramesEnvelopes(benchmark::State& state,
                                  const std::vector<std::string>& assignments) {
  render::RenderOptions options;
  options.rasterizer = render::Rasterizer::envelopesOnCairo;
  renderFrames(state, assignments, options);
}

}  // namespace plot_bench
