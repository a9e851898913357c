#include "DeviceSession.h"

#include <stdlib.h>
#include <time.h>

#include <CoreFoundation/CFNotificationCenter.h>
#include <CoreFoundation/CFPreferences.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "Device/Device.h"
#include "HostControl/ControlClient.h"
#include "Launcher/DeviceInstaller.h"
#include "Launcher/Launcher.h"

namespace tools {

void addSessionOptions(CLI::App& command, DeviceSession& session) {
  command.add_option("--audio", session.audioFile, "Play this audio file (WAV, FLAC, OGG)")
      ->check(CLI::ExistingFile);
  command.add_flag("--live", session.liveAudio, "Visualise the desktop's sound (its sound server)");
  command.add_option("--system", session.system, "iOS generation")->check(CLI::IsMember({9, 10}));
}
namespace {

namespace fs = std::filesystem;

// The service identifier: the preferences domain and the prefix of its change notification.
constexpr const char* kServiceIdentifier = "org.vellamor2.service";
constexpr const char* kPreferencesChanged = "org.vellamor2.service.preferences-changed";

bool springBoardAnswers() {
  std::string ignored;
  return control::request("SpringBoard", "figures", &ignored);
}

bool isUp() {
  for (const auto& process : launcher::status())
    if (process.running) return true;
  return false;
}

}  // namespace

bool storeSetting(const char* key, NSObject* value, bool announce) {
  CFPreferencesSetAppValue(key, value, kServiceIdentifier);
  if (!CFPreferencesAppSynchronize(kServiceIdentifier)) return false;
  if (announce)
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         kPreferencesChanged, nullptr, nullptr, true);
  return true;
}

std::string replyField(const std::string& reply, const std::string& key) {
  std::istringstream words(reply);
  for (std::string word; words >> word;)
    if (word.rfind(key + "=", 0) == 0) return word.substr(key.size() + 1);
  return {};
}

pid_t recordedPid(const std::string& name) {
  std::ifstream in(device::runDirectory() / "pids" / (name + ".pid"));
  long pid = 0;
  in >> pid;
  return static_cast<pid_t>(pid);
}

bool bringDeviceDown(const char* who) {
  std::string error;
  const bool down = launcher::down(&error);
  if (!down) std::fprintf(stderr, "%s: %s\n", who, error.c_str());
  return down;
}

bool startDevice(const DeviceSession& session, const std::atomic<bool>& interrupted, bool* booted,
                 std::string* error) {
  *booted = false;
  ::setenv(device::kDeviceEnvironmentVariable, session.directory.c_str(), 1);
  if (session.fresh) {
    // A previous run's device comes down first.
    if (fs::exists(session.directory / "run/pids")) bringDeviceDown(session.who);
    std::error_code ignored;
    fs::remove_all(session.directory, ignored);
    if (!launcher::createDevice(session.directory, session.system, launcher::currentBuild(), error))
      return false;
  } else if (!device::isConfigured()) {
    *error = session.directory.string() + " is not a device";
    return false;
  }
  if (!isUp()) {
    std::string audio;
    if (!session.audioFile.empty())
      audio = "--audio-file " + fs::absolute(session.audioFile).string();
    if (session.liveAudio) audio = "--audio-source live";
    ::setenv("VELLAMOR_MEDIASERVERD_OPTIONS", audio.c_str(), 1);
    auto yes = NSNumber::numberWithBool(true);
    if (!storeSetting("EnabledLS", yes.get(), false)) {
      *error = "cannot write the device's preferences";
      return false;
    }
    std::fprintf(stderr, "%s: device %s (iOS %d) coming up\n", session.who,
                 session.directory.c_str(), session.system);
    if (!launcher::up(error)) {
      bringDeviceDown(session.who);
      return false;
    }
    *booted = true;
  }
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    if (springBoardAnswers()) return true;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (interrupted || now.tv_sec - start.tv_sec > 20) break;
    timespec pause{0, 50'000'000};
    nanosleep(&pause, nullptr);
  }
  *error = interrupted ? "interrupted" : "SpringBoard's lock screen did not come up";
  if (*booted) bringDeviceDown(session.who);
  return false;
}

}  // namespace tools
