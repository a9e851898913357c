// One tick of the Music app's plot on its main thread: the display link's drawPlot:, then the
// drawing task's exchange of message 2 with SpringBoard's service (a stand-in on its own thread)
// and the drawing from the reply. Beside it, the same plot drawing from a record in this process:
// what the exchange adds. p50 and p99 as counters.

#include <benchmark/benchmark.h>

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFRunLoop.h>
#include <Foundation/Foundation.h>
#include <HostCommon/SystemVersion.h>
#include <QuartzCore/CADisplayLink.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "AppTestService.h"
#include "MusicClasses.h"
#include "Percentile.h"
#include "TempDevice.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/SharedRecords.h"
#include "Vellamor2/Startup.h"

namespace {

double nowMicroseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// This process plays the Music app (iOS 10) with its now-playing screen on and the plot shown;
// the display link is stopped so that only the benchmark's ticks draw. The drawing target.
id musicAppWithPlot() {
  static testing_support::TempDevice device;
  static id target = [] {
    NSBundle::mainBundle()->setBundleIdentifier("com.apple.Music");
    kCFCoreFoundationVersionNumber = host::coreFoundationVersionOf(10);
    music::defineClasses(10);
    for (const vellamor2::StartupStep& step : vellamor2::startupSequence()) step.run();
    auto settings = NSMutableDictionary::dictionary();
    settings->setObject(NSNumber::numberWithBool(true).get(), "enabledMusic");
    app_test::answerSettings(settings.get());
    if (!app_test::startService()) return static_cast<id>(nullptr);
    music::showNowPlaying();
    auto* link = objc::cast<CADisplayLink>(musicAppState->displayLink.get());
    if (link == nullptr) return static_cast<id>(nullptr);
    id drawingTarget = link->target();
    drawingTarget->retain();
    link->invalidate();
    return drawingTarget;
  }();
  return target;
}

void reportPercentiles(benchmark::State& state, std::vector<double>& microseconds) {
  if (microseconds.empty()) return;
  state.counters["p50_us"] = figures::percentile(microseconds, 50);
  state.counters["p99_us"] = figures::percentile(microseconds, 99);
}

void BM_MusicApp_Tick(benchmark::State& state) {
  id target = musicAppWithPlot();
  if (target == nullptr) {
    state.SkipWithError("no plot in the Music app");
    return;
  }
  std::vector<double> microseconds;
  for (auto _ : state) {
    const int requests = app_test::counts().historyRequests;
    const double start = nowMicroseconds();
    msgSend<void>(target, "drawPlot:", static_cast<id>(nullptr));
    while (app_test::counts().historyRequests == requests)
      CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, true);
    microseconds.push_back(nowMicroseconds() - start);
  }
  reportPercentiles(state, microseconds);
}

void BM_MusicApp_DrawWithoutExchange(benchmark::State& state) {
  if (musicAppWithPlot() == nullptr) {
    state.SkipWithError("no plot in the Music app");
    return;
  }
  auto record = std::make_unique<serverDataStruct>();
  record->numberBuffers = 2;
  record->numberFrames = 1024;
  std::vector<double> microseconds;
  int phase = 0;
  for (auto _ : state) {
    ++phase;
    for (int channel = 0; channel < 2; ++channel)
      for (int i = 0; i < kHistoryPackets * 1024; ++i)
        record->data[channel][i] = 0.5f * std::sin(0.01f * static_cast<float>(i + 37 * phase));
    const double start = nowMicroseconds();
    msgSend<void>(musicAppState->plot.get(), "updateDataAndDraw:", record.get());
    microseconds.push_back(nowMicroseconds() - start);
  }
  reportPercentiles(state, microseconds);
}

BENCHMARK(BM_MusicApp_Tick)->Iterations(600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MusicApp_DrawWithoutExchange)->Iterations(600)->Unit(benchmark::kMicrosecond);

}  // namespace
