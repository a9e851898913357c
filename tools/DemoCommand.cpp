// vellamor demo [--audio FILE | --live] [--system 9|10] [--seconds N] [--out DIR]: the main job.
// A fresh device plays the built-in track (or the file, or the desktop's sound), the lock screen
// shows its now-playing artwork, and each visualisation in turn is recorded for a few seconds:
// PNG frames, a contact sheet with one labelled frame per visualisation, an animated WebP and a
// summary of what the system did. The device comes down at the end and on Ctrl-C.

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <Foundation/Foundation.h>
#include <Renderer/Image.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "CommandRegistry.h"
#include "DemoPictures.h"
#include "Device/Device.h"
#include "DeviceSession.h"
#include "HostControl/ControlClient.h"
#include "HostControl/RenderToScreen.h"
#include "NowPlaying.h"
#include "Percentile.h"
#include "ProgressBar.h"

namespace {

namespace fs = std::filesystem;

struct Visualisation {
  int visMethod;
  const char* label;
  const char* plotClass;
};

constexpr Visualisation kVisualisations[] = {
    {0, "Waveform", "WavePlotWaveform"}, {1, "Wave bars", "WavePlotWaveBars"},
    {2, "Bars", "WavePlotBars"},         {3, "Joyplot", "WavePlotJoyplot"},
    {99, "Debug", "WavePlotDebug"},
};

constexpr int kFramesPerSecond = 5;
constexpr double kFrameScale = 1;     // device pixels per point of the captured frames
constexpr unsigned kSheetShrink = 2;  // contact sheet and animation at half the frame size
constexpr int kLatencyRounds = 15;

struct Options {
  tools::DeviceSession session;  // --audio, --live, --system
  int seconds = 3;
  std::string out = "out/demo";
};

std::atomic<bool> interrupted{false};

void onInterrupt(int) {
  interrupted = true;
}

std::uint64_t nowNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

// Sleeps until CLOCK_MONOTONIC `deadline`, or less when interrupted.
void sleepUntil(std::uint64_t deadline) {
  while (!interrupted) {
    const std::uint64_t now = nowNanoseconds();
    if (now >= deadline) return;
    const std::uint64_t wait = std::min<std::uint64_t>(deadline - now, 50'000'000);
    timespec pause{0, static_cast<long>(wait)};
    nanosleep(&pause, nullptr);
  }
}

void sleepMilliseconds(int milliseconds) {
  sleepUntil(nowNanoseconds() + static_cast<std::uint64_t>(milliseconds) * 1'000'000);
}

struct Percentiles {
  double median = 0;
  double p99 = 0;
  std::size_t count = 0;
};

Percentiles percentilesOf(std::vector<double> values) {
  Percentiles result;
  result.count = values.size();
  result.median = figures::percentile(values, 50);
  result.p99 = figures::percentile(values, 99);
  return result;
}

double numberField(const std::string& reply, const std::string& key) {
  return std::atof(tools::replyField(reply, key).c_str());
}

bool askHost(const std::string& host, const std::string& request, std::string* reply = nullptr) {
  std::string ignored;
  return control::request(host, request, reply != nullptr ? reply : &ignored);
}

bool ask(const std::string& request, std::string* reply = nullptr) {
  return askHost("SpringBoard", request, reply);
}

// The lock screen shows a new plot of `visualisation`: the setting is stored and announced,
// then the artwork goes away and comes back (a plot takes its settings when it is made). The
// class shown is the plot's, or the waveform where that plot is not built; which one came is
// read back from SpringBoard.
std::string showVisualisation(const Visualisation& visualisation) {
  auto number = NSNumber::numberWithInteger(visualisation.visMethod);
  tools::storeSetting("VisMethod", number.get(), true);
  std::string shown;
  for (int attempt = 0; attempt < 10 && !interrupted; ++attempt) {
    sleepMilliseconds(attempt == 0 ? 40 : 80);  // the settings manager reloads on its run loop
    ask("hide-artwork");
    ask("show-artwork");
    std::string reply;
    if (!ask("figures", &reply)) continue;
    shown = tools::replyField(reply, "plot");
    if (shown == visualisation.plotClass) break;
  }
  return shown;
}

struct Recording {
  std::vector<std::string> frameFiles;
  std::vector<demo::LabelledFrame> sheet;
  std::vector<demo::LabelledFrame> musicSheet;
  std::vector<demo::LabelledFrame> spotifySheet;
  std::vector<double> captureMilliseconds;
  std::vector<double> latencyMilliseconds;
  std::vector<double> musicLatencyMilliseconds;
  std::vector<double> spotifyLatencyMilliseconds;
  std::string figures;
  std::string audioStatus;
  std::string musicFigures;
  std::string spotifyFigures;
};

std::string labelOf(const Visualisation& visualisation) {
  return std::to_string(visualisation.visMethod) + " " + visualisation.label;
}

// One second of an app's now-playing screen with the visualisation just stored: the screen comes
// on (its plot fetches the settings), five frames are captured, and it goes away again.
void recordApp(const std::string& host, const Visualisation& visualisation, const fs::path& frames,
               std::vector<demo::LabelledFrame>& sheet) {
  std::string nowPlaying;
  tools::passOnNowPlaying(&nowPlaying);  // where the track is now
  askHost(host, "show-now-playing");
  std::string lastFrame;
  const std::uint64_t start = nowNanoseconds() + 200'000'000;  // its first frames drawn
  for (int i = 0; i < kFramesPerSecond && !interrupted; ++i) {
    sleepUntil(start + static_cast<std::uint64_t>(i) * 1'000'000'000u / kFramesPerSecond);
    char name[64];
    std::snprintf(name, sizeof name, "%s%02d-%03d.png", host.c_str(), visualisation.visMethod, i);
    const std::string path = fs::absolute(frames / name).string();
    if (askHost(host, "capture " + path + " " + std::to_string(kFrameScale))) lastFrame = path;
  }
  askHost(host, "hide-now-playing");
  if (lastFrame.empty()) return;
  if (auto picture = render::readPng(lastFrame))
    sheet.push_back({demo::shrink(*picture, kSheetShrink), host + " " + labelOf(visualisation)});
}

// The road of a render to an app's screen, while that screen is on.
void timeRoadTo(const std::string& host, std::vector<double>& milliseconds, std::string& figures) {
  askHost(host, "show-now-playing");
  for (int round = 0; round < kLatencyRounds && !interrupted; ++round)
    if (auto latency = control::timeRenderToScreen(host)) milliseconds.push_back(*latency);
  askHost(host, "figures", &figures);
  askHost(host, "hide-now-playing");
}

int fail(const std::string& message) {
  std::fprintf(stderr, "vellamor demo: %s\n", message.c_str());
  return 1;
}

void record(const Options& options, const fs::path& frames, Recording& recording) {
  std::string nowPlaying;
  tools::passOnNowPlaying(&nowPlaying);  // the lock screen's title and artist
  const int perVisualisation = options.seconds * kFramesPerSecond;
  tools::ProgressBar progress(perVisualisation * static_cast<int>(std::size(kVisualisations)));
  int done = 0;
  for (const Visualisation& visualisation : kVisualisations) {
    if (interrupted) break;
    const std::string shown = showVisualisation(visualisation);
    std::string lastFrame;
    const std::uint64_t start = nowNanoseconds();
    for (int i = 0; i < perVisualisation && !interrupted; ++i) {
      sleepUntil(start + static_cast<std::uint64_t>(i) * 1'000'000'000u / kFramesPerSecond);
      char name[64];
      std::snprintf(name, sizeof name, "vis%02d-%03d.png", visualisation.visMethod, i);
      const std::string path = fs::absolute(frames / name).string();
      std::string reply;
      if (ask("capture " + path + " " + std::to_string(kFrameScale), &reply)) {
        recording.frameFiles.push_back(path);
        recording.captureMilliseconds.push_back(numberField(reply, "captured_us") / 1000);
        lastFrame = path;
      }
      const std::string label = std::to_string(visualisation.visMethod) + " " + visualisation.label;
      progress.show(++done, label, "recording " + label);
    }
    if (!lastFrame.empty()) {
      if (auto picture = render::readPng(lastFrame)) {
        std::string label = labelOf(visualisation);
        if (!shown.empty() && shown != visualisation.plotClass) label += " (not built)";
        recording.sheet.push_back({demo::shrink(*picture, kSheetShrink), label});
      }
    }
    recordApp("Music", visualisation, frames, recording.musicSheet);
    recordApp("Spotify", visualisation, frames, recording.spotifySheet);
  }
  progress.finish();
  if (interrupted) return;

  ask("figures", &recording.figures);
  askHost(control::kAudioDaemon, "status", &recording.audioStatus);
  for (int round = 0; round < kLatencyRounds && !interrupted; ++round)
    if (auto latency = control::timeRenderToScreen())
      recording.latencyMilliseconds.push_back(*latency);
  timeRoadTo("Music", recording.musicLatencyMilliseconds, recording.musicFigures);
  timeRoadTo("Spotify", recording.spotifyLatencyMilliseconds, recording.spotifyFigures);
  askHost(control::kAudioDaemon, "resume");  // playing again, whatever happened
}

void writePictures(const fs::path& out, Recording& recording, std::vector<std::string>& written) {
  if (!recording.sheet.empty()) {
    const auto sheet =
        demo::contactSheet({recording.sheet, recording.musicSheet, recording.spotifySheet});
    std::string error;
    if (render::writePng(sheet, (out / "contact-sheet.png").string(), &error))
      written.push_back((out / "contact-sheet.png").string());
    else
      std::fprintf(stderr, "vellamor demo: contact sheet: %s\n", error.c_str());
  }
  std::vector<render::Image> animation;
  for (const auto& file : recording.frameFiles)
    if (auto picture = render::readPng(file))
      animation.push_back(demo::shrink(*picture, kSheetShrink));
  if (!animation.empty()) {
    std::string error;
    if (demo::writeAnimatedWebP(animation, 1000 / kFramesPerSecond,
                                (out / "animation.webp").string(), &error))
      written.push_back((out / "animation.webp").string());
    else
      std::fprintf(stderr, "vellamor demo: animation: %s\n", error.c_str());
  }
}

std::string fixed(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// A figure of SpringBoard's reply in milliseconds (the reply gives microseconds), or "-".
std::string milliseconds(const std::string& reply, const char* key) {
  return tools::replyField(reply, key).empty() ? "-" : fixed(numberField(reply, key) / 1000);
}

std::string orZero(const std::string& value) {
  return value.empty() ? "0" : value;
}

// The render-to-screen line of the summary.
std::string roadOf(const Percentiles& latency, const std::string& screen) {
  if (latency.count == 0) return "no newer packet reached " + screen;
  return fixed(latency.median) + " ms median, " + fixed(latency.p99) +
         " ms p99 (from resuming the audio daemon to the first new frame of " + screen + ", " +
         std::to_string(latency.count) + " times)";
}

std::string summaryOf(const Options& options, const Recording& recording,
                      const std::vector<std::string>& written) {
  const std::string& f = recording.figures;
  const auto capture = percentilesOf(recording.captureMilliseconds);
  const auto latency = percentilesOf(recording.latencyMilliseconds);
  const std::string source = !options.session.audioFile.empty() ? options.session.audioFile
                             : options.session.liveAudio ? "live capture from the sound server"
                                                         : "the built-in track";
  const std::string road = roadOf(latency, "the lock screen");
  const std::string musicRoad =
      roadOf(percentilesOf(recording.musicLatencyMilliseconds), "the Music screen");
  const std::string spotifyRoad =
      roadOf(percentilesOf(recording.spotifyLatencyMilliseconds), "the Spotify screen");
  char text[2048];
  std::snprintf(
      text, sizeof text,
      "Vellamor2 demo: iOS %d, %s, %zu visualisations x %d s\n"
      "  frames            %zu PNG\n"
      "  audio renders     %s (the audio daemon's buffers, from its status)\n"
      "  ticks             %s of the lock screen's display link: %s drawn, %s dropped\n"
      "  drawing           median %s ms, p99 %s ms\n"
      "  screen snapshot   median %s ms, p99 %s ms (%zu captures)\n"
      "  render to screen  %s\n"
      "  Music app         %zu labelled frames, %s new frames of its screen\n"
      "  render to Music   %s\n"
      "  Spotify           %zu labelled frames, %s new frames of its screen\n"
      "  render to Spotify %s\n",
      options.session.system, source.c_str(), std::size(kVisualisations), options.seconds,
      recording.frameFiles.size(),
      orZero(tools::replyField(recording.audioStatus, "renders")).c_str(),
      orZero(tools::replyField(f, "ticks")).c_str(), orZero(tools::replyField(f, "drawn")).c_str(),
      orZero(tools::replyField(f, "dropped")).c_str(), milliseconds(f, "draw_p50_us").c_str(),
      milliseconds(f, "draw_p99_us").c_str(), fixed(capture.median).c_str(),
      fixed(capture.p99).c_str(), capture.count, road.c_str(), recording.musicSheet.size(),
      orZero(tools::replyField(recording.musicFigures, "frames")).c_str(), musicRoad.c_str(),
      recording.spotifySheet.size(),
      orZero(tools::replyField(recording.spotifyFigures, "frames")).c_str(), spotifyRoad.c_str());
  std::string summary = text;
  for (const auto& file : written) summary += "  wrote             " + file + "\n";
  return summary;
}

int runDemo(const Options& options) {
  const fs::path out = fs::absolute(options.out);
  const fs::path deviceDirectory = out / "device";
  const fs::path frames = out / "frames";

  struct sigaction action {};
  action.sa_handler = &onInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  std::error_code ignored;
  fs::remove_all(frames, ignored);
  for (const char* old : {"contact-sheet.png", "animation.webp", "summary.txt"})
    fs::remove(out / old, ignored);
  fs::create_directories(frames);

  tools::DeviceSession session = options.session;
  session.directory = deviceDirectory;
  session.who = "vellamor demo";
  bool booted = false;
  std::string error;
  if (!tools::startDevice(session, interrupted, &booted, &error)) return fail(error);

  Recording recording;
  record(options, frames, recording);
  const bool down = tools::bringDeviceDown("vellamor demo");
  if (interrupted) {
    std::fprintf(stderr, "vellamor demo: interrupted; the device is %s\n",
                 down ? "down" : "NOT down");
    return 130;
  }

  std::vector<std::string> written;
  written.push_back(frames.string() + "/");
  writePictures(out, recording, written);
  written.push_back((out / "summary.txt").string());
  const std::string summary = summaryOf(options, recording, written);
  std::ofstream(out / "summary.txt") << summary;
  std::printf("%s", summary.c_str());
  return down ? 0 : 1;
}

const bool registered = tools::registerCommand([](CLI::App& app) {
  static Options options;
  auto* demo =
      app.add_subcommand("demo", "Record the lock screen's visualisations on a fresh device");
  tools::addSessionOptions(*demo, options.session);
  demo->add_option("--seconds", options.seconds, "Seconds per visualisation")
      ->check(CLI::Range(1, 60));
  demo->add_option("--out", options.out, "Where the pictures go (default out/demo)");
  demo->callback([] { tools::setExitCode(runDemo(options)); });
});

}  // namespace
