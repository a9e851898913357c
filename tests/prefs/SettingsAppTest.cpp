// The Settings app as its own program: what a cell cannot take is refused with the row named and
// nothing written; the root pane's button restarts its own device's audio daemon only.

#include <gtest/gtest.h>
#include <sys/wait.h>

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
                      Refusal{"UnknownButton", "press Reboot", "Reboot"}),
    [](const auto& info) { return std::string(info.param.name); });

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
