// The Settings app as its own program: what a cell cannot take is refused with the row named and
// nothing written; the root pane's button restarts its own device's audio daemon only.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "HostControl/ControlClient.h"
#include "Launcher/DeviceInstaller.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;
using testing_support::TempDevice;
using testing_support::waitFor;

fs::path domainFile(const fs::path& device) {
  return device / "var/mobile/Library/Preferences/org.vellamor2.service.plist";
}

struct Refusal {
  const char* name;
  const char* request;
  const char* named;  // what the error must name
};

class SettingsAppRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(SettingsAppRefuses, WhatACellCannotTakeNamingItAndWritesNothing) {
  TempDevice device;
  std::string error;
  ASSERT_TRUE(launcher::createDevice(device.path(), 10, launcher::currentBuild(), &error)) << error;
  ChildProcess app(device.path() / "Applications/Preferences.app/Preferences", {}, {},
                   device.path() / "Preferences.out");
  ASSERT_TRUE(waitFor([] { return control::request("Preferences", "panes", nullptr); }))
      << device.log();
  std::string reply;
  EXPECT_FALSE(control::request("Preferences", GetParam().request, &reply));
  EXPECT_EQ(reply.rfind("error ", 0), 0u) << reply;
  EXPECT_NE(reply.find(GetParam().named), std::string::npos) << reply;
  EXPECT_FALSE(fs::exists(domainFile(device.path())));
  app.stop();
}

INSTANTIATE_TEST_SUITE_P(
    Prefs, SettingsAppRefuses,
    ::testing::Values(Refusal{"NotAChoice", "set VisMethod 4", "VisMethod"},
                      Refusal{"AboveTheRange", "set BarsNumber 129", "BarsNumber"},
                      Refusal{"NotWhole", "set WaveBarsNumber 3.5", "3.5"},
                      Refusal{"NotANumber", "set WaveGain loud", "loud"},
                      Refusal{"NotOnOrOff", "set EnabledLS maybe", "EnabledLS"},
                      Refusal{"ColourAboveOne", "set PrimaryColourRed 1.5", "PrimaryColourRed"},
                      Refusal{"UnknownKey", "set Loudness 3", "Loudness"},
                      Refusal{"UnknownPane", "rows Sparkles", "Sparkles"},
                      Refusal{"UnknownButton", "press Reboot", "Reboot"},
                      Refusal{"BackFromTheRoot", "back", "root pane"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsApp, TellsAPaneLongerThanAReplyHoldsAsFarAsItFitsAndHowManyRowsAreLeft) {
  TempDevice device;
  std::string error;
  ASSERT_TRUE(launcher::createDevice(device.path(), 10, launcher::currentBuild(), &error)) << error;
  // The bundle, its root pane holding 200 rows (the guard takes at most 256 containers).
  const fs::path bundle = device.path() / "Library/PreferenceBundles/vellamor2pref.bundle";
  const fs::path built = fs::read_symlink(bundle);
  fs::remove(bundle);
  fs::create_directory(bundle);
  fs::copy_file(built / "vellamor2pref", bundle / "vellamor2pref");
  std::ofstream root(bundle / "Root.plist");
  root << "<plist><dict><key>items</key><array>";
  for (int i = 0; i < 200; ++i)
    root << "<dict><key>cell</key><string>PSSwitchCell</string><key>key</key><string>Key" << i
         << "</string><key>default</key><true/><key>defaults</key><string>d</string></dict>";
  root << "</array></dict></plist>";
  root.close();
  ChildProcess app(device.path() / "Applications/Preferences.app/Preferences", {}, {},
                   device.path() / "Preferences.out");
  std::string reply;
  ASSERT_TRUE(waitFor([&] { return control::request("Preferences", "rows Root", &reply); }))
      << reply;
  const std::size_t last = reply.rfind('\n');
  ASSERT_NE(last, std::string::npos);
  const std::string more = reply.substr(last + 1);
  ASSERT_EQ(more.rfind("more ", 0), 0u) << more;
  const long shown = std::count(reply.begin(), reply.end(), '\n') - 1;
  EXPECT_EQ(shown + std::stol(more.substr(5)), 200);
  EXPECT_NE(reply.find("\nswitch\tKey" + std::to_string(shown - 1) + "\t"), std::string::npos);
  app.stop();
}

int vellamor(const std::vector<std::string>& arguments, const fs::path& output) {
  ChildProcess tool(testing_support::binaryDirectory() / "bin/vellamor", arguments, {}, output);
  const auto status = tool.wait(std::chrono::seconds(30));
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

long recordedPid(const fs::path& device) {
  std::ifstream in(device / "run/pids/mediaserverd.pid");
  long pid = 0;
  in >> pid;
  return pid;
}

bool runs(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  return pid > 0 && std::getline(in, text) && text.find(") Z") == std::string::npos;
}

TEST(SettingsApp, RootButtonRestartsTheAudioDaemonOfItsOwnDeviceOnly) {
  TempDevice other;
  TempDevice own;
  const fs::path output = own.path() / "tool.out";
  for (const TempDevice* device : {&own, &other}) {
    ASSERT_EQ(vellamor({"device", "create", device->path().string()}, output), 0);
    ASSERT_EQ(vellamor({"--device", device->path().string(), "device", "up"}, output), 0);
  }
  const long ownBefore = recordedPid(own.path());
  const long otherBefore = recordedPid(other.path());
  ASSERT_TRUE(waitFor([&] {
    return vellamor({"--device", own.path().string(), "settings", "press", "RestartMediaserverd"},
                    output) == 0;
  }));
  EXPECT_TRUE(waitFor([&] {
    const long now = recordedPid(own.path());
    return now != ownBefore && runs(now);
  })) << own.log();
  EXPECT_FALSE(runs(ownBefore));
  EXPECT_EQ(recordedPid(other.path()), otherBefore);
  EXPECT_TRUE(runs(otherBefore));
  for (const TempDevice* device : {&own, &other})
    EXPECT_EQ(vellamor({"--device", device->path().string(), "device", "down"}, output), 0);
}

}  // namespace
