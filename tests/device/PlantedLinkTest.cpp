// A link planted in the device's writable folders, at a file a writer opens or at a folder on
// its way, is never written through: the file outside the device keeps its bytes.

#include <CoreFoundation/CFPreferences.h>
#include <Foundation/Foundation.h>
#include <gtest/gtest.h>
#include <mach/mach.h>
#include <notify.h>
#include <servers/bootstrap.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "ProcessRecord.h"
#include "TempDevice.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kOutsideBytes = "outside the device\n";
constexpr const char* kDomain = "org.vellamor2.links";

std::string contents(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct Writer {
  const char* name;
  const char* planted;  // inside the device: the link, to a file (or folder) outside it
  bool folder;
  std::function<void()> write;
};

void PrintTo(const Writer& writer, std::ostream* out) {
  *out << writer.name;
}

class PlantedLink : public ::testing::TestWithParam<Writer> {};

TEST_P(PlantedLink, IsNeverWrittenThrough) {
  testing_support::TempDevice device;
  const Writer& writer = GetParam();
  const fs::path outside =
      device.path().parent_path() / (device.path().filename().string() + "-outside");
  fs::create_directories(outside);
  const fs::path victim = outside / "victim";
  std::ofstream(victim) << kOutsideBytes;
  const fs::path link = device.path() / writer.planted;
  fs::create_directories(link.parent_path());
  fs::create_symlink(writer.folder ? outside : victim, link);

  writer.write();

  EXPECT_EQ(contents(victim), kOutsideBytes);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(outside)) ++files;
  EXPECT_EQ(files, 1u) << "nothing new beside it";
  fs::remove_all(outside);
}

mach_port_t newPort() {
  mach_port_t port = MACH_PORT_NULL;
  mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &port);
  return port;
}

INSTANTIATE_TEST_SUITE_P(
    Writers, PlantedLink,
    ::testing::Values(
        Writer{"PreferencesFile", "var/mobile/Library/Preferences/org.vellamor2.links.plist", false,
               [] {
                 CFPreferencesSetAppValue("Key", NSNumber::numberWithInt(1).get(), kDomain);
                 CFPreferencesAppSynchronize(kDomain);
               }},
        Writer{"PreferencesLock", "var/mobile/Library/Preferences/.org.vellamor2.links.plist.lock",
               false,
               [] {
                 CFPreferencesSetAppValue("Key", NSNumber::numberWithInt(1).get(), kDomain);
                 CFPreferencesAppSynchronize(kDomain);
               }},
        Writer{"PreferencesFolder", "var/mobile/Library/Preferences", true,
               [] {
                 CFPreferencesSetAppValue("Key", NSNumber::numberWithInt(1).get(), kDomain);
                 CFPreferencesAppSynchronize(kDomain);
               }},
        Writer{"NotifyState", "run/notify/state/org.vellamor2.links", false,
               [] {
                 int token = -1;
                 notify_register_check("org.vellamor2.links", &token);
                 notify_set_state(token, 7);
               }},
        Writer{"Log", "run/log", false, [] { NSLog("a line for the log"); }},
        Writer{"PidRecord", "run/pids/links.pid", false,
               [] { launcher::writeRecord("links", ::getpid()); }},
        Writer{"PidFolder", "run/pids", true, [] { launcher::writeRecord("links", ::getpid()); }},
        Writer{"Registration", "run/bootstrap/org.vellamor2.links", false,
               [] { bootstrap_register(0, "org.vellamor2.links", newPort()); }},
        Writer{"RegistrationLock", "run/bootstrap/.org.vellamor2.links.lock", false,
               [] { bootstrap_register(0, "org.vellamor2.links", newPort()); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
