// "VisMethod" changed through the Settings app of a running device: the lock screen's next
// appearance shows the plot of that class.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "HostControl/ControlClient.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace {

namespace fs = std::filesystem;

int vellamor(const std::vector<std::string>& arguments, const fs::path& output) {
  testing_support::ChildProcess tool(testing_support::binaryDirectory() / "bin/vellamor", arguments,
                                     {}, output);
  const auto status = tool.wait(std::chrono::seconds(30));
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

// The class of the plot that the lock screen shows, from SpringBoard's figures.
std::string shownPlot() {
  std::string reply;
  if (!control::request("SpringBoard", "figures", &reply)) return {};
  std::istringstream words(reply);
  for (std::string word; words >> word;)
    if (word.rfind("plot=", 0) == 0 && reply.find("showing=1") != std::string::npos)
      return word.substr(5);
  return {};
}

TEST(SettingsSystem, VisMethodSetInTheSettingsAppChoosesTheLockScreensNextPlot) {
  testing_support::TempDevice device;
  const fs::path output = device.path() / "tool.out";
  ASSERT_EQ(vellamor({"device", "create", device.path().string()}, output), 0);
  ASSERT_EQ(vellamor({"device", "up"}, output), 0);
  ASSERT_TRUE(testing_support::waitFor([] {
    return control::request("Preferences", "panes", nullptr);
  })) << device.log();
  struct Choice {
    const char* value;
    const char* plot;
  };
  for (const Choice choice : {Choice{"2", "WavePlotBars"}, Choice{"Joyplot", "WavePlotJoyplot"},
                              Choice{"99", "WavePlotDebug"}, Choice{"1", "WavePlotWaveBars"},
                              Choice{"Waveform", "WavePlotWaveform"}}) {
    SCOPED_TRACE(choice.plot);
    ASSERT_EQ(vellamor({"settings", "set", "VisMethod", choice.value}, output), 0) << device.log();
    // SpringBoard reloads on its own run loop: the artwork goes and comes back until it has.
    EXPECT_TRUE(testing_support::waitFor([&] {
      control::request("SpringBoard", "hide-artwork", nullptr);
      control::request("SpringBoard", "show-artwork", nullptr);
      return shownPlot() == choice.plot;
    })) << shownPlot();
  }
  EXPECT_EQ(vellamor({"device", "down"}, output), 0);
}

}  // namespace
