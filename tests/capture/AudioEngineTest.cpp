// The audio daemon's engine in-process: its sources, layouts, pause and options, checked
// through the WAV copy of what its output receives.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <TempDevice.h>
#include <WaitFor.h>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "AudioEngine.h"
#include "SynthesisedTrack.h"
#include "WavWriter.h"

namespace fs = std::filesystem;

namespace {

struct Wav {
  SF_INFO info{};
  std::vector<float> samples;
};

Wav readWav(const fs::path& path) {
  Wav wav;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &wav.info);
  if (!file) return wav;
  wav.samples.resize(std::size_t(wav.info.frames) * wav.info.channels);
  sf_readf_float(file, wav.samples.data(), wav.info.frames);
  sf_close(file);
  return wav;
}

// Runs an engine for `renders` unpaced renders and returns what its output received.
Wav render(AudioEngineOptions options, const fs::path& wav, unsigned renders = 4,
           bool paced = false) {
  options.output = AudioEngineOptions::Output::Null;
  options.paced = paced;
  options.renderLimit = renders;
  options.outputWav = wav.string();
  AudioEngine engine(options);
  std::string error;
  EXPECT_TRUE(engine.start(&error)) << error;
  EXPECT_TRUE(testing_support::waitFor([&] { return fs::exists(wav); }));
  engine.stop();
  return readWav(wav);
}

class AudioEngineTest : public ::testing::Test {
 protected:
  testing_support::TempDevice device;
};

struct Layout {
  const char* name;
  unsigned channels;
  bool interleaved;
};

class EngineLayouts : public AudioEngineTest, public ::testing::WithParamInterface<Layout> {};

// Whatever the buffer layout, the output carries the built-in track: channel k plays its left
// or right, a single channel both mixed.
TEST_P(EngineLayouts, TheOutputCarriesTheTrackInEveryLayout) {
  AudioEngineOptions options;
  options.channels = GetParam().channels;
  options.interleaved = GetParam().interleaved;
  options.framesPerRender = 512;
  const Wav wav = render(options, device.path() / "out.wav");
  ASSERT_EQ(wav.info.channels, int(GetParam().channels));
  ASSERT_EQ(wav.info.frames, 4 * 512);
  SynthesisedTrack track(44100);
  for (unsigned i = 0; i < 4 * 512; i += 17) {
    float left, right;
    track.sampleAt(i, &left, &right);
    for (unsigned c = 0; c < GetParam().channels; ++c) {
      const float expected = GetParam().channels == 1 ? 0.5f * (left + right)
                             : c % 2                  ? right
                                                      : left;
      ASSERT_EQ(wav.samples[i * GetParam().channels + c], expected)
          << "frame " << i << " channel " << c;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Capture, EngineLayouts,
                         ::testing::Values(Layout{"Stereo", 2, false}, Layout{"Mono", 1, false},
                                           Layout{"ThreeBuffers", 3, false},
                                           Layout{"Interleaved", 2, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AudioEngineTest, AFilePlaysAsItIsAndLoops) {
  const fs::path input = device.path() / "in.wav";
  std::vector<float> frames(2 * 300);
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = float(i % 600) / 1000.0f - 0.3f;
  WavWriter writer;
  ASSERT_TRUE(writer.open(input.string(), 22050, 2, nullptr));
  writer.write(frames.data(), 300);
  writer.close();

  AudioEngineOptions options;
  options.source = AudioEngineOptions::Source::File;
  options.filePath = input.string();
  options.framesPerRender = 256;
  // An underrun is silence, so compare only the frames that sounded, which must follow the file
  // (looping) from its start.
  const Wav wav = render(options, device.path() / "out.wav", 40, true);
  ASSERT_EQ(wav.info.samplerate, 22050);
  std::size_t compared = 0;
  for (std::size_t i = 0; i < std::size_t(wav.info.frames) && compared < 600; ++i) {
    if (wav.samples[2 * i] == 0 && wav.samples[2 * i + 1] == 0) continue;
    ASSERT_EQ(wav.samples[2 * i], frames[2 * (compared % 300)]) << i;
    ASSERT_EQ(wav.samples[2 * i + 1], frames[2 * (compared % 300) + 1]) << i;
    ++compared;
  }
  EXPECT_GT(compared, 0u);
}

TEST_F(AudioEngineTest, MissingOrUnreadableFilesAreClearErrors) {
  const fs::path notAudio = device.path() / "notes.txt";
  std::FILE* text = std::fopen(notAudio.c_str(), "w");
  std::fputs("not audio at all", text);
  std::fclose(text);
  for (const fs::path& path : {device.path() / "missing.flac", notAudio}) {
    AudioEngineOptions options;
    options.source = AudioEngineOptions::Source::File;
    options.filePath = path.string();
    AudioEngine engine(options);
    std::string error;
    EXPECT_FALSE(engine.start(&error));
    EXPECT_NE(error.find("cannot play audio file '" + path.string() + "'"), std::string::npos)
        << error;
  }
}

TEST_F(AudioEngineTest, WithoutASoundServerLiveCaptureRendersSilence) {
  setenv("PULSE_SERVER", (device.path() / "no-such-server").c_str(), 1);
  AudioEngineOptions options;
  options.source = AudioEngineOptions::Source::Live;
  const Wav wav = render(options, device.path() / "out.wav");
  unsetenv("PULSE_SERVER");
  ASSERT_EQ(wav.info.frames, 4 * 1024);
  for (float sample : wav.samples) ASSERT_EQ(sample, 0.0f);
  EXPECT_NE(device.log().find("mediaserverd: live capture unavailable: no sound server"),
            std::string::npos)
      << device.log();
}

TEST_F(AudioEngineTest, PausedRendersAreSilent) {
  AudioEngineOptions options;
  options.startPaused = true;
  const Wav wav = render(options, device.path() / "out.wav");
  ASSERT_EQ(wav.info.frames, 4 * 1024);
  for (float sample : wav.samples) ASSERT_EQ(sample, 0.0f);
}

TEST(AudioEngineOptionsTest, BadValuesAreRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"--frames", "0"},           {"--frames", "16385"},
      {"--frames", "12x"},         {"--channels", "9"},
      {"--audio-source", "radio"}, {"--output", "speaker"},
      {"--audio-source", "file"},  {"--output-wav"},
      {"--sample-rate", "-1"}};
  for (const auto& words : bad) {
    std::string error;
    EXPECT_FALSE(parseAudioEngineOptions(words, &error)) << words[0];
    EXPECT_FALSE(error.empty()) << words[0];
  }
  std::string error;
  auto options = parseAudioEngineOptions(
      {"--host-option", "--frames", "4096", "--audio-file", "x.ogg", "--interleaved"}, &error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->framesPerRender, 4096u);
  EXPECT_EQ(options->source, AudioEngineOptions::Source::File);
  EXPECT_TRUE(options->interleaved);
}

}  // namespace
