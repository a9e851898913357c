// A device of each generation: made with `vellamor device create`, booted with `up`, its hosts
// loading the tweak (each unit hooking only its own host), a host restarted when it dies, the
// sockets of dead ports cleared, and `down` leaving no process behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "ChildProcess.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ChildProcess;

constexpr const char* kHosts[] = {"mediaserverd", "SpringBoard", "Music", "Spotify", "Preferences"};

// Runs `vellamor ARGS...` to its end; its exit status.
int vellamor(const std::vector<std::string>& arguments, const fs::path& output) {
  ChildProcess tool(testing_support::binaryDirectory() / "bin/vellamor", arguments, {}, output);
  const auto status = tool.wait(std::chrono::seconds(30));
  return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

// Log lines written by `program` (its name in the line's "name[pid]") that contain `text`.
int linesOf(const std::string& log, const std::string& program, const std::string& text) {
  std::istringstream lines(log);
  int count = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.find(" " + program + "[") != std::string::npos && line.find(text) != std::string::npos)
      ++count;
  return count;
}

using testing_support::processExists;
using testing_support::recordedPid;

// A port socket whose process has gone, as a killed client leaves it.
void plantDeadSocket(const fs::path& path) {
  fs::create_directories(path.parent_path());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string text = path.string();
  ASSERT_LT(text.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

class Device : public ::testing::TestWithParam<int> {
 protected:
  fs::path toolOutput() const { return device_.path() / "tool.out"; }
  testing_support::TempDevice device_;
};

TEST_P(Device, BootsEveryHostWithItsHooksRestartsAKilledHostAndStopsCleanly) {
  const int generation = GetParam();
  ASSERT_EQ(vellamor({"device", "create", device_.path().string(), "--system",
                      std::to_string(generation)},
                     toolOutput()),
            0);
  // A filter that is no property list: every host skips it, says so once, and starts.
  std::ofstream(device_.path() / "Library/MobileSubstrate/DynamicLibraries/Broken.plist")
      << "{ Filter = { Bundles = ( com.apple.springboard";

  const fs::path deadSocket = device_.path() / "run/ports/1-1-00000000";
  plantDeadSocket(deadSocket);

  ASSERT_EQ(vellamor({"device", "up"}, toolOutput()), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(deadSocket)));
  const std::string hooked = "vellamor2: Hooked ";
  const std::string skipped = "substrate: skipping Broken.plist";
  EXPECT_TRUE(testing_support::waitFor([&] {
    const std::string log = device_.log();
    for (const char* host : kHosts)
      if (linesOf(log, host, skipped) != 1) return false;
    return linesOf(log, "SpringBoard", hooked + "com.apple.springboard.") == 2 &&
           linesOf(log, "mediaserverd", hooked + "com.apple.mediaserverd.") == 1 &&
           linesOf(log, "Music", hooked + "com.apple.Music.") == 1 &&
           linesOf(log, "Spotify", hooked + "com.spotify.client.") == 1;
  })) << device_.log();

  std::vector<pid_t> started;
  for (const char* name :
       {"launcher", "mediaserverd", "SpringBoard", "Music", "Spotify", "Preferences"}) {
    started.push_back(recordedPid(device_.path(), name));
    EXPECT_TRUE(processExists(started.back())) << name;
  }

  // A host dies: the launcher starts a new one, which hooks again.
  for (const auto& [host, bundle, hooks] :
       {std::tuple{"mediaserverd", "com.apple.mediaserverd.", 1},
        std::tuple{"SpringBoard", "com.apple.springboard.", 2}}) {
    const pid_t killed = recordedPid(device_.path(), host);
    ASSERT_GT(killed, 1);
    ::kill(killed, SIGKILL);
    EXPECT_TRUE(testing_support::waitFor([&] {
      const pid_t restarted = recordedPid(device_.path(), host);
      return restarted > 1 && restarted != killed &&
             linesOf(device_.log(), host, hooked + bundle) == 2 * hooks;
    })) << host
        << "\n"
        << device_.log();
    started.push_back(recordedPid(device_.path(), host));
  }

  ASSERT_EQ(vellamor({"device", "down"}, toolOutput()), 0);
  for (pid_t pid : started) EXPECT_FALSE(processExists(pid)) << pid;
  EXPECT_FALSE(fs::exists(device_.path() / "run/pids/launcher.pid"));

  const std::string log = device_.log();
  EXPECT_EQ(log.find("did not stop cleanly"), std::string::npos) << log;
  EXPECT_EQ(linesOf(log, "Preferences", "vellamor2:"), 0) << log;
  EXPECT_EQ(linesOf(log, "SpringBoard", hooked), 4) << log;
}

INSTANTIATE_TEST_SUITE_P(System, Device, ::testing::Values(9, 10),
                         [](const auto& info) { return "iOS" + std::to_string(info.param); });

TEST(DeviceCommand, RefusesABadSystemAndADirectoryThatIsNoDevice) {
  testing_support::TempDevice device;
  const auto output = device.path() / "tool.out";
  EXPECT_NE(vellamor({"device", "create", device.path().string(), "--system", "8"}, output), 0);
  EXPECT_NE(vellamor({"device", "up"}, output), 0);
  EXPECT_FALSE(fs::exists(device.path() / "run/pids/launcher.pid"));
}

}  // namespace
