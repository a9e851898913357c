// The time from a render in the audio daemon to the first frame of a host's screen that shows
// it, on a fresh device of each generation playing the built-in track (median and p99 as
// counters): the lock screen, and the apps' now-playing screens, measured the same way.

#include <benchmark/benchmark.h>

#include <CoreFoundation/CFPreferences.h>
#include <Foundation/Foundation.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "Device/Device.h"
#include "HostControl/ControlClient.h"
#include "HostControl/RenderToScreen.h"
#include "Launcher/DeviceInstaller.h"
#include "Launcher/Launcher.h"
#include "Percentile.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace {

// Boots a device, brings `host`'s now-playing screen on with `showRequest` and times the road.
void renderToScreen(benchmark::State& state, const std::string& host,
                    const std::string& showRequest) {
  testing_support::TempDevice device;
  std::string error;
  const int generation = static_cast<int>(state.range(0));
  if (!launcher::createDevice(device.path(), generation, launcher::currentBuild(), &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  auto yes = NSNumber::numberWithBool(true);
  CFPreferencesSetAppValue("EnabledLS", yes.get(), "org.vellamor2.service");
  CFPreferencesAppSynchronize("org.vellamor2.service");
  if (!launcher::up(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::vector<double> milliseconds;
  const bool drawing = testing_support::waitFor(
      [&] {
        std::string reply;
        control::request(host, showRequest, nullptr);
        return control::request(host, "first-change-after 0", &reply) && reply != "ok none";
      },
      std::chrono::seconds(20));
  for (auto _ : state) {
    const auto latency = drawing ? control::timeRenderToScreen(host) : std::nullopt;
    if (!latency) {
      state.SkipWithError(("no newer packet reached the screen of " + host).c_str());
      break;
    }
    milliseconds.push_back(*latency);
    state.SetIterationTime(*latency / 1000);
  }
  launcher::down(&error);
  if (milliseconds.empty()) return;
  state.counters["p50_ms"] = figures::percentile(milliseconds, 50);
  state.counters["p99_ms"] = figures::percentile(milliseconds, 99);
}

void BM_System_RenderToLockScreen(benchmark::State& state) {
  renderToScreen(state, "SpringBoard", "show-artwork");
}

void BM_System_RenderToMusicScreen(benchmark::State& state) {
  renderToScreen(state, "Music", "show-now-playing");
}

void BM_System_RenderToSpotifyScreen(benchmark::State& state) {
  renderToScreen(state, "Spotify", "show-now-playing");
}

BENCHMARK(BM_System_RenderToLockScreen)
    ->Arg(9)
    ->Arg(10)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_System_RenderToMusicScreen)
    ->Arg(9)
    ->Arg(10)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_System_RenderToSpotifyScreen)
    ->Arg(10)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

}  // namespace
