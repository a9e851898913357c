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
#include <thread>
#include <vector>

#include "CommandRegistry.h"
#include "Picture.h"
#include "PictureQueue.h"
#include "ProgressBar.h"
#include "Renderer/Renderer.h"
#include "SettingsText.h"
#include "SongCapture.h"
#include "SongReader.h"
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

// The encoding thread: pictures and audio in the order they were drawn.
void encodeAll(video::VideoEncoder& encoder, video::PictureQueue& queue, std::string* error,
               std::atomic<bool>* failed) {
  video::EncodingWork work;
  bool written = true;
  while (written && queue.pop(&work)) {
    written = (work.picture.empty() ||
               encoder.addPicture(work.picture.rgba.data(), work.picture.width * 4, error)) &&
              encoder.addAudio(work.left.data(), work.right.data(), work.left.size(), error);
  }
  if (written) written = encoder.finish(error);
  if (!written) {
    *failed = true;
    queue.abandon();
  }
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

struct Outcome {
  int ticks = 0;
  std::string error;  // empty when every tick was drawn and handed on
};

// Tick after tick until the song ends: the renders due merged, the plot drawn as the lock
// screen's task draws it, the picture rasterised and queued with the audio read meanwhile.
Outcome drawTicks(const VideoRequest& request, video::SongCapture& capture,
                  video::VideoScene& scene, video::PictureQueue& queue,
                  const std::atomic<bool>& encodeFailed, unsigned sampleRate,
                  std::int64_t declaredFrames) {
  render::RenderOptions renderOptions;
  renderOptions.scale = scene.scale;
  render::Renderer renderer(renderOptions);
  const auto started = std::chrono::steady_clock::now();
  const std::int64_t rate = sampleRate;
  const int expectedTicks = static_cast<int>(
      (std::max<std::int64_t>(declaredFrames, 1) * video::kTicksPerSecond + rate - 1) / rate);
  tools::ProgressBar progress(expectedTicks);
  auto report = [&](int ticks, bool done) {
    const double seconds = static_cast<double>(ticks) / video::kTicksPerSecond;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char detail[64];
    std::snprintf(detail, sizeof detail, "%s of %s  %.1f× real time", clock(seconds).c_str(),
                  clock(static_cast<double>(declaredFrames) / static_cast<double>(rate)).c_str(),
                  wall > 0 ? seconds / wall : 0.0);
    const int tenths = done ? 10 : std::min(ticks * 10 / std::max(expectedTicks, 1), 9);
    progress.show(done ? expectedTicks : ticks, detail,
                  "writing " + request.out + ": " + std::to_string(tenths * 10) + "%");
  };

  auto* history = const_cast<serverDataStruct*>(&capture.history());
  Outcome outcome;
  for (;; ++outcome.ticks) {
    // Tick n shows the audio up to n/30 s: every render that has ended by then is merged.
    const std::int64_t sample = outcome.ticks * rate / video::kTicksPerSecond;
    if (!capture.renderUpTo(sample)) {
      outcome.error = request.song + ": its audio cannot be decoded";
      break;
    }
    if (interrupted) outcome.error = request.out + ": interrupted; nothing written";
    if (!capture.holdsSample(sample) || interrupted || encodeFailed) break;
    // The lock screen's drawing task: the visible plot draws from the history record itself.
    msgSend<void>(scene.plot.get(), "updateDataAndDraw:", history);
    renderer.draw(scene.root);
    video::EncodingWork work{renderer.image(), capture.freshLeft(), capture.freshRight()};
    capture.takeFresh();
    if (!queue.push(std::move(work))) break;
    if (outcome.ticks % 10 == 0) report(outcome.ticks, false);
  }
  if (outcome.error.empty() && !encodeFailed) {
    queue.push({render::Image(), capture.freshLeft(), capture.freshRight()});
    report(outcome.ticks, true);
  }
  progress.finish();
  return outcome;
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
  video::PictureQueue queue(3);
  std::string encodeError;
  std::atomic<bool> encodeFailed{false};
  std::thread encoding(encodeAll, std::ref(encoder), std::ref(queue), &encodeError, &encodeFailed);
  const Outcome outcome = drawTicks(request, capture, scene, queue, encodeFailed,
                                    inputs.song->sampleRate(), inputs.song->declaredFrames());
  queue.close();
  encoding.join();
  if (!outcome.error.empty() || encodeFailed) {
    fs::remove(partial, ignored);
    return fail(!outcome.error.empty() ? outcome.error : request.out + ": " + encodeError);
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
              request.out.c_str(), clock(duration).c_str(), outcome.ticks, video::kTicksPerSecond,
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
