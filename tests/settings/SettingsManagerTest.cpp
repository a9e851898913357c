#include <CoreFoundation/CFPreferences.h>
#include <gtest/gtest.h>

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

TEST(SettingsManager, AnEmptyDomainGivesEveryKeyItsTypedDefault) {
  TempDevice device;
  auto manager = newManager();
  NSMutableDictionary* preferences = manager->preferences();
  ASSERT_NE(preferences, nullptr);
  EXPECT_EQ(msgSend<id>(manager.get(), "preferences"), preferences);
  EXPECT_EQ(gPreferences.get(), preferences);
  ASSERT_EQ(preferences->count(), 43u);
  for (const auto& [key, value] : preferences->entries()) {
    EXPECT_NE(objc::cast<NSNumber>(value.get()), nullptr) << key;
  }
  struct Expected {
    const char* key;
    char type;
    double value;
  };
  for (const Expected& expected :
       {Expected{"enabledMusic", 'c', 1}, Expected{"enabledCF", 'c', 0},
        Expected{"visMethod", 'i', 0}, Expected{"waveGain", 'f', 1.0},
        Expected{"waveBarsBuffersPerPlot", 'i', 20}, Expected{"barsGain", 'f', 0.9f},
        Expected{"barsMirrorY", 'c', 1}, Expected{"barsNumber", 'i', 64},
        Expected{"joyplotMask", 'c', 0}, Expected{"primaryColourAlpha", 'd', 0.9},
        Expected{"backgroundColourAlpha", 'd', 0.6}, Expected{"backgroundColourRed", 'i', 0}}) {
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
