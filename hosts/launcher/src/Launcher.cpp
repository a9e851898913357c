#include "Launcher/Launcher.h"

#include <fcntl.h>
#include <mach/mach.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <system_error>

#include "Device/Device.h"
#include "Device/DeviceFiles.h"
#include "HostCommon/SystemVersion.h"
#include "HostControl/ControlClient.h"
#include "ProcessRecord.h"
#include "Supervisor.h"

namespace launcher {
namespace {

constexpr const char* kSupervisorName = "launcher";
constexpr auto kBootTimeout = std::chrono::seconds(10);
constexpr auto kSupervisorStopGrace = std::chrono::seconds(10);
constexpr auto kHostStopGrace = std::chrono::seconds(5);

bool isDevice() {
  std::error_code error;
  return device::isConfigured() &&
         std::filesystem::exists(device::phonePath(host::kSystemVersionPath), error);
}

bool allRecorded() {
  auto supervisor = readRecord(kSupervisorName);
  if (!supervisor || !isAlive(*supervisor)) return false;
  for (const HostProgram& program : hostPrograms()) {
    auto record = readRecord(program.name);
    if (!record || !isAlive(*record)) return false;
  }
  return true;
}

// Detaches the supervisor from the caller (its own session, reparented), then runs it.
bool startSupervisor(std::string* error) {
  const pid_t first = ::fork();
  if (first < 0) {
    *error = "cannot fork the supervisor";
    return false;
  }
  if (first == 0) {
    ::setsid();
    const pid_t supervisor = ::fork();
    if (supervisor != 0) ::_exit(supervisor < 0 ? 1 : 0);
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = device::openInDevice(device::runDirectory() / "launcher.out",
                                         O_WRONLY | O_CREAT | O_APPEND);
    if (in >= 0) ::dup2(in, 0);
    if (out >= 0) {
      ::dup2(out, 1);
      ::dup2(out, 2);
    }
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    ::_exit(runSupervisor());
  }
  int status = 0;
  ::waitpid(first, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "cannot start the supervisor";
    return false;
  }
  return true;
}

// The hosts besides SpringBoard whose control services `up` waits for.
constexpr const char* kAppsWithControl[] = {"mediaserverd", "Music", "Spotify", "Preferences"};

// True when the host's control service answers at all, even with an error.
bool serviceAnswers(const char* hostName) {
  std::string reply;
  if (control::request(hostName, "help", &reply, std::chrono::milliseconds(200))) return true;
  return reply.rfind("error", 0) == 0;
}

}  // namespace

const std::vector<HostProgram>& hostPrograms() {
  static const std::vector<HostProgram> programs = {
      {"mediaserverd", "/usr/sbin/mediaserverd"},
      {"SpringBoard", "/System/Library/CoreServices/SpringBoard.app/SpringBoard"},
      {"Music", "/Applications/Music.app/Music"},
      {"Spotify", "/Applications/Spotify.app/Spotify"},
      {"Preferences", "/Applications/Preferences.app/Preferences"},
  };
  return programs;
}

bool up(std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (!isDevice()) {
    *error = "not a device (make one with `vellamor device create DIR`)";
    return false;
  }
  if (auto supervisor = readRecord(kSupervisorName); supervisor && isAlive(*supervisor)) {
    *error = "the device is already up";
    return false;
  }
  // Records of an earlier boot whose processes are gone.
  removeRecord(kSupervisorName);
  for (const HostProgram& program : hostPrograms())
    if (auto record = readRecord(program.name); !record || !isAlive(*record))
      removeRecord(program.name);

  // Sockets of ports whose processes were killed in an earlier boot.
  mach_stand_in::removeDeadPortSockets();

  if (!startSupervisor(error)) return false;
  // Up means the hosts run, SpringBoard has launched (its control service answers once its
  // audio service is registered, so an app asked to show its now-playing screen finds it) and
  // every app's control service answers, so a first request never finds it missing.
  const auto deadline = std::chrono::steady_clock::now() + kBootTimeout;
  while (
      !allRecorded() ||
      !control::request("SpringBoard", "screen-figures", nullptr, std::chrono::milliseconds(200)) ||
      !std::all_of(std::begin(kAppsWithControl), std::end(kAppsWithControl), serviceAnswers)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      *error = "the host programs did not start, or SpringBoard did not launch (see run/*.out)";
      std::string stopError;
      down(&stopError);
      return false;
    }
    ::poll(nullptr, 0, 5);
  }
  return true;
}

bool down(std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (!device::isConfigured()) {
    *error = "no device";
    return false;
  }
  bool allGone = true;
  if (auto supervisor = readRecord(kSupervisorName)) {
    allGone = stopProcess(*supervisor, kSupervisorStopGrace) && allGone;
    removeRecord(kSupervisorName);
  }
  // Hosts that outlived their supervisor (it was killed) are stopped here, by their records.
  for (const HostProgram& program : hostPrograms()) {
    if (auto record = readRecord(program.name)) {
      allGone = stopProcess(*record, kHostStopGrace) && allGone;
      removeRecord(program.name);
    }
  }
  if (!allGone) *error = "some processes did not stop";
  return allGone;
}

std::vector<ProcessStatus> status() {
  std::vector<ProcessStatus> result;
  auto describe = [&](const char* name) {
    ProcessStatus entry{name};
    if (auto record = readRecord(name)) {
      entry.pid = record->pid;
      entry.running = isAlive(*record);
    }
    result.push_back(entry);
  };
  describe(kSupervisorName);
  for (const HostProgram& program : hostPrograms()) describe(program.name);
  return result;
}

}  // namespace launcher
