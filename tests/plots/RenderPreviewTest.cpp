// Previews of a plot: settings from Key=Value text, synthesised and recorded histories, the plot
// that "visMethod" names, golden pictures of the waveform, and the `vellamor render` command.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"
#include "HistorySource.h"
#include "PlotPreview.h"
#include "PlotTestSupport.h"
#include "Renderer/Renderer.h"
#include "SettingsText.h"
#include "TempDevice.h"
#include "Vellamor2/SettingsManager.h"
#include "Vellamor2/WavePlotFactory.h"
#include "Vellamor2/WavePlotWaveform.h"

namespace {

// ---- Settings text ----

TEST(PreviewSettings, DefaultsAreTheSettingsManagers) {
  auto settings = preview::defaultSettings();
  EXPECT_EQ(settings->count(), 43u);
  for (const auto& setting : vellamor2::settingDefaults()) {
    const double expected = setting.type == vellamor2::SettingDefault::Type::Float
                                ? static_cast<float>(setting.value)
                                : setting.value;
    EXPECT_EQ(settings->doubleValue(setting.dictionaryKey), expected) << setting.dictionaryKey;
  }
  EXPECT_FALSE(settings->boolValue("enabledCF"));
}

TEST(PreviewSettings, AssignmentsUseStoredNamesAndTheKeysTypes) {
  const std::vector<std::string> assignments = {"WaveGain=2.5", "WaveFill=true", "VisMethod=99",
                                                "ColourMethod=2", "PrimaryColourRed=0.25"};
  std::string error;
  auto settings = preview::settingsFromAssignments(assignments, &error);
  ASSERT_TRUE(settings) << error;
  auto* gain = objc::cast<NSNumber>(settings->objectForKey("waveGain"));
  ASSERT_NE(gain, nullptr);
  EXPECT_EQ(gain->objCType(), 'f');
  EXPECT_EQ(gain->floatValue(), 2.5f);
  EXPECT_TRUE(settings->boolValue("waveFill"));
  EXPECT_EQ(settings->integerValue("visMethod"), 99);
  EXPECT_TRUE(settings->boolValue("enabledCF"));
  EXPECT_EQ(settings->doubleValue("primaryColourRed"), 0.25);
  EXPECT_EQ(settings->count(), 43u);
}

struct BadAssignment {
  const char* text;
  const char* mentioned;
};

class BadAssignmentTest : public ::testing::TestWithParam<BadAssignment> {};

TEST_P(BadAssignmentTest, IsAClearErrorNamingTheKey) {
  std::string error;
  auto settings = preview::defaultSettings();
  EXPECT_FALSE(preview::applySetting(settings, GetParam().text, &error));
  EXPECT_NE(error.find(GetParam().mentioned), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, BadAssignmentTest,
    ::testing::Values(BadAssignment{"Sparkle=1", "unknown setting 'Sparkle'"},
                      BadAssignment{"waveGain=2", "WaveGain"},
                      BadAssignment{"WaveGain=loud", "WaveGain takes a finite number"},
                      BadAssignment{"WaveGain=inf", "WaveGain"},
                      BadAssignment{"WaveGain=1e39", "WaveGain"},
                      BadAssignment{"WaveFill=maybe", "WaveFill takes a flag"},
                      BadAssignment{"VisMethod=1.5", "VisMethod takes an integer"},
                      BadAssignment{"BarsNumber=99999999999", "BarsNumber"},
                      BadAssignment{"WaveSmudge=", "WaveSmudge"},
                      BadAssignment{"WaveSmudge", "Key=Value"}));

// ---- Histories ----

TEST(PreviewHistory, SynthesisIsDeterministicAndSetsTheCounts) {
  auto first = preview::makeEmptyRecord();
  auto second = preview::makeEmptyRecord();
  preview::SynthesisOptions options;
  options.signal = preview::Signal::noise;
  options.channels = 1;
  options.frames = 1000;
  std::string error;
  ASSERT_TRUE(preview::synthesiseHistory(*first, options, &error)) << error;
  ASSERT_TRUE(preview::synthesiseHistory(*second, options, &error)) << error;
  EXPECT_EQ(first->numberBuffers, 1);
  EXPECT_EQ(first->numberFrames, 1000);
  EXPECT_EQ(std::memcmp(first.get(), second.get(), sizeof(serverDataStruct)), 0);
  float peak = 0;
  for (int i = 0; i < 20000; ++i) peak = std::max(peak, std::fabs(first->data[0][i]));
  EXPECT_GT(peak, 0.5f);
  EXPECT_LE(peak, 0.8f);
  EXPECT_EQ(first->data[0][20000], 0.0f);
  EXPECT_EQ(first->data[1][0], 0.0f);
}

class HistoryFileTest : public ::testing::Test {
 protected:
  std::string path(const char* name) const { return (device.path() / name).string(); }
  void writeBytes(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
  }
  testing_support::TempDevice device;
};

TEST_F(HistoryFileTest, ARecordRoundTrips) {
  auto record = preview::makeEmptyRecord();
  std::string error;
  ASSERT_TRUE(preview::synthesiseHistory(*record, {}, &error));
  ASSERT_TRUE(preview::writeHistoryFile(path("history.bin"), *record, &error)) << error;
  auto read = preview::makeEmptyRecord();
  ASSERT_TRUE(preview::readHistoryFile(path("history.bin"), *read, &error)) << error;
  EXPECT_EQ(std::memcmp(record->data, read->data, sizeof record->data), 0);
  EXPECT_EQ(read->numberBuffers, 2);
  EXPECT_EQ(read->numberFrames, 4096);
}

TEST_F(HistoryFileTest, AWrongSizeOrCountIsAClearError) {
  std::string error;
  auto record = preview::makeEmptyRecord();
  writeBytes(path("short.bin"), std::string(1000, '\0'));
  EXPECT_FALSE(preview::readHistoryFile(path("short.bin"), *record, &error));
  EXPECT_NE(error.find("1000 bytes"), std::string::npos) << error;
  EXPECT_FALSE(preview::readHistoryFile(path("missing.bin"), *record, &error));

  for (auto [channels, frames, mentioned] :
       std::initializer_list<std::tuple<int, int, const char*>>{
           {3, 4096, "3 channels"}, {2, 0, "0 frames"}, {1, 4097, "4097 frames"}}) {
    auto bad = preview::makeEmptyRecord();
    bad->numberBuffers = channels;
    bad->numberFrames = frames;
    ASSERT_TRUE(preview::writeHistoryFile(path("bad.bin"), *bad, &error));
    EXPECT_FALSE(preview::readHistoryFile(path("bad.bin"), *record, &error));
    EXPECT_NE(error.find(mentioned), std::string::npos) << error;
  }
}

// ---- The plot for "visMethod" ----

TEST(PlotFactory, EveryUnnamedValueGivesTheWaveform) {
  EXPECT_STREQ(vellamor2::plotClassName(1), "WavePlotWaveBars");
  EXPECT_STREQ(vellamor2::plotClassName(2), "WavePlotBars");
  EXPECT_STREQ(vellamor2::plotClassName(3), "WavePlotJoyplot");
  EXPECT_STREQ(vellamor2::plotClassName(99), "WavePlotDebug");
  for (int visMethod : {0, 4, -1, 98, 100}) {
    EXPECT_STREQ(vellamor2::plotClassName(visMethod), "WavePlotWaveform");
    auto plot = vellamor2::makePlot(visMethod, CGRectMake(0, 0, 30, 40));
    ASSERT_NE(plot, nullptr);
    EXPECT_NE(objc::cast<WavePlotWaveform>(plot.get()), nullptr);
    EXPECT_EQ(plot->frame(), CGRectMake(0, 0, 30, 40));
  }
  for (int visMethod : {1, 2, 3, 99}) {
    auto plot = vellamor2::makePlot(visMethod, CGRectMake(0, 0, 30, 40));
    ASSERT_NE(plot, nullptr);
    EXPECT_TRUE(class_isSubclassOf(object_getClass(plot.get()), WavePlot::class_()));
  }
}

// ---- Golden pictures ----

struct GoldenCase {
  const char* name;
  std::vector<std::string> settings;
  preview::Signal signal;
  int channels;
  double frequency = 440.0;
};

class WaveformGoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(WaveformGoldenTest, LooksAsBefore) {
  const GoldenCase& c = GetParam();
  std::string error;
  auto settings = preview::settingsFromAssignments(c.settings, &error);
  ASSERT_TRUE(settings) << error;
  auto record = preview::makeEmptyRecord();
  preview::SynthesisOptions options;
  options.signal = c.signal;
  options.channels = c.channels;
  options.frequency = c.frequency;
  ASSERT_TRUE(preview::synthesiseHistory(*record, options, &error)) << error;
  const preview::Scene scene =
      preview::makeScene(settings, preview::Artwork::cover, CGSizeMake(200, 200));
  preview::drawFrames(scene, *record, 3);
  const render::Image image = render::renderView(scene.artwork);
  EXPECT_TRUE(plot_testing::matchesGolden(image, std::string("waveform_") + c.name));
  scene.plot->clear();
}

INSTANTIATE_TEST_SUITE_P(
    Settings, WaveformGoldenTest,
    ::testing::Values(GoldenCase{"default", {}, preview::Signal::music, 2},
                      GoldenCase{"fill_overlay",
                                 {"WaveFill=true", "WaveOverlay=true", "WaveBuffersPerPlot=2",
                                  "PrimaryColourBlue=0.2"},
                                 preview::Signal::music,
                                 2},
                      GoldenCase{
                          "lowpass_strip_smudge",
                          {"WaveLowPassFilter=true", "WaveLPFAmount=0.02", "WaveStripPhase=true",
                           "WaveBuffersPerPlot=3", "WaveSmudge=0.3", "WaveThickness=2"},
                          preview::Signal::music,
                          2},
                      GoldenCase{"loudness_mono",
                                 {"ColourMethod=1", "WaveGain=1.2", "WaveThickness=1.5"},
                                 preview::Signal::tone,
                                 1},
                      GoldenCase{"tone_thick_colours",
                                 {"WaveThickness=4", "WaveBuffersPerPlot=1", "PrimaryColourRed=0.3",
                                  "PrimaryColourGreen=0.8", "BackgroundColourAlpha=0.2"},
                                 preview::Signal::tone,
                                 2,
                                 110.0}),
    [](const ::testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

// ---- The command ----

class RenderCommandTest : public ::testing::Test {
 protected:
  // Runs `vellamor render` with `arguments`; its exit code, with its output in `output`.
  int run(const std::vector<std::string>& arguments, std::string* output) {
    std::vector<std::string> all = {"render"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return testing_support::runProgram(testing_support::binaryDirectory() / "bin" / "vellamor", all,
                                       device.path() / "render.log", output);
  }
  std::string path(const char* name) const { return (device.path() / name).string(); }
  testing_support::TempDevice device;
};

TEST_F(RenderCommandTest, WritesThePictureTheSvgAndTheLayerTree) {
  std::string output;
  ASSERT_EQ(run({"WaveFill=true", "--frames", "2", "--width", "120", "--height", "80", "--signal",
                 "tone", "--channels", "1", "--out", path("plot.png"), "--svg", path("plot.svg"),
                 "--json", path("plot.json"), "--write-history", path("history.bin")},
                &output),
            0)
      << output;
  const auto image = render::readPng(path("plot.png"));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 240u);
  EXPECT_EQ(image->height, 160u);
  std::ifstream json(path("plot.json"));
  std::stringstream tree;
  tree << json.rdbuf();
  EXPECT_NE(tree.str().find("\"shape\""), std::string::npos);
  EXPECT_NE(tree.str().find("\"closed\": true"), std::string::npos) << tree.str().substr(0, 400);
  EXPECT_TRUE(std::filesystem::file_size(path("plot.svg")) > 0);
  // The history that was drawn can be drawn again.
  EXPECT_EQ(run({"--history", path("history.bin"), "--out", path("again.png")}, &output), 0)
      << output;
}

TEST_F(RenderCommandTest, BadInputIsAClearError) {
  std::string output;
  EXPECT_NE(run({"Sparkle=2", "--out", path("x.png")}, &output), 0);
  EXPECT_NE(output.find("unknown setting 'Sparkle'"), std::string::npos) << output;
  EXPECT_NE(run({"--history", path("none.bin"), "--out", path("x.png")}, &output), 0);
  EXPECT_NE(output.find("none.bin"), std::string::npos) << output;
  EXPECT_NE(run({}, &output), 0);
  EXPECT_NE(output.find("nothing to write"), std::string::npos) << output;
  EXPECT_NE(run({"--frames", "0", "--out", path("x.png")}, &output), 0);
  EXPECT_FALSE(std::filesystem::exists(path("x.png")));
}

}  // namespace
