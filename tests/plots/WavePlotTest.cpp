// The base view: colours from the settings, ColorFlow's notifications, touches, and the helpers
// that the plots share.

#include <gtest/gtest.h>

#include "PlotTestSupport.h"
#include "Vellamor2/WavePlot.h"
#include "objc/message.h"

namespace {

using plot_testing::sameColor;
using plot_testing::settings;

// Settings with three distinct colours.
StrongRef<NSMutableDictionary> colourSettings(bool colorFlow) {
  return settings({{"colourMethod", colorFlow ? 2 : 0},
                   {"primaryColourRed", 0.2},
                   {"primaryColourGreen", 0.4},
                   {"primaryColourBlue", 0.6},
                   {"primaryColourAlpha", 0.8},
                   {"secondaryColourRed", 0.9},
                   {"secondaryColourGreen", 0.1},
                   {"secondaryColourBlue", 0.3},
                   {"secondaryColourAlpha", 0.7},
                   {"backgroundColourRed", 0.05},
                   {"backgroundColourGreen", 0.15},
                   {"backgroundColourBlue", 0.25},
                   {"backgroundColourAlpha", 0.35}});
}

// The colours of colourSettings, as floats widened (the keys are read with floatValue).
void expectSettingsColours(WavePlot* plot) {
  auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
  EXPECT_TRUE(sameColor(plot->getPrimaryColor(), f(0.2), f(0.4), f(0.6), f(0.8)));
  EXPECT_TRUE(sameColor(plot->getSecondaryColor(), f(0.9), f(0.1), f(0.3), f(0.7)));
  EXPECT_TRUE(sameColor(plot->getBackgroundColor(), f(0.05), f(0.15), f(0.25), f(0.35)));
}

std::size_t colorFlowObservations(WavePlot* plot) {
  std::size_t count = 0;
  for (const char* name :
       {kColorFlowLockScreenColorizationNotification, kColorFlowMusicAppColorizationNotification,
        kColorFlowMusicAppColorReversionNotification,
        kColorFlowLockScreenColorReversionNotification})
    count += NSNotificationCenter::defaultCenter()->observationCount(plot, name);
  return count;
}

void postColorization(const char* name, UIColor* primary, UIColor* secondary, UIColor* background) {
  auto info = NSMutableDictionary::dictionary();
  info->setObject(primary, "PrimaryColor");
  info->setObject(secondary, "SecondaryColor");
  info->setObject(background, "BackgroundColor");
  NSNotificationCenter::defaultCenter()->postNotificationName(name, nullptr, info);
}

class WavePlotTest : public ::testing::Test {
 protected:
  void TearDown() override { plot->clear(); }
  StrongRef<WavePlot> plot = UIView::viewWithFrame<WavePlot>(CGRectMake(0, 0, 100, 100));
};

TEST_F(WavePlotTest, ColorFlowOffTakesTheSettingsColoursAndObservesNothing) {
  plot->changePrimaryColor(UIColor::redColor());
  msgSend<void>(plot.get(), "updateSettings:", static_cast<id>(colourSettings(false).get()));
  expectSettingsColours(plot);
  EXPECT_EQ(colorFlowObservations(plot), 0u);
  // The background colour property paints nothing by itself.
  EXPECT_EQ(plot->layer()->backgroundColor(), nullptr);
}

TEST_F(WavePlotTest, ColorFlowOnWithoutAColourTakesTheSettingsAndObservesTheFourNotifications) {
  plot->updateSettings(colourSettings(true));
  expectSettingsColours(plot);
  EXPECT_EQ(colorFlowObservations(plot), 4u);
  // Applying the settings again does not double the deliveries.
  plot->updateSettings(colourSettings(true));
  EXPECT_EQ(colorFlowObservations(plot), 4u);
}

TEST_F(WavePlotTest, ColorFlowOnKeepsTheCurrentHuesWithTheSettingsAlphas) {
  plot->changePrimaryColor(UIColor::colorWithRed(1, 0, 0, 1));
  plot->changeSecondaryColor(UIColor::colorWithRed(0, 0, 1, 1));
  plot->changeBackgroundColor(UIColor::colorWithRed(0, 1, 0, 1));
  auto dictionary = colourSettings(true);
  dictionary->setObject(NSNumber::numberWithDouble(0.5).get(), "primaryColourAlpha");
  plot->updateSettings(dictionary);
  EXPECT_TRUE(sameColor(plot->getPrimaryColor(), 1, 0, 0, 0.5));
  EXPECT_TRUE(sameColor(plot->getSecondaryColor(), 0, 0, 1, static_cast<float>(0.7)));
  EXPECT_TRUE(sameColor(plot->getBackgroundColor(), 0, 1, 0, static_cast<float>(0.35)));
  // The defaults are built all the same.
  EXPECT_TRUE(sameColor(plot->defaultPrimaryColor(), static_cast<float>(0.2),
                        static_cast<float>(0.4), static_cast<float>(0.6), 0.5));
}

class ColorizationTest : public WavePlotTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ColorizationTest, TakesTheNotifiedHuesWithTheCurrentAlphas) {
  plot->updateSettings(colourSettings(true));
  plot->changePrimaryColor(UIColor::colorWithRed(1, 1, 1, 0.3));
  postColorization(GetParam(), UIColor::greenColor(), UIColor::blueColor(),
                   UIColor::colorWithRed(0.5, 0.5, 0.5, 1));
  EXPECT_TRUE(sameColor(plot->getPrimaryColor(), 0, 1, 0, 0.3));
  EXPECT_TRUE(sameColor(plot->getSecondaryColor(), 0, 0, 1, static_cast<float>(0.7)));
  EXPECT_TRUE(sameColor(plot->getBackgroundColor(), 0.5, 0.5, 0.5, static_cast<float>(0.35)));
}

TEST_P(ColorizationTest, AMissingColourBecomesNone) {
  plot->updateSettings(colourSettings(true));
  auto info = NSMutableDictionary::dictionary();
  info->setObject(UIColor::greenColor(), "PrimaryColor");
  NSNotificationCenter::defaultCenter()->postNotificationName(GetParam(), nullptr, info);
  EXPECT_NE(plot->getPrimaryColor(), nullptr);
  EXPECT_EQ(plot->getSecondaryColor(), nullptr);
  EXPECT_EQ(plot->getBackgroundColor(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothHosts, ColorizationTest,
                         ::testing::Values(kColorFlowLockScreenColorizationNotification,
                                           kColorFlowMusicAppColorizationNotification));

class ReversionTest : public WavePlotTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ReversionTest, RestoresTheDefaults) {
  plot->updateSettings(colourSettings(true));
  postColorization(kColorFlowLockScreenColorizationNotification, UIColor::greenColor(),
                   UIColor::greenColor(), UIColor::greenColor());
  NSNotificationCenter::defaultCenter()->postNotificationName(GetParam(), nullptr);
  expectSettingsColours(plot);
}

TEST_P(ReversionTest, WithoutDefaultsChangesNothing) {
  plot->registerCFN();
  plot->changePrimaryColor(UIColor::redColor());
  NSNotificationCenter::defaultCenter()->postNotificationName(GetParam(), nullptr);
  EXPECT_EQ(plot->getPrimaryColor(), UIColor::redColor());
  EXPECT_EQ(plot->getSecondaryColor(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothHosts, ReversionTest,
                         ::testing::Values(kColorFlowLockScreenColorReversionNotification,
                                           kColorFlowMusicAppColorReversionNotification));

TEST_F(WavePlotTest, ClearStopsFollowingColorFlow) {
  plot->updateSettings(colourSettings(true));
  msgSend<void>(plot.get(), "clear");
  EXPECT_EQ(colorFlowObservations(plot), 0u);
  postColorization(kColorFlowMusicAppColorizationNotification, UIColor::greenColor(),
                   UIColor::greenColor(), UIColor::greenColor());
  expectSettingsColours(plot);
}

TEST(WavePlotLifetime, APlotDroppedWithoutClearIsNoLongerNotified) {
  {
    auto plot = UIView::viewWithFrame<WavePlot>(CGRectMake(0, 0, 10, 10));
    plot->updateSettings(colourSettings(true));
  }
  // Would reach a destroyed view if the observation had stayed.
  postColorization(kColorFlowLockScreenColorizationNotification, UIColor::greenColor(),
                   UIColor::greenColor(), UIColor::greenColor());
  NSNotificationCenter::defaultCenter()->postNotificationName(
      kColorFlowLockScreenColorReversionNotification, nullptr);
}

TEST_F(WavePlotTest, ATouchReachesTheViewBeneath) {
  auto host = UIView::viewWithFrame(CGRectMake(0, 0, 100, 100));
  auto beneath = UIView::viewWithFrame(CGRectMake(0, 0, 100, 100));
  host->addSubview(beneath);
  host->addSubview(plot);
  EXPECT_FALSE(msgSend<bool>(plot.get(), "pointInside:withEvent:", CGPointMake(50, 50),
                             static_cast<id>(nullptr)));
  EXPECT_EQ(host->hitTest(CGPointMake(50, 50), nullptr), beneath.get());
}

TEST_F(WavePlotTest, SetupWithARecordDrawsAndChangesNothing) {
  plot->updateSettings(colourSettings(false));
  auto record = plot_testing::makeRecord(2, 4096);
  plot_testing::fillChannel(*record, 0, plot_testing::noise(0.9f));
  msgSend<void>(plot.get(), "setup:", record.get());
  EXPECT_TRUE(plot->layer()->sublayers().empty());
  EXPECT_EQ(plot->layer()->backgroundColor(), nullptr);
  expectSettingsColours(plot);
}

TEST_F(WavePlotTest, ColourOperationsAreRunTimeMethods) {
  msgSend<void>(plot.get(), "changePrimaryColor:", static_cast<id>(UIColor::yellowColor()));
  EXPECT_EQ(msgSend<id>(plot.get(), "getPrimaryColor"), UIColor::yellowColor());
  msgSend<void>(plot.get(), "loadDefaultColors:", static_cast<id>(colourSettings(false).get()));
  EXPECT_EQ(plot->getPrimaryColor(), UIColor::yellowColor());  // built, not applied
  msgSend<void>(plot.get(), "loadDefaultColors");
  expectSettingsColours(plot);
}

// ---- Shared helpers ----

struct LoudnessCase {
  double maximum;
  UIColor* (*expected)();
};

class LoudnessColourTest : public ::testing::TestWithParam<LoudnessCase> {};

TEST_P(LoudnessColourTest, PicksRedYellowOrGreen) {
  EXPECT_EQ(WavePlot::amplitudeColorFor(GetParam().maximum), GetParam().expected());
}

INSTANTIATE_TEST_SUITE_P(
    Thresholds, LoudnessColourTest,
    // The bounds themselves belong to the quieter colour...
    ::testing::Values(LoudnessCase{0.85, &UIColor::yellowColor},
                      LoudnessCase{0.6, &UIColor::greenColor},
                      // ...but a float maximum widened to double lies just above them.
                      LoudnessCase{static_cast<double>(0.85f), &UIColor::redColor},
                      LoudnessCase{static_cast<double>(0.6f), &UIColor::yellowColor}));

TEST(WavePlotHelpers, RecordLimits) {
  auto record = plot_testing::makeRecord(2, 1024);
  EXPECT_TRUE(WavePlot::recordIsDrawable(record.get()));
  EXPECT_EQ(WavePlot::newestPackets(record.get(), 1, 3, 1024), record->data[1] + 17 * 1024);
  record->numberFrames = 5000;
  EXPECT_EQ(WavePlot::recordFrames(record.get()), 4096u);
  record->numberFrames = -4;
  EXPECT_EQ(WavePlot::recordFrames(record.get()), 0u);
  EXPECT_FALSE(WavePlot::recordIsDrawable(record.get()));
  record->numberFrames = 512;
  for (int channels : {0, 3, -1}) {
    record->numberBuffers = channels;
    EXPECT_EQ(WavePlot::recordChannels(record.get()), 0u);
    EXPECT_FALSE(WavePlot::recordIsDrawable(record.get()));
  }
  EXPECT_FALSE(WavePlot::recordIsDrawable(nullptr));
}

}  // namespace
