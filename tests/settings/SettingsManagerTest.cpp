#include <CoreFoundation/CFPreferences.h>
#include <gtest/gtest.h>

#include <iterator>

#include "SettingsTestSupport.h"
#include "TempDevice.h"
#include "Vellamor2/SettingsManager.h"

namespace {

using settings_test::domainFile;
using settings_test::kDomain;
using settings_test::readFile;
using settings_test::runHelper;
using settings_test::runMainLoopUntil;
using settings_test::writeFile;
using testing_support::TempDevice;

StrongRef<SettingsManager> newManager() {
  auto manager = objc::make<SettingsManager>();
  manager->init();
  return manager;
}

void store(const char* key, NSObject* value) {
  CFPreferencesSetAppValue(key, value, kDomain);
  ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));
}

NSNumber* numberAt(NSDictionary* preferences, const char* key) {
  return objc::cast<NSNumber>(preferences->objectForKey(key));
}

// The settings vocabulary: every dictionary key with the type and value of its default.
struct Default {
  const char* key;
  char type;  // the number's objCType: 'c' Bool, 'i' Int, 'f' Float, 'd' Double
  double value;
};
constexpr Default kEveryDefault[] = {
    {"enabledMusic", 'c', 1},
    {"enabledLS", 'c', 1},
    {"enabledSPT", 'c', 1},
    {"visMethod", 'i', 0},
    {"colourMethod", 'i', 0},
    {"enabledCF", 'c', 0},
    {"waveBuffersPerPlot", 'i', 1},
    {"waveThickness", 'f', 1.0},
    {"waveGain", 'f', 1.0},
    {"waveStripPhase", 'c', 0},
    {"waveLowPassFilter", 'c', 0},
    {"waveSmudge", 'f', 0.0},
    {"waveFill", 'c', 0},
    {"waveOverlay", 'c', 0},
    {"waveLPFAmount", 'f', 0.0},
    {"waveBarsNumber", 'i', 64},
    {"waveBarsBuffersPerPlot", 'i', 20},
    {"waveBarsGain", 'f', 2.0},
    {"waveBarsSensitivity", 'f', 15.0},
    {"waveBarsFill", 'c', 1},
    {"waveBarsOverlay", 'c', 0},
    {"barsNumber", 'i', 64},
    {"barsBuffersPerPlot", 'i', 3},
    {"barsGain", 'f', 0.9f},
    {"barsSensitivity", 'f', 25.0},
    {"barsFill", 'c', 1},
    {"barsOverlay", 'c', 0},
    {"barsMirrorX", 'c', 1},
    {"barsMirrorY", 'c', 1},
    {"barsZeroY", 'c', 0},
    {"joyplotMask", 'c', 0},
    {"primaryColourRed", 'i', 1},
    {"primaryColourGreen", 'i', 1},
    {"primaryColourBlue", 'i', 1},
    {"primaryColourAlpha", 'd', 0.9},
    {"secondaryColourRed", 'i', 1},
    {"secondaryColourGreen", 'i', 1},
    {"secondaryColourBlue", 'i', 1},
    {"secondaryColourAlpha", 'd', 0.9},
    {"backgroundColourRed", 'i', 0},
    {"backgroundColourGreen", 'i', 0},
    {"backgroundColourBlue", 'i', 0},
    {"backgroundColourAlpha", 'd', 0.6},
};
static_assert(std::size(kEveryDefault) == 43);

TEST(SettingsManager, AnEmptyDomainGivesEveryKeyItsTypedDefault) {
  TempDevice device;
  auto manager = newManager();
  NSMutableDictionary* preferences = manager->preferences();
  ASSERT_NE(preferences, nullptr);
  EXPECT_EQ(msgSend<id>(manager.get(), "preferences"), preferences);
  EXPECT_EQ(gPreferences.get(), preferences);
  ASSERT_EQ(preferences->count(), 43u);
  for (const Default& expected : kEveryDefault) {
    NSNumber* number = numberAt(preferences, expected.key);
    ASSERT_NE(number, nullptr) << expected.key;
    EXPECT_EQ(number->objCType(), expected.type) << expected.key;
    EXPECT_DOUBLE_EQ(number->doubleValue(), expected.value) << expected.key;
  }
}

class ColourMethod : public ::testing::TestWithParam<std::pair<int, bool>> {};

TEST_P(ColourMethod, EnabledCFIsTrueExactlyForTwo) {
  TempDevice device;
  store("ColourMethod", NSNumber::numberWithInt(GetParam().first).get());
  auto manager = newManager();
  EXPECT_EQ(manager->preferences()->integerValue("colourMethod"), GetParam().first);
  NSNumber* enabledCF = numberAt(manager->preferences(), "enabledCF");
  ASSERT_NE(enabledCF, nullptr);
  EXPECT_EQ(enabledCF->kind(), NSNumber::Kind::boolean);
  EXPECT_EQ(enabledCF->boolValue(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(SettingsManager, ColourMethod,
                         ::testing::Values(std::pair{2, true}, std::pair{1, false},
                                           std::pair{0, false}));

TEST(SettingsManager, StoredValuesPassUnchangedAndUnknownKeysStayOut) {
  TempDevice device;
  store("WaveGain", NSString::stringWithUTF8String("loud").get());
  store("Mystery", NSNumber::numberWithInt(5).get());
  store("barsNumber", NSNumber::numberWithInt(7).get());  // lower case is not a stored key
  auto manager = newManager();
  NSMutableDictionary* preferences = manager->preferences();
  EXPECT_EQ(preferences->count(), 43u);
  auto* waveGain = objc::cast<NSString>(preferences->objectForKey("waveGain"));
  ASSERT_NE(waveGain, nullptr);
  EXPECT_EQ(waveGain->string(), "loud");
  EXPECT_EQ(preferences->objectForKey("Mystery"), nullptr);
  EXPECT_EQ(preferences->objectForKey("mystery"), nullptr);
  EXPECT_EQ(preferences->integerValue("barsNumber"), 64);
}

TEST(SettingsManager, AChangeFromAnotherProcessReloadsTheSameDictionary) {
  TempDevice device;
  store("BarsNumber", NSNumber::numberWithInt(128).get());
  auto manager = newManager();
  NSMutableDictionary* holder = manager->preferences();
  ASSERT_EQ(holder->integerValue("barsNumber"), 128);

  ASSERT_EQ(
      runHelper({"remove", kDomain, "BarsNumber", vellamor2::preferencesChangedNotification()}), 0);
  EXPECT_TRUE(runMainLoopUntil([&] { return holder->integerValue("barsNumber") == 64; }));
  EXPECT_EQ(manager->preferences(), holder);
  EXPECT_EQ(holder->count(), 43u);

  ASSERT_EQ(runHelper({"set", kDomain, "ColourMethod", "int", "2",
                       vellamor2::preferencesChangedNotification()}),
            0);
  EXPECT_TRUE(runMainLoopUntil([&] { return holder->boolValue("enabledCF"); }));
}

TEST(SettingsManager, AnUnreadableFileGivesDefaultsAndIsLeftAlone) {
  TempDevice device;
  const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>BarsNumber</key><inte";
  writeFile(domainFile(), garbage);
  auto manager = newManager();
  EXPECT_EQ(manager->preferences()->count(), 43u);
  EXPECT_EQ(manager->preferences()->integerValue("barsNumber"), 64);
  loadPreferencesFromFile();
  EXPECT_EQ(readFile(domainFile()), garbage);
}

}  // namespace
