// vellamor video SONG [Key=Value ...] --out FILE: the song as a visualiser video. The song is
// cut into the audio daemon's render buffers, each passed through the system's capture rules and
// the hub's merge; at every tick of the lock screen (30 a second) the plot that "VisMethod" names
// draws from the history as the lock screen's drawing task does, over the song's artwork; the
// pictures and the song are encoded with FFmpeg's libraries. The file appears under its name
// only once it is complete.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CommandRegistry.h"
#include "Picture.h"
#include "ProgressBar.h"
#include "SettingsText.h"
#include "SongCapture.h"
#include "SongReader.h"
#include "TickDrawing.h"
#include "VideoEncoder.h"
#include "VideoScene.h"

namespace {

namespace fs = std::filesystem;

struct VideoRequest {
  std::string song;
  std::vector<std::string> settings;
  std::string out;
  std::string format;
  std::string artwork;
  std::string screen = "artwork";
  int size = 720;
  bool lossless = false;
};

std::atomic<bool> interrupted{false};

int fail(const std::string& message) {
  std::fprintf(stderr, "vellamor video: %s\n", message.c_str());
  return 1;
}

// The container that --format names, or that the output's extension implies.
std::optional<video::Container> containerFor(const VideoRequest& request, std::string* error) {
  std::string name = request.format;
  if (name.empty()) {
    std::string extension = fs::path(request.out).extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    if (extension == "webm") return video::Container::webm;
    if (extension.empty() || extension == "mp4" || extension == "m4v") return video::Container::mp4;
    *error = request.out + ": unknown format '" + extension + "' (give --format mp4 or webm)";
    return std::nullopt;
  }
  if (name == "mp4") return video::Container::mp4;
  if (name == "webm") return video::Container::webm;
  *error = request.out + ": unknown format '" + name + "' (mp4 or webm)";
  return std::nullopt;
}

// A sibling of the output that no other run uses; renamed over the output when complete.
std::string temporaryNameFor(const std::string& out) {
  const fs::path path(out);
  return (path.parent_path() /
          ("." + path.filename().string() + ".part-" + std::to_string(::getpid())))
      .string();
}

std::string clock(double seconds) {
  const long tenths = std::lround(seconds * 10);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
  return text;
}

std::string megabytes(std::uintmax_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

void noteInterrupt(int) {
  interrupted = true;
}

struct Inputs {
  video::Container container = video::Container::mp4;
  StrongRef<NSMutableDictionary> settings;
  std::unique_ptr<video::SongReader> song;
  std::optional<render::Image> artwork;
};

// Everything from outside, checked before anything is written.
bool readInputs(const VideoRequest& request, Inputs* inputs, std::string* error) {
  if (request.out.empty()) {
    *error = "give the output file with --out FILE";
    return false;
  }
  const auto container = containerFor(request, error);
  if (!container) return false;
  inputs->container = *container;
  if (fs::is_directory(request.out)) {
    *error = request.out + ": is a folder";
    return false;
  }
  if (request.size < 16 || request.size > 4096) {
    *error = "--size " + std::to_string(request.size) + ": give 16 … 4096 pixels";
    return false;
  }
  inputs->settings = preview::settingsFromAssignments(request.settings, error);
  if (!inputs->settings) return false;
  inputs->song = video::SongReader::open(request.song, error);
  if (!inputs->song) return false;
  if (request.artwork.empty()) {
    inputs->artwork = video::embeddedCover(request.song);
  } else {
    inputs->artwork = video::readPicture(request.artwork, error);
    if (!inputs->artwork) return false;
  }
  return true;
}

// Draws and encodes every tick with a progress bar; the reason when it did not complete.
std::string drawTicks(const VideoRequest& request, video::SongCapture& capture,
                      video::VideoScene& scene, video::VideoEncoder& encoder, unsigned sampleRate,
                      std::int64_t declaredFrames, int* ticks) {
  const auto started = std::chrono::steady_clock::now();
  const std::int64_t rate = sampleRate;
  const int expectedTicks = static_cast<int>(
      (std::max<std::int64_t>(declaredFrames, 1) * video::kTicksPerSecond + rate - 1) / rate);
  tools::ProgressBar progress(expectedTicks);
  auto report = [&](int drawn, bool done) {
    const double seconds = static_cast<double>(drawn) / video::kTicksPerSecond;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char detail[64];
    std::snprintf(detail, sizeof detail, "%s of %s  %.1f× real time", clock(seconds).c_str(),
                  clock(static_cast<double>(declaredFrames) / static_cast<double>(rate)).c_str(),
                  wall > 0 ? seconds / wall : 0.0);
    const int tenths = done ? 10 : std::min(drawn * 10 / std::max(expectedTicks, 1), 9);
    progress.show(done ? expectedTicks : drawn, detail,
                  "writing " + request.out + ": " + std::to_string(tenths * 10) + "%");
  };
  const video::TickOutcome outcome = video::drawAndEncode(
      capture, scene, encoder, sampleRate, interrupted, [&](int drawn) { report(drawn, false); });
  *ticks = outcome.ticks;
  if (outcome.ending == video::TickOutcome::Ending::complete) report(outcome.ticks, true);
  progress.finish();
  switch (outcome.ending) {
    case video::TickOutcome::Ending::complete:
      return {};
    case video::TickOutcome::Ending::undecodable:
      return request.song + ": its audio cannot be decoded";
    case video::TickOutcome::Ending::stopped:
      return request.out + ": interrupted; nothing written";
    case video::TickOutcome::Ending::encodingFailed:
      break;
  }
  return request.out + ": " + outcome.encodingError;
}

int makeVideo(const VideoRequest& request) {
  std::string error;
  Inputs inputs;
  if (!readInputs(request, &inputs, &error)) return fail(error);
  // The first render is read before anything is written: an empty song writes nothing.
  video::SongCapture capture(*inputs.song);
  if (!capture.renderUpTo(0)) return fail(request.song + ": its audio cannot be decoded");
  if (capture.framesRead() == 0) return fail(request.song + ": the song is empty (no audio)");

  const video::Screen screen =
      request.screen == "lockscreen" ? video::Screen::lockscreen : video::Screen::artwork;
  video::VideoScene scene =
      video::makeVideoScene(screen, request.size, inputs.artwork, inputs.settings);
  video::EncoderSettings encoderSettings;
  encoderSettings.container = inputs.container;
  encoderSettings.width = scene.width;
  encoderSettings.height = scene.height;
  encoderSettings.sampleRate = inputs.song->sampleRate();
  encoderSettings.lossless = request.lossless;
  // From here on Ctrl-C stops the run and takes the partial file away.
  struct sigaction action {};
  action.sa_handler = &noteInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  const std::string partial = temporaryNameFor(request.out);
  std::error_code ignored;
  video::VideoEncoder encoder;
  if (!encoder.open(partial, encoderSettings, &error)) {
    fs::remove(partial, ignored);
    return fail(request.out + ": " + error);
  }

  const auto started = std::chrono::steady_clock::now();
  int ticks = 0;
  const std::string drawError =
      drawTicks(request, capture, scene, encoder, inputs.song->sampleRate(),
                inputs.song->declaredFrames(), &ticks);
  if (!drawError.empty()) {
    fs::remove(partial, ignored);
    return fail(drawError);
  }
  std::error_code renamed;
  fs::rename(partial, request.out, renamed);
  if (renamed) {
    fs::remove(partial, ignored);
    return fail(request.out + ": cannot be written (" + renamed.message() + ")");
  }

  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const double duration = static_cast<double>(capture.framesRead()) / inputs.song->sampleRate();
  std::printf("%s: %s of song, %d frames at %d a second, %d × %d, %.1f× real time (%.1f s), %s\n",
              request.out.c_str(), clock(duration).c_str(), ticks, video::kTicksPerSecond,
              scene.width, scene.height, wall > 0 ? duration / wall : 0.0, wall,
              megabytes(fs::file_size(request.out, ignored)).c_str());
  return 0;
}

const bool registered = tools::registerCommand([](CLI::App& app) {
  static VideoRequest request;
  auto* command =
      app.add_subcommand("video", "Turn a song into a video of the visualiser with its audio");
  command->add_option("song", request.song, "The song: WAV, FLAC, OGG, MP3, AAC, …")->required();
  command->add_option("settings", request.settings,
                      "Settings as Key=Value with stored names (VisMethod=2, BarsNumber=32)");
  command->add_option("--out", request.out, "The video file (.mp4 or .webm)")->required();
  command->add_option(
      "--format", request.format,
      "mp4 (H.264 and AAC) or webm (VP9 and Opus); by default the --out extension's");
  command->add_option("--artwork", request.artwork,
                      "Picture behind the plot (PNG, JPEG, …); by default the song's own cover, "
                      "else a sample cover");
  command->add_option("--size", request.size, "Width (and height) in pixels (default 720)");
  command
      ->add_option("--screen", request.screen,
                   "artwork: the plot over the artwork, square; lockscreen: the whole lock "
                   "screen")
      ->check(CLI::IsMember({"artwork", "lockscreen"}));
  command->add_flag("--lossless", request.lossless,
                    "Full-colour lossless pictures (large files; for comparing with drawings)");
  command->callback([] { tools::setExitCode(makeVideo(request)); });
});

}  // namespace
