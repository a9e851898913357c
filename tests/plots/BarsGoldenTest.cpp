// Golden pictures of the spectrum bars and the wave bars over the sample artwork: mirrored and
// standing bars, colour by amplitude, one and two channels.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HistorySource.h"
#include "PlotPreview.h"
#include "PlotTestSupport.h"
#include "Renderer/Renderer.h"
#include "SettingsText.h"

namespace {

struct BarsGoldenCase {
  const char* name;
  std::vector<std::string> settings;
  int channels;
};

class BarsGoldenTest : public ::testing::TestWithParam<BarsGoldenCase> {};

TEST_P(BarsGoldenTest, LooksAsBefore) {
  const BarsGoldenCase& c = GetParam();
  std::string error;
  auto settings = preview::settingsFromAssignments(c.settings, &error);
  ASSERT_TRUE(settings) << error;
  auto record = preview::makeEmptyRecord();
  preview::SynthesisOptions options;
  options.signal = preview::Signal::music;
  options.channels = c.channels;
  ASSERT_TRUE(preview::synthesiseHistory(*record, options, &error)) << error;
  const preview::Scene scene =
      preview::makeScene(settings, preview::Artwork::cover, CGSizeMake(200, 200));
  preview::drawFrames(scene, *record, 3);
  EXPECT_TRUE(plot_testing::matchesGolden(render::renderView(scene.artwork), c.name));
  scene.plot->clear();
}

INSTANTIATE_TEST_SUITE_P(
    Plots, BarsGoldenTest,
    ::testing::Values(
        BarsGoldenCase{"bars_mirrored", {"VisMethod=2", "BarsNumber=48"}, 2},
        BarsGoldenCase{"bars_standing",
                       {"VisMethod=2", "BarsZeroY=true", "BarsMirrorX=false", "BarsFill=false",
                        "PrimaryColourBlue=0.3"},
                       1},
        BarsGoldenCase{"bars_amplitude", {"VisMethod=2", "ColourMethod=1", "BarsGain=1.2"}, 2},
        BarsGoldenCase{"bars_amplitude_mono",
                       {"VisMethod=2", "ColourMethod=1", "BarsNumber=96", "BarsMirrorY=false"},
                       1},
        BarsGoldenCase{"wavebars_default", {"VisMethod=1"}, 2},
        BarsGoldenCase{
            "wavebars_outline_mono",
            {"VisMethod=1", "WaveBarsFill=false", "WaveBarsNumber=32", "PrimaryColourRed=0.2"},
            1},
        BarsGoldenCase{"wavebars_amplitude", {"VisMethod=1", "ColourMethod=1"}, 2},
        BarsGoldenCase{"wavebars_overlay_amplitude",
                       {"VisMethod=1", "ColourMethod=1", "WaveBarsOverlay=true",
                        "WaveBarsNumber=100", "WaveBarsGain=1.5"},
                       2}),
    [](const ::testing::TestParamInfo<BarsGoldenCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
