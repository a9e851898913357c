#include <CoreFoundation/CFPreferences.h>
#include <Foundation/Foundation.h>
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <signal.h>

#include "ChildProcess.h"
#include "PreferencesFile.h"
#include "SettingsTestSupport.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace {

using settings_test::domainFile;
using settings_test::kDomain;
using settings_test::readFile;
using settings_test::runHelper;
using settings_test::writeFile;
using testing_support::TempDevice;

StrongRef<NSObject> copyValue(const char* key, const char* domain = kDomain) {
  return StrongRef<NSObject>::adopt(CFPreferencesCopyAppValue(key, domain));
}

TEST(Preferences, ValuesKeepTheirTypesThroughTheFile) {
  TempDevice device;
  CFPreferencesSetAppValue("Flag", NSNumber::numberWithBool(true).get(), kDomain);
  CFPreferencesSetAppValue("Count", NSNumber::numberWithInt(-128).get(), kDomain);
  CFPreferencesSetAppValue("Gain", NSNumber::numberWithFloat(0.9f).get(), kDomain);
  CFPreferencesSetAppValue("Name", NSString::stringWithUTF8String("grün").get(), kDomain);
  ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));
  EXPECT_EQ(readFile(domainFile()).rfind("<?xml", 0), 0u);

  // What another process reads from the file.
  auto entries = NSMutableDictionary::dictionary();
  ASSERT_EQ(cf_internal::readDomainFile(domainFile(), entries.get()),
            cf_internal::DomainFileStatus::ok);
  ASSERT_EQ(entries->count(), 4u);
  auto* flag = objc::cast<NSNumber>(entries->objectForKey("Flag"));
  auto* count = objc::cast<NSNumber>(entries->objectForKey("Count"));
  auto* gain = objc::cast<NSNumber>(entries->objectForKey("Gain"));
  auto* name = objc::cast<NSString>(entries->objectForKey("Name"));
  ASSERT_TRUE(flag && count && gain && name);
  EXPECT_EQ(flag->kind(), NSNumber::Kind::boolean);
  EXPECT_TRUE(flag->boolValue());
  EXPECT_EQ(count->integerValue(), -128);
  EXPECT_FLOAT_EQ(gain->floatValue(), 0.9f);
  EXPECT_EQ(name->string(), "grün");
}

TEST(Preferences, BinaryFilesReadAndNullRemovesAKey) {
  TempDevice device;
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, "BarsNumber", plist_new_uint(128));
  plist_dict_set_item(root, "Skipped", plist_new_data("ab", 2));
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &bytes, &length);
  writeFile(domainFile(), std::string(bytes, length));
  plist_to_bin_free(bytes);
  plist_free(root);

  ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));
  EXPECT_EQ(integerValueOf(copyValue("BarsNumber").get()), 128);
  EXPECT_FALSE(copyValue("Skipped"));  // not a type the store keeps

  CFPreferencesSetAppValue("BarsNumber", nullptr, kDomain);
  EXPECT_FALSE(copyValue("BarsNumber"));  // this process sees its change at once
  ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));
  EXPECT_FALSE(copyValue("BarsNumber"));
  EXPECT_EQ(readFile(domainFile()).find("BarsNumber"), std::string::npos);
}

TEST(Preferences, WritersOfTwoProcessesDoNotLoseEachOthersKeys) {
  TempDevice device;
  ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));  // this process has read the empty domain
  ASSERT_EQ(runHelper({"set", kDomain, "FromHelper", "int", "5"}), 0);
  CFPreferencesSetAppValue("FromTest", NSNumber::numberWithInt(6).get(), kDomain);
  ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));
  EXPECT_EQ(integerValueOf(copyValue("FromHelper").get()), 5);
  EXPECT_EQ(integerValueOf(copyValue("FromTest").get()), 6);
}

TEST(Preferences, BadDomainNamesAreRefused) {
  TempDevice device;
  for (const char* domain : {"", "..", "a/b", static_cast<const char*>(nullptr)}) {
    CFPreferencesSetAppValue("Key", NSNumber::numberWithInt(1).get(), domain);
    EXPECT_FALSE(CFPreferencesAppSynchronize(domain));
    EXPECT_FALSE(copyValue("Key", domain));
  }
}

class UnreadableFile : public ::testing::TestWithParam<std::string> {};

TEST_P(UnreadableFile, ReadsAsEmptyIsLoggedOnceAndStaysOnDisk) {
  TempDevice device;
  writeFile(domainFile(), GetParam());
  ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));
  EXPECT_FALSE(copyValue("BarsNumber"));
  ASSERT_TRUE(CFPreferencesAppSynchronize(kDomain));
  EXPECT_EQ(readFile(domainFile()), GetParam());
  const std::string log = device.log();
  std::size_t lines = 0;
  for (std::size_t at = log.find("is not a readable property list"); at != std::string::npos;
       at = log.find("is not a readable property list", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 1u);
}

std::string tornXml() {
  const std::string whole =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
      "<key>BarsNumber</key>\n<integer>128</integer>\n</dict>\n</plist>\n";
  return whole.substr(0, whole.size() / 2);
}

INSTANTIATE_TEST_SUITE_P(
    Preferences, UnreadableFile,
    ::testing::Values(std::string("\x01\x02garbage\xff", 11), tornXml(),
                      std::string("bplist00\x01"),
                      std::string("<?xml version=\"1.0\"?><plist><array><integer>1</integer>"
                                  "</array></plist>"),
                      std::string("<?xml version=\"1.0\"?><plist><dict><key>WaveGain</key>"
                                  "<string>a&#x00;b</string></dict></plist>"),
                      "<plist>" +
                          std::string(300 * 7, ' ')
                              .replace(0, 0,
                                       [] {
                                         std::string open;
                                         for (int i = 0; i < 300; ++i) open += "<array>";
                                         return open;
                                       }()) +
                          "</plist>",
                      std::string()));

TEST(Preferences, AWriterKilledInTheMiddleOfWritesLeavesAFileThatParses) {
  TempDevice device;
  testing_support::ChildProcess writer(settings_test::helperPath(), {"write-forever", kDomain});
  auto entries = NSMutableDictionary::dictionary();
  // Let it replace the file many times, then kill it wherever it is.
  ASSERT_TRUE(testing_support::waitFor([&] {
    return cf_internal::readDomainFile(domainFile(), entries.get()) ==
               cf_internal::DomainFileStatus::ok &&
           entries->integerValue("Counter") >= 30;
  }));
  writer.signal(SIGKILL);
  ASSERT_TRUE(writer.wait().has_value());
  ASSERT_EQ(cf_internal::readDomainFile(domainFile(), entries.get()),
            cf_internal::DomainFileStatus::ok);
  const long counter = entries->integerValue("Counter");
  EXPECT_GE(counter, 30);
  EXPECT_EQ(entries->integerValue("Filler199"), counter * 199);  // one write, whole
}

}  // namespace
