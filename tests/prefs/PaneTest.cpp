// The preference bundle's panes in this process, over the built bundle: each loads its file once,
// together they write every stored key with the type of its default and announce each change to
// the settings manager, a bad specifier file gives an empty pane and a log line, and the root
// pane's action never reaches a process outside the device.

#include <CoreFoundation/CFNotificationCenter.h>
#include <CoreFoundation/CFPreferences.h>
#include <Foundation/Foundation.h>
#include <Preferences/PSListController.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <substrate.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "ChildProcess.h"
#include "SettingsTestSupport.h"
#include "TempDevice.h"
#include "Vellamor2/SettingsManager.h"

namespace {

namespace fs = std::filesystem;
using settings_test::kDomain;
using testing_support::TempDevice;

fs::path builtBundle() {
  return testing_support::binaryDirectory() / "lib" / "vellamor2pref.bundle";
}

int gLoads = 0;
id (*gLoadSpecifiers)(id, SEL, id, id) = nullptr;

id countingLoad(id self, SEL cmd, id name, id target) {
  ++gLoads;
  return gLoadSpecifiers(self, cmd, name, target);
}

// Loads the bundle once per process and counts the panes' file loads.
class Panes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (gLoadSpecifiers != nullptr) return;  // every suite of this fixture shares one process
    ASSERT_TRUE(NSBundle::bundleWithPath(builtBundle())->load());
    MSHookMessageEx(objc_getClass("PSListController"),
                    sel_registerName("loadSpecifiersFromPlistName:target:"), &countingLoad,
                    &gLoadSpecifiers);
  }

  static StrongRef<NSObject> pane(const char* className, const fs::path& folder = builtBundle()) {
    auto pane = StrongRef<NSObject>::adopt(class_createInstance(objc_getClass(className)));
    msgSend<void>(pane.get(),
                  "setBundle:", static_cast<id>(NSBundle::bundleWithPath(folder).get()));
    return pane;
  }

  static NSArray* rowsOf(id pane) { return objc::cast<NSArray>(msgSend<id>(pane, "specifiers")); }

  // Every value row reachable from the root pane, by stored key, with the pane that shows it;
  // and the panes the links lead to.
  void walkFromRoot() {
    std::vector<StrongRef<NSObject>> todo = {pane("vellamor2RootListController")};
    for (std::size_t i = 0; i < todo.size(); ++i) {
      for (const auto& object : rowsOf(todo[i].get())->objects()) {
        auto* row = objc::cast<PSSpecifier>(object.get());
        if (!row->key().empty()) rows_[row->key()] = {todo[i], row};
        if (row->cellType() != PSLinkCell) continue;
        const auto* detail = objc::cast<NSString>(row->propertyForKey("detail"));
        linkedPanes_.push_back(detail->string());
        todo.push_back(pane(detail->UTF8String()));
      }
    }
    panes_ = todo;
  }

  struct Row {
    StrongRef<NSObject> pane;
    PSSpecifier* specifier;
  };
  TempDevice device_;
  std::vector<StrongRef<NSObject>> panes_;
  std::map<std::string, Row> rows_;
  std::vector<std::string> linkedPanes_;
};

class PaneFile : public Panes, public ::testing::WithParamInterface<const char*> {};

TEST_P(PaneFile, IsLoadedOnceAndGivesTheSameListTwice) {
  auto controller = pane(GetParam());
  const int before = gLoads;
  NSArray* first = rowsOf(controller.get());
  ASSERT_NE(first, nullptr);
  EXPECT_GT(first->count(), 1u);
  EXPECT_EQ(rowsOf(controller.get()), first);
  EXPECT_EQ(gLoads, before + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Prefs, PaneFile,
    ::testing::Values("vellamor2RootListController", "vellamor2WaveListController",
                      "vellamor2WaveBarsListController", "vellamor2BarsListController",
                      "vellamor2JoyplotListController", "vellamor2PrimaryColourListController",
                      "vellamor2SecondaryColourListController",
                      "vellamor2BackgroundColourListController"));

// What a person would pick on the row: the other switch position, a value inside the range.
std::string anInput(const PSSpecifier& row) {
  switch (row.cellType()) {
    case PSSwitchCell:
      return integerValueOf(row.propertyForKey("default")) != 0 ? "off" : "on";
    case PSLinkListCell:
      return std::to_string(integerValueOf(row.values()->objectAtIndex(row.values()->count() - 1)));
    default:
      return std::to_string(static_cast<long>(row.maximum()));
  }
}

bool isColourComponent(const std::string& key) {
  return key.find("Colour") != std::string::npos && key != "ColourMethod";
}

TEST_F(Panes, ReachEveryStoredKeyFromTheRootAndWriteItWithTheTypeOfItsDefault) {
  walkFromRoot();
  EXPECT_EQ(std::set<std::string>(linkedPanes_.begin(), linkedPanes_.end()).size(), 7u);
  for (const auto& setting : vellamor2::settingDefaults()) {
    SCOPED_TRACE(setting.storedKey);
    const auto found = rows_.find(setting.storedKey);
    ASSERT_NE(found, rows_.end());
    const PSSpecifier& row = *found->second.specifier;
    EXPECT_EQ(row.defaultsDomain(), kDomain);
    std::string reason;
    auto value = row.valueFromInput(anInput(row), &reason);
    ASSERT_TRUE(value) << reason;
    msgSend<void>(found->second.pane.get(),
                  "setPreferenceValue:specifier:", static_cast<id>(value.get()),
                  static_cast<id>(found->second.specifier));

    CFPreferencesAppSynchronize(kDomain);
    auto stored = StrongRef<NSObject>::adopt(CFPreferencesCopyAppValue(setting.storedKey, kDomain));
    const auto* number = objc::cast<NSNumber>(stored.get());
    ASSERT_NE(number, nullptr);
    using Type = vellamor2::SettingDefault::Type;
    // Colour components are fractions from 0 to 1: they are stored as reals.
    const bool real = setting.type == Type::Float || setting.type == Type::Double ||
                      isColourComponent(setting.storedKey);
    const NSNumber::Kind kind = number->kind();
    if (setting.type == Type::Bool) {
      EXPECT_EQ(kind, NSNumber::Kind::boolean);
    } else if (real) {
      EXPECT_EQ(kind, NSNumber::Kind::float64);
    } else {
      EXPECT_EQ(kind, NSNumber::Kind::int64);
    }
    if (isColourComponent(setting.storedKey)) {
      EXPECT_EQ(row.minimum(), 0.0);
      EXPECT_EQ(row.maximum(), 1.0);
    }
  }
  auto choices = [&](const char* key) {
    std::vector<long> values;
    for (const auto& value : rows_.at(key).specifier->values()->objects())
      values.push_back(integerValueOf(value.get()));
    return values;
  };
  EXPECT_EQ(choices("VisMethod"), (std::vector<long>{0, 1, 2, 3, 99}));
  EXPECT_EQ(choices("ColourMethod"), (std::vector<long>{0, 1, 2}));
}

int gChanges = 0;
void countChange(CFNotificationCenterRef, void*, CFNotificationName, const void*, const void*) {
  ++gChanges;
}

TEST_F(Panes, EveryChangeIsAnnouncedAndTheSettingsManagerHoldsTheNewValue) {
  walkFromRoot();
  auto manager = objc::make<SettingsManager>();
  manager->init();
  CFNotificationCenterAddObserver(CFNotificationCenterGetDarwinNotifyCenter(), &gChanges,
                                  &countChange, vellamor2::preferencesChangedNotification(),
                                  nullptr, CFNotificationSuspensionBehaviorDeliverImmediately);
  for (const auto& setting : vellamor2::settingDefaults()) {
    SCOPED_TRACE(setting.storedKey);
    const Row& row = rows_.at(setting.storedKey);
    std::string reason;
    auto value = row.specifier->valueFromInput(anInput(*row.specifier), &reason);
    ASSERT_TRUE(value) << reason;
    const int before = gChanges;
    msgSend<void>(row.pane.get(), "setPreferenceValue:specifier:", static_cast<id>(value.get()),
                  static_cast<id>(row.specifier));
    EXPECT_TRUE(settings_test::runMainLoopUntil([&] {
      return gChanges > before &&
             doubleValueOf(manager->preferences()->objectForKey(setting.dictionaryKey)) ==
                 value->doubleValue();
    }));
  }
  CFNotificationCenterRemoveEveryObserver(CFNotificationCenterGetDarwinNotifyCenter(), &gChanges);
}

struct BadFile {
  const char* name;
  const char* contents;  // null: no file
  std::size_t rows;
  const char* logged;
};

class BadSpecifierFile : public Panes, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadSpecifierFile, GivesThePaneOnlyItsSoundRowsAndALogLine) {
  const fs::path folder = device_.path() / "bundle";
  fs::create_directories(folder);
  if (GetParam().contents != nullptr) std::ofstream(folder / "Wave.plist") << GetParam().contents;
  auto controller = pane("vellamor2WaveListController", folder);
  NSArray* rows = rowsOf(controller.get());
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->count(), GetParam().rows);
  EXPECT_NE(device_.log().find(GetParam().logged), std::string::npos) << device_.log();
}

#define SOUND_SWITCH                                                                          \
  "<dict><key>cell</key><string>PSSwitchCell</string><key>key</key><string>WaveFill</string>" \
  "<key>default</key><false/><key>defaults</key><string>d</string></dict>"

INSTANTIATE_TEST_SUITE_P(
    Prefs, BadSpecifierFile,
    ::testing::Values(
        BadFile{"Missing", nullptr, 0, "no specifier file Wave.plist"},
        BadFile{"NoPropertyList", "<plist><dict><key>items</key><array>", 0, "not a property list"},
        BadFile{"NulInString", "<plist><string>a&#0;b</string></plist>", 0, "not a property list"},
        BadFile{"NoItems", "<plist><dict><key>title</key><string>W</string></dict></plist>", 0,
                "no dictionary with an array of items"},
        BadFile{"RowsLeftOut",
                "<plist><dict><key>items</key><array><string>row</string>"
                "<dict><key>cell</key><string>PSSliderCell</string><key>key</key><string>k</string>"
                "<key>default</key><real>1</real><key>defaults</key><string>d</string></dict>"
                "<dict><key>cell</key><string>PSFancyCell</string></dict>"
                "</array></dict></plist>",
                0, "item 2 left out: unknown cell PSFancyCell"},
        BadFile{"SoundRowKept",
                "<plist><dict><key>items</key><array>" SOUND_SWITCH
                "<dict><key>cell</key><string>PSLinkCell</string></dict></array></dict></plist>",
                1, "item 1 left out: row \"\" needs detail"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Panes, RootActionOutsideARunningDeviceStopsNoProcess) {
  // A process named like the audio daemon, of this user but of no device: what a literal
  // "killall -9 mediaserverd" would stop.
  const fs::path impostor = device_.path() / "mediaserverd";
  fs::copy_file("/bin/sleep", impostor);
  testing_support::ChildProcess daemon(impostor, {"30"});
  auto root = pane("vellamor2RootListController");
  msgSend<void>(root.get(), "killMediaserverd");
  EXPECT_TRUE(daemon.running());
  EXPECT_EQ(device_.log().find("stopped"), std::string::npos);
  daemon.stop();
}

}  // namespace
