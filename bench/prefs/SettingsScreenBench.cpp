// What a change in the Settings app costs its main thread: the root pane's grouped list (19 rows,
// five sections) laid out anew as layers, and committed as a snapshot for the render server;
// beside the baseline of drawing that screen's pixels (at 1×, as the live page's frames are),
// which the render server does on its own thread.

#include <benchmark/benchmark.h>

#include "GroupedList.h"
#include "Renderer/LayerSnapshot.h"
#include "Renderer/Renderer.h"
#include "UIKit/UIKit.h"

namespace {

using settings_app::ListRow;

settings_app::ListPage rootLikePage() {
  using Kind = ListRow::Kind;
  settings_app::ListPage page{"Vellamor2", "", {}};
  auto add = [&](Kind kind, const char* label, const char* value = "") {
    ListRow row;
    row.kind = kind;
    row.label = label;
    row.value = value;
    row.on = true;
    row.position = 0.4;
    page.rows.push_back(row);
  };
  add(Kind::group, "Show the visualiser on");
  for (const char* label : {"Lock screen", "Music", "Spotify"}) add(Kind::toggle, label);
  add(Kind::group, "Visualisation");
  add(Kind::choice, "Visualisation", "Waveform");
  add(Kind::choice, "Colours", "Stored colours");
  add(Kind::group, "Plots");
  for (const char* label : {"Waveform", "Wave bars", "Bars", "Joyplot"}) add(Kind::link, label);
  add(Kind::group, "Colours");
  for (const char* label : {"Primary colour", "Secondary colour", "Background colour"})
    add(Kind::link, label);
  add(Kind::group, "Audio");
  page.rows.back().footer =
      "Restarts the audio daemon, should the visualiser stop receiving sound.";
  add(Kind::button, "Restart mediaserverd");
  return page;
}

void BM_SettingsScreen_DrawRootPane(benchmark::State& state) {
  auto screen = UIView::viewWithFrame(CGRectMake(0, 0, 375, 667));
  const auto page = rootLikePage();
  for (auto _ : state) settings_app::drawGroupedList(screen->layer(), page, std::nullopt);
}

void BM_SettingsScreen_CommitRootPane(benchmark::State& state) {
  auto screen = UIView::viewWithFrame(CGRectMake(0, 0, 375, 667));
  settings_app::drawGroupedList(screen->layer(), rootLikePage(), std::nullopt);
  for (auto _ : state) benchmark::DoNotOptimize(render::snapshotLayerTree(screen->layer()));
}

// The baseline: the pixels, which the render server draws off the main thread.
void BM_SettingsScreen_RasteriseRootPane(benchmark::State& state) {
  auto screen = UIView::viewWithFrame(CGRectMake(0, 0, 375, 667));
  settings_app::drawGroupedList(screen->layer(), rootLikePage(), std::nullopt);
  render::RenderOptions options;
  options.scale = 1;
  render::Renderer renderer(options);
  for (auto _ : state) {
    renderer.draw(screen.get());
    benchmark::DoNotOptimize(renderer.image());
  }
}

BENCHMARK(BM_SettingsScreen_DrawRootPane)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SettingsScreen_CommitRootPane)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SettingsScreen_RasteriseRootPane)->Unit(benchmark::kMicrosecond);

}  // namespace
