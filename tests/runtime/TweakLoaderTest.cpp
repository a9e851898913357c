// The tweak loader: a filter naming the host's bundle loads its tweak (whose load-time function
// then runs); any filter that cannot be used is skipped with one log line and nothing else.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <substrate/TweakLoader.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TempDevice.h"

namespace {

namespace fs = std::filesystem;

std::string filterNaming(const std::string& bundles) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
         "<key>Filter</key><dict><key>Bundles</key><array>" +
         bundles + "</array></dict></dict></plist>\n";
}

class TweakLoader : public ::testing::Test {
 protected:
  fs::path directory() const { return device_.path() / "Library/MobileSubstrate/DynamicLibraries"; }
  void SetUp() override { fs::create_directories(directory()); }

  void addFilter(const std::string& tweak, const std::string& contents, bool withLibrary) {
    std::ofstream(directory() / (tweak + ".plist")) << contents;
    if (withLibrary)
      fs::create_symlink(testing_support::binaryDirectory() / "lib/runtime_test_tweak.so",
                         directory() / (tweak + ".so"));
  }

  int loads() const {
    auto* count = static_cast<int*>(dlsym(RTLD_DEFAULT, "testTweakLoads"));
    return count != nullptr ? *count : 0;
  }

  int linesMentioning(const std::string& text) const {
    const std::string log = device_.log();
    int count = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }

  testing_support::TempDevice device_;
};

TEST_F(TweakLoader, LoadsTheTweaksWhoseFilterNamesTheBundle) {
  addFilter("Other", filterNaming("<string>com.apple.Music</string>"), true);
  addFilter(
      "Visualiser",
      filterNaming("<string>com.apple.mediaserverd</string><string>com.apple.springboard</string>"),
      true);

  EXPECT_EQ(substrate::loadTweaks("com.apple.Preferences"), std::vector<std::string>{});
  EXPECT_EQ(loads(), 0);
  EXPECT_EQ(substrate::loadTweaks("com.apple.springboard"),
            std::vector<std::string>{"Visualiser.so"});
  EXPECT_EQ(loads(), 1);
  EXPECT_EQ(device_.log(), "");
}

struct BadFilter {
  const char* name;
  std::string contents;
  bool withLibrary;
  const char* logged;
  friend void PrintTo(const BadFilter& filter, std::ostream* out) { *out << filter.name; }
};

class BadFilters : public TweakLoader, public ::testing::WithParamInterface<BadFilter> {};

TEST_P(BadFilters, AreSkippedWithOneLogLineAndTheRestStillLoads) {
  const BadFilter& bad = GetParam();
  addFilter("Broken", bad.contents, bad.withLibrary);
  addFilter("Good", filterNaming("<string>com.apple.springboard</string>"), true);

  EXPECT_EQ(substrate::loadTweaks("com.apple.springboard"), std::vector<std::string>{"Good.so"});
  EXPECT_EQ(loads(), 1);
  EXPECT_EQ(linesMentioning("\n"), 1) << device_.log();
  EXPECT_EQ(linesMentioning(std::string("substrate: skipping Broken.plist: ") + bad.logged), 1)
      << device_.log();
}

INSTANTIATE_TEST_SUITE_P(
    TweakLoader, BadFilters,
    ::testing::Values(BadFilter{"NotAPropertyList",
                                "{ Filter = { Bundles = ( com.apple.springboard", true,
                                "not a property list"},
                      BadFilter{"Empty", "", true, "not a property list"},
                      BadFilter{"NoFilter", "<plist version=\"1.0\"><dict/></plist>", true,
                                "the filter names no bundle"},
                      BadFilter{"NoBundles", filterNaming(""), true, "the filter names no bundle"},
                      BadFilter{"MissingLibrary",
                                filterNaming("<string>com.apple.springboard</string>"), false,
                                "no library Broken.so"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
