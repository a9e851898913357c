#include "HistorySource.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numbers>
#include <vector>

namespace preview {
namespace {

constexpr int kPackets = 20;
constexpr int kMaxFrames = 4096;

// A small, fixed generator so that noise is the same everywhere.
class NoiseGenerator {
 public:
  explicit NoiseGenerator(std::uint32_t seed) : state_(seed != 0 ? seed : 0x9e3779b9u) {}
  // Uniform in −1 … 1.
  double next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<double>(state_) / 2147483647.5 - 1.0;
  }

 private:
  std::uint32_t state_;
};

// A short phrase: a bass note and a chord with a kick every half second, some hiss; the second
// channel is a slightly different mix, as a stereo track would be.
double musicSample(double t, int channel, NoiseGenerator& noise) {
  constexpr double pi = std::numbers::pi;
  const double beat = std::fmod(t, 0.5);
  const double kick =
      std::exp(-beat * 18.0) * std::sin(2 * pi * (55.0 + 90.0 * std::exp(-beat * 30.0)) * beat);
  const double bass = 0.45 * std::sin(2 * pi * 110.0 * t);
  const double pan = channel == 0 ? 1.0 : 0.7;
  const double chord = 0.22 * pan * std::sin(2 * pi * 261.63 * t) +
                       0.18 * (1.7 - pan) * std::sin(2 * pi * 329.63 * t + 0.4) +
                       0.15 * std::sin(2 * pi * 392.0 * t + 1.1 * channel);
  const double swell = 0.75 + 0.25 * std::sin(2 * pi * 0.8 * t);
  return 0.55 * kick + swell * (bass + chord) * 0.6 + 0.04 * noise.next();
}

}  // namespace

std::optional<Signal> signalNamed(std::string_view name) {
  if (name == "tone") return Signal::tone;
  if (name == "noise") return Signal::noise;
  if (name == "silence") return Signal::silence;
  if (name == "music") return Signal::music;
  return std::nullopt;
}

std::unique_ptr<serverDataStruct> makeEmptyRecord() {
  auto record = std::make_unique<serverDataStruct>();
  std::memset(record.get(), 0, sizeof(serverDataStruct));
  return record;
}

bool synthesiseHistory(serverDataStruct& record, const SynthesisOptions& options,
                       std::string* error) {
  auto fail = [error](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  if (options.channels < 1 || options.channels > 2) return fail("channels must be 1 or 2");
  if (options.frames < 1 || options.frames > kMaxFrames)
    return fail("frames per packet must be 1 … 4096");
  if (!(options.amplitude >= 0.0 && options.amplitude <= 1.0))
    return fail("amplitude must be 0 … 1");
  if (!(options.sampleRate > 0.0) || !std::isfinite(options.sampleRate))
    return fail("sample rate must be above 0");
  if (!(options.frequency >= 0.0) || !std::isfinite(options.frequency))
    return fail("frequency must be 0 or above");

  std::memset(&record, 0, sizeof record);
  record.numberBuffers = options.channels;
  record.numberFrames = options.frames;
  const int samples = kPackets * options.frames;
  constexpr double pi = std::numbers::pi;
  for (int channel = 0; channel < options.channels; ++channel) {
    NoiseGenerator noise(options.seed + static_cast<std::uint32_t>(channel) * 7919u);
    float* out = record.data[channel];
    for (int i = 0; i < samples; ++i) {
      const double t = i / options.sampleRate;
      double value = 0;
      switch (options.signal) {
        case Signal::tone:
          value = std::sin(2 * pi * options.frequency * t + 0.5 * channel);
          break;
        case Signal::noise:
          value = noise.next();
          break;
        case Signal::silence:
          value = 0;
          break;
        case Signal::music:
          value = std::clamp(musicSample(t, channel, noise), -1.0, 1.0);
          break;
      }
      out[i] = static_cast<float>(options.amplitude * value);
    }
  }
  return true;
}

bool parseHistoryRecord(std::span<const std::uint8_t> bytes, serverDataStruct& record,
                        std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  if (bytes.size() != sizeof(serverDataStruct))
    return fail("is " + std::to_string(bytes.size()) + " bytes; a history record is " +
                std::to_string(sizeof(serverDataStruct)) + " bytes");
  std::int32_t channels = 0;
  std::int32_t frames = 0;
  unsigned char busy = 0;
  std::memcpy(&channels, bytes.data() + offsetof(serverDataStruct, numberBuffers), sizeof channels);
  std::memcpy(&frames, bytes.data() + offsetof(serverDataStruct, numberFrames), sizeof frames);
  std::memcpy(&busy, bytes.data() + offsetof(serverDataStruct, busy), sizeof busy);
  if (channels < 1 || channels > 2)
    return fail("has " + std::to_string(channels) + " channels; a record has 1 or 2");
  if (frames < 1 || frames > kMaxFrames)
    return fail("has " + std::to_string(frames) + " frames per packet; a record has 1 … 4096");
  std::memcpy(record.data, bytes.data(), sizeof record.data);
  record.numberBuffers = channels;
  record.numberFrames = frames;
  record.busy = busy != 0;  // any byte: a bool holds only 0 or 1
  return true;
}

bool readHistoryFile(const std::string& path, serverDataStruct& record, std::string* error) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) {
    if (error) *error = path + ": cannot be read";
    return false;
  }
  // Only a file of the record's size is read in.
  const std::streamoff size = file.tellg();
  std::vector<std::uint8_t> bytes;
  if (size == static_cast<std::streamoff>(sizeof(serverDataStruct))) {
    bytes.resize(sizeof(serverDataStruct));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
      if (error) *error = path + ": cannot be read";
      return false;
    }
  }
  std::string reason;
  if (bytes.empty())
    reason = "is " + std::to_string(size) + " bytes; a history record is " +
             std::to_string(sizeof(serverDataStruct)) + " bytes";
  else if (parseHistoryRecord(bytes, record, &reason))
    return true;
  if (error) *error = path + ": " + reason;
  return false;
}

bool writeHistoryFile(const std::string& path, const serverDataStruct& record, std::string* error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file || !file.write(reinterpret_cast<const char*>(&record), sizeof record) ||
      !file.flush()) {
    if (error) *error = path + ": cannot be written";
    return false;
  }
  return true;
}

}  // namespace preview
