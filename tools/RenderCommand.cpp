// vellamor render [Key=Value ...] --out FILE [--svg FILE] [--json FILE] ...: draws one plot over
// a sample artwork, from a synthesised history, a recorded one or an audio file's up to a time,
// and writes the last frame.
// Settings take their stored names ("WaveGain=2.5"); "VisMethod" chooses the plot.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "CommandRegistry.h"
#include "HistorySource.h"
#include "PlotPreview.h"
#include "Renderer/LayerTreeExport.h"
#include "Renderer/Renderer.h"
#include "SampleArtwork.h"
#include "SettingsText.h"
#include "SongCapture.h"
#include "SongReader.h"

namespace {

struct RenderRequest {
  std::vector<std::string> settings;
  std::string pngPath;
  std::string svgPath;
  std::string jsonPath;
  std::string historyPath;
  std::string writeHistoryPath;
  std::string audioPath;
  double at = -1;
  std::string signal = "music";
  std::string artwork = "cover";
  int channels = 2;
  int framesPerPacket = 4096;
  double amplitude = 0.8;
  double frequency = 440.0;
  unsigned seed = 1;
  int frames = 1;
  double width = 375;
  double height = 375;
  double scale = 2.0;
};

int fail(const std::string& message) {
  std::fprintf(stderr, "vellamor render: %s\n", message.c_str());
  return 1;
}

bool writeText(const std::string& path, const std::string& text, std::string* error) {
  std::ofstream file(path, std::ios::trunc);
  if (!file || !(file << text) || !file.flush()) {
    *error = path + ": cannot be written";
    return false;
  }
  return true;
}

int render(const RenderRequest& request) {
  if (request.pngPath.empty() && request.svgPath.empty() && request.jsonPath.empty())
    return fail("nothing to write: give --out FILE, --svg FILE or --json FILE");

  std::string error;
  auto settings = preview::settingsFromAssignments(request.settings, &error);
  if (!settings) return fail(error);
  const auto artwork = preview::artworkNamed(request.artwork);
  if (!artwork) return fail("unknown artwork '" + request.artwork + "' (cover, plain or none)");

  auto record = preview::makeEmptyRecord();
  if (!request.historyPath.empty()) {
    if (!preview::readHistoryFile(request.historyPath, *record, &error)) return fail(error);
  } else if (!request.audioPath.empty()) {
    if (request.at < 0) return fail("give the time in the song with --at SECONDS");
    auto song = video::SongReader::open(request.audioPath, &error);
    if (!song) return fail(error);
    // The history as the lock screen draws from it at the tick of that time.
    video::SongCapture capture(*song);
    const auto sample =
        static_cast<std::int64_t>(std::floor(request.at * song->sampleRate() + 1e-6));
    if (!capture.renderUpTo(sample))
      return fail(request.audioPath + ": its audio cannot be decoded");
    std::memcpy(record.get(), &capture.history(), sizeof(serverDataStruct));
  } else {
    const auto signal = preview::signalNamed(request.signal);
    if (!signal)
      return fail("unknown signal '" + request.signal + "' (tone, noise, silence or music)");
    preview::SynthesisOptions options;
    options.signal = *signal;
    options.channels = request.channels;
    options.frames = request.framesPerPacket;
    options.amplitude = request.amplitude;
    options.frequency = request.frequency;
    options.seed = request.seed;
    if (!preview::synthesiseHistory(*record, options, &error)) return fail(error);
  }
  if (!request.writeHistoryPath.empty() &&
      !preview::writeHistoryFile(request.writeHistoryPath, *record, &error))
    return fail(error);

  const preview::Scene scene =
      preview::makeScene(settings, *artwork, CGSizeMake(request.width, request.height));
  preview::drawFrames(scene, *record, request.frames);

  if (!request.pngPath.empty()) {
    render::RenderOptions options;
    options.scale = request.scale;
    if (!render::renderViewToPng(scene.artwork, request.pngPath, options, &error))
      return fail(error);
  }
  if (!request.svgPath.empty() &&
      !writeText(request.svgPath, render::layerTreeSvg(scene.artwork), &error))
    return fail(error);
  // The plot's own tree: its background, then its layers with their geometry.
  if (!request.jsonPath.empty() &&
      !writeText(request.jsonPath, render::layerTreeJson(scene.plot), &error))
    return fail(error);
  return 0;
}

const bool registered = tools::registerCommand([](CLI::App& app) {
  static RenderRequest request;
  auto* command = app.add_subcommand(
      "render", "Draw one plot over a sample artwork and write the last frame as a picture");
  command->add_option("settings", request.settings,
                      "Settings as Key=Value with stored names (WaveGain=2.5, VisMethod=0)");
  command->add_option("--out", request.pngPath, "PNG file of the last frame");
  command->add_option("--svg", request.svgPath, "SVG file of the last frame");
  command->add_option("--json", request.jsonPath, "JSON file of the plot's layer tree");
  auto* history =
      command->add_option("--history", request.historyPath,
                          "Recorded history record (655,372 bytes) instead of a synthesised one");
  auto* audio = command
                    ->add_option("--audio", request.audioPath,
                                 "Audio file whose history at --at is drawn, as a video of it "
                                 "shows it at that time")
                    ->excludes(history);
  command->add_option("--at", request.at, "Time in the --audio file, in seconds")
      ->check(CLI::Range(0.0, 1e6))
      ->needs(audio);
  command->add_option("--write-history", request.writeHistoryPath,
                      "Also write the history that was drawn, as a record file");
  command->add_option("--signal", request.signal, "Synthesised signal: tone, noise, silence, music")
      ->check(CLI::IsMember({"tone", "noise", "silence", "music"}))
      ->excludes(history)
      ->excludes(audio);
  command->add_option("--channels", request.channels, "Channels of the synthesised history")
      ->check(CLI::Range(1, 2));
  command
      ->add_option("--frames-per-packet", request.framesPerPacket,
                   "Frames per packet of the synthesised history")
      ->check(CLI::Range(1, 4096));
  command->add_option("--amplitude", request.amplitude, "Peak of the synthesised signal")
      ->check(CLI::Range(0.0, 1.0));
  command->add_option("--frequency", request.frequency, "Frequency of the tone, in Hz")
      ->check(CLI::Range(0.0, 22050.0));
  command->add_option("--seed", request.seed, "Seed of the synthesised noise");
  command->add_option("--frames", request.frames, "Frames drawn from the same history")
      ->check(CLI::Range(1, 10000));
  command->add_option("--width", request.width, "View width in points")
      ->check(CLI::Range(1.0, 2048.0));
  command->add_option("--height", request.height, "View height in points")
      ->check(CLI::Range(1.0, 2048.0));
  command->add_option("--scale", request.scale, "Pixels per point of the PNG")
      ->check(CLI::Range(0.25, 4.0));
  command->add_option("--artwork", request.artwork, "Artwork behind the plot: cover, plain, none")
      ->check(CLI::IsMember({"cover", "plain", "none"}));
  command->callback([] { tools::setExitCode(render(request)); });
});

}  // namespace
