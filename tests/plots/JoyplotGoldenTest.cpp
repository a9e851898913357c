// Golden pictures of the stacked plots over the sample artwork: the joyplot masked and open,
// with the primary colour and by amplitude, and the debug plot.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HistorySource.h"
#include "PlotPreview.h"
#include "PlotTestSupport.h"
#include "Renderer/Renderer.h"
#include "SettingsText.h"

namespace {

struct StackedGoldenCase {
  const char* name;
  std::vector<std::string> settings;
  preview::Signal signal;
  int channels;
};

class StackedPlotGoldenTest : public ::testing::TestWithParam<StackedGoldenCase> {};

TEST_P(StackedPlotGoldenTest, LooksAsBefore) {
  const StackedGoldenCase& c = GetParam();
  std::string error;
  auto settings = preview::settingsFromAssignments(c.settings, &error);
  ASSERT_TRUE(settings) << error;
  auto record = preview::makeEmptyRecord();
  preview::SynthesisOptions options;
  options.signal = c.signal;
  options.channels = c.channels;
  ASSERT_TRUE(preview::synthesiseHistory(*record, options, &error)) << error;
  const preview::Scene scene =
      preview::makeScene(settings, preview::Artwork::cover, CGSizeMake(200, 200));
  preview::drawFrames(scene, *record, 2);
  EXPECT_TRUE(plot_testing::matchesGolden(render::renderView(scene.artwork), c.name));
  scene.plot->clear();
}

INSTANTIATE_TEST_SUITE_P(
    Plots, StackedPlotGoldenTest,
    ::testing::Values(
        StackedGoldenCase{"joyplot_masked",
                          {"VisMethod=3", "JoyplotMask=true", "BackgroundColourBlue=0.3"},
                          preview::Signal::music,
                          2},
        StackedGoldenCase{"joyplot_unmasked",
                          {"VisMethod=3", "WaveGain=1.5", "PrimaryColourBlue=0.4"},
                          preview::Signal::music,
                          1},
        StackedGoldenCase{"joyplot_masked_amplitude",
                          {"VisMethod=3", "JoyplotMask=true", "ColourMethod=1", "WaveGain=1.3"},
                          preview::Signal::music,
                          2},
        StackedGoldenCase{"joyplot_unmasked_amplitude",
                          {"VisMethod=3", "ColourMethod=1", "WaveGain=2"},
                          preview::Signal::music,
                          2},
        StackedGoldenCase{"debug_default", {"VisMethod=99"}, preview::Signal::music, 2},
        StackedGoldenCase{
            "debug_amplitude",
            {"VisMethod=99", "ColourMethod=1", "WaveGain=1.2", "BackgroundColourRed=0.2"},
            preview::Signal::music,
            1}),
    [](const ::testing::TestParamInfo<StackedGoldenCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
