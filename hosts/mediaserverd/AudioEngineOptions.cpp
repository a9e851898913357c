#include "AudioEngineOptions.h"

#include <charconv>
#include <cstdlib>
#include <sstream>

namespace {

bool parseNumber(const std::string& text, std::uint64_t low, std::uint64_t high,
                 std::uint64_t* value) {
  std::uint64_t parsed = 0;
  const char* end = text.data() + text.size();
  auto [rest, failure] = std::from_chars(text.data(), end, parsed);
  if (failure != std::errc() || rest != end || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

}  // namespace

std::optional<AudioEngineOptions> parseAudioEngineOptions(const std::vector<std::string>& words,
                                                          std::string* error) {
  AudioEngineOptions options;
  auto fail = [&](const std::string& message) -> std::optional<AudioEngineOptions> {
    if (error) *error = message;
    return std::nullopt;
  };
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= words.size()) return false;
      *out = words[++i];
      return true;
    };
    auto number = [&](std::uint64_t low, std::uint64_t high, std::uint64_t* out) {
      std::string text;
      return value(&text) && parseNumber(text, low, high, out);
    };
    std::string text;
    std::uint64_t n = 0;
    if (word == "--audio-source") {
      if (!value(&text)) return fail("--audio-source needs synth, file or live");
      if (text == "synth") {
        options.source = AudioEngineOptions::Source::Synthesised;
      } else if (text == "file") {
        options.source = AudioEngineOptions::Source::File;
      } else if (text == "live") {
        options.source = AudioEngineOptions::Source::Live;
      } else {
        return fail("--audio-source needs synth, file or live, not '" + text + "'");
      }
    } else if (word == "--audio-file") {
      if (!value(&options.filePath) || options.filePath.empty())
        return fail("--audio-file needs a path");
      options.source = AudioEngineOptions::Source::File;
    } else if (word == "--live-device") {
      if (!value(&options.liveDevice)) return fail("--live-device needs a source name");
    } else if (word == "--frames") {
      if (!number(1, kMaximumFramesPerRender, &n))
        return fail("--frames needs a number from 1 to " + std::to_string(kMaximumFramesPerRender));
      options.framesPerRender = static_cast<unsigned>(n);
    } else if (word == "--channels") {
      if (!number(1, kMaximumChannels, &n))
        return fail("--channels needs a number from 1 to " + std::to_string(kMaximumChannels));
      options.channels = static_cast<unsigned>(n);
    } else if (word == "--interleaved") {
      options.interleaved = true;
    } else if (word == "--sample-rate") {
      if (!number(8000, 192000, &n))
        return fail("--sample-rate needs a number from 8000 to 192000");
      options.sampleRate = static_cast<unsigned>(n);
      options.sampleRateGiven = true;
    } else if (word == "--output") {
      if (!value(&text)) return fail("--output needs auto, pulse or null");
      if (text == "auto") {
        options.output = AudioEngineOptions::Output::Automatic;
      } else if (text == "pulse") {
        options.output = AudioEngineOptions::Output::Pulse;
      } else if (text == "null") {
        options.output = AudioEngineOptions::Output::Null;
      } else {
        return fail("--output needs auto, pulse or null, not '" + text + "'");
      }
    } else if (word == "--unpaced") {
      options.paced = false;
    } else if (word == "--output-wav") {
      if (!value(&options.outputWav) || options.outputWav.empty())
        return fail("--output-wav needs a file name");
    } else if (word == "--renders") {
      if (!number(0, UINT64_MAX, &n)) return fail("--renders needs a count");
      options.renderLimit = n;
    } else if (word == "--paused") {
      options.startPaused = true;
    }
  }
  if (options.source == AudioEngineOptions::Source::File && options.filePath.empty())
    return fail("--audio-source file needs --audio-file PATH");
  return options;
}

std::optional<AudioEngineOptions> audioEngineOptionsFromProcess(int argc, char** argv,
                                                                std::string* error) {
  std::vector<std::string> words;
  if (const char* environment = std::getenv(kMediaServerOptionsVariable)) {
    std::istringstream stream(environment);
    for (std::string word; stream >> word;) words.push_back(word);
  }
  for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
  return parseAudioEngineOptions(words, error);
}
