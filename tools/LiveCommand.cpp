// vellamor live [--device D] [--audio FILE | --live] [--system 9|10] [--port N] [--out DIR]
// [--measure SECONDS]: the phone's screens in a browser. A fresh device (or the given one) plays
// the built-in track (or the file, or the desktop's sound); a page on 127.0.0.1 shows every screen
// as its host's render server draws it, with the figures and the buttons of a person holding the
// phone. Ctrl-C brings the device down. --measure prints the page's figures from one run, then
// stops (live/LiveMeasure.h).

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CommandRegistry.h"
#include "Device/Device.h"
#include "DeviceSession.h"
#include "HostControl/ControlClient.h"
#include "HostControl/RenderToScreen.h"
#include "NowPlaying.h"
#include "Percentile.h"
#include "live/FrameFeed.h"
#include "live/LiveMeasure.h"
#include "live/LivePanels.h"
#include "live/LiveServer.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRenderToScreenRounds = 5;

struct Options {
  std::string device;
  tools::DeviceSession session;  // --audio, --live, --system
  int port = 0;
  double scale = 1;
  std::string out = "out/live";
  int measure = 0;
};

std::atomic<bool> interrupted{false};
// While --measure pauses and resumes the audio, the now-playing information is not passed on:
// a play-pause glyph or a time that changes would be taken for the render's frame.
std::atomic<bool> nowPlayingHeld{false};

void onInterrupt(int) {
  interrupted = true;
}

void pauseMilliseconds(long milliseconds) {
  timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1'000'000};
  nanosleep(&pause, nullptr);
}

// A count from a host's reply, as JSON: digits only, else `fallback`.
std::string numberOr(const std::string& text, const char* fallback) {
  if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos)
    return fallback;
  return text;
}

bool ask(const std::string& host, const std::string& request, std::string* reply = nullptr) {
  std::string ignored;
  return control::request(host, request, reply != nullptr ? reply : &ignored,
                          std::chrono::milliseconds(1000));
}

// The render-to-lock-screen time, a few rounds (each pauses the audio for a moment).
std::string measureRenderToScreen() {
  std::vector<double> times;
  for (int round = 0; round < kRenderToScreenRounds && !interrupted; ++round)
    if (auto time = control::timeRenderToScreen()) times.push_back(*time);
  ask(control::kAudioDaemon, "resume");  // playing again, whatever happened
  if (times.empty()) return "not measured";
  char text[64];
  std::snprintf(text, sizeof text, "%.0f ms (median of %zu)", figures::percentile(times, 50),
                times.size());
  return text;
}

// While a page is open, each panel's host asked for frames again (its request lapses unless
// renewed, so nobody's frames are drawn for nobody); each host's figures published to the page.
void publishFigures(live::FrameFeed& feed, double scale, bool pageOpen) {
  for (const live::Panel& panel : live::panels()) {
    std::string frames;
    if (pageOpen) ask(panel.host, "live-frames on " + std::to_string(scale));
    if (!ask(panel.host, "frame-figures", &frames)) continue;
    std::string figures;
    ask(panel.host, "figures", &figures);
    auto milliseconds = [&](const char* key) {
      const std::string value = tools::replyField(figures, key);
      if (value.empty()) return std::string("null");
      char text[32];
      std::snprintf(text, sizeof text, "\"%.2f\"", std::atof(value.c_str()) / 1000);
      return std::string(text);
    };
    feed.publish(
        std::string(panel.host) + "/figures", "figures",
        "{\"host\":" + live::jsonString(panel.host) +
            ",\"plot\":" + live::jsonString(tools::replyField(figures, "plot")) +
            ",\"drawn\":" + numberOr(tools::replyField(figures, "drawn"), "0") +
            ",\"dropped\":" + numberOr(tools::replyField(figures, "dropped"), "0") +
            ",\"drawP50\":" + milliseconds("draw_p50_us") +
            ",\"drawP99\":" + milliseconds("draw_p99_us") +
            ",\"commitMaxUs\":" + numberOr(tools::replyField(frames, "commit_max_us"), "0") +
            ",\"commitP50Us\":" + numberOr(tools::replyField(frames, "commit_p50_us"), "0") +
            ",\"commits\":" + numberOr(tools::replyField(frames, "commits"), "0") + "}");
  }
}

// Every process of the device, as recorded under run/pids.
std::vector<pid_t> devicePids() {
  std::vector<pid_t> pids;
  std::error_code error;
  for (const auto& record : fs::directory_iterator(device::runDirectory() / "pids", error))
    if (record.path().extension() == ".pid")
      if (const pid_t pid = tools::recordedPid(record.path().stem().string()); pid > 1)
        pids.push_back(pid);
  return pids;
}

// The page's figures from one run, printed; then the command stops.
std::thread startMeasuring(const Options& options, std::uint16_t port) {
  return std::thread([seconds = options.measure, port] {
    live::MeasureSetup setup;
    setup.port = port;
    setup.screens = {"SpringBoard", "Music", "Spotify"};
    setup.changingScreens = {"Preferences"};
    setup.devicePids = devicePids();
    setup.playing = std::chrono::seconds(seconds);
    setup.pauseAudio = [](bool paused) {
      nowPlayingHeld = true;
      ask(control::kAudioDaemon, paused ? "pause" : "resume");
    };
    setup.longestHold = [](const std::string& host) {
      std::string figures;
      ask(host, "frame-figures", &figures);
      return tools::replyField(figures, "commit_cpu_max_us") + " us CPU, " +
             tools::replyField(figures, "commit_max_us") + " us wall";
    };
    setup.interrupted = &interrupted;
    const std::string report = live::measureLivePage(setup);
    nowPlayingHeld = false;
    std::printf("%s", report.c_str());
    std::fflush(stdout);
    interrupted = true;
  });
}

int fail(const std::string& message) {
  std::fprintf(stderr, "vellamor live: %s\n", message.c_str());
  return 1;
}

int runLive(const Options& options) {
  struct sigaction action {};
  action.sa_handler = &onInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  tools::DeviceSession session = options.session;
  session.fresh = options.device.empty();
  session.directory =
      session.fresh ? fs::absolute(options.out) / "device" : fs::absolute(options.device);
  session.who = "vellamor live";
  bool booted = false;
  std::string error;
  if (!tools::startDevice(session, interrupted, &booted, &error)) return fail(error);
  auto bringDown = [&] { return !booted || tools::bringDeviceDown("vellamor live"); };

  std::string nowPlaying;
  tools::passOnNowPlaying(&nowPlaying);
  ask("SpringBoard", "show-artwork");
  // Every now-playing screen on, so each panel shows its plot from the start.
  ask("Music", "show-now-playing");
  ask("Spotify", "show-now-playing");
  const std::string renderToScreen = measureRenderToScreen();

  const fs::path framesDirectory = device::runSubdirectory("frames");
  live::FrameFeed feed(framesDirectory);
  if (framesDirectory.empty() || !feed.start(&error)) {
    bringDown();
    return fail(framesDirectory.empty() ? "no run directory for frames" : error);
  }
  live::LiveServer server(feed, [](const std::string& host, const std::string& request,
                                   std::string* reply) { return ask(host, request, reply); });
  if (!server.start(static_cast<std::uint16_t>(options.port), &error)) {
    feed.stop();
    bringDown();
    return fail(error);
  }
  const std::string source = options.session.liveAudio ? "the desktop's sound"
                             : !options.session.audioFile.empty()
                                 ? fs::path(options.session.audioFile).filename().string()
                                 : "the built-in track";
  feed.publish("status", "status",
               "{\"system\":" + std::to_string(options.session.system) +
                   ",\"source\":" + live::jsonString(source) +
                   ",\"renderToScreen\":" + live::jsonString(renderToScreen) + "}");
  std::printf("vellamor live: http://127.0.0.1:%u/  (Ctrl-C stops the device)\n", server.port());
  std::fflush(stdout);

  std::thread measuring;
  if (options.measure > 0) measuring = startMeasuring(options, server.port());
  while (!interrupted) {
    if (!nowPlayingHeld) tools::passOnNowPlaying(&nowPlaying);
    publishFigures(feed, options.scale, server.pagesOpen() > 0);
    for (int i = 0; i < 10 && !interrupted; ++i) pauseMilliseconds(50);
  }
  if (measuring.joinable()) measuring.join();
  for (const live::Panel& panel : live::panels()) ask(panel.host, "live-frames off");
  server.stop();
  feed.stop();
  const bool down = bringDown();
  std::fprintf(stderr, "vellamor live: stopped; the device is %s\n", down ? "down" : "NOT down");
  return down ? 0 : 1;
}

const bool registered = tools::registerCommand([](CLI::App& app) {
  static Options options;
  auto* live = app.add_subcommand("live", "Watch the phone's screens live in a browser");
  live->add_option("--device", options.device, "Watch this existing device instead of a fresh one")
      ->check(CLI::ExistingDirectory);
  tools::addSessionOptions(*live, options.session);
  live->add_option("--port", options.port, "Port on 127.0.0.1 (default: any free one)")
      ->check(CLI::Range(0, 65535));
  live->add_option("--scale", options.scale, "Device pixels per point of the frames")
      ->check(CLI::Range(0.5, 3.0));
  live->add_option("--out", options.out, "Where a fresh device is made (default out/live)");
  live->add_option("--measure", options.measure,
                   "Print the page's figures after SECONDS of play (and some pauses), then stop")
      ->check(CLI::Range(1, 600));
  live->callback([] {
    // The tool's --device names an existing device to watch.
    if (options.device.empty() && device::isConfigured()) options.device = device::root().string();
    tools::setExitCode(runLive(options));
  });
});

}  // namespace
