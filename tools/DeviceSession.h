#pragma once
// A device for a command that watches it (the demo, the live page): made fresh or taken as it
// is, its lock screen's visualiser enabled, booted with the chosen audio, and brought down again.

#include <sys/types.h>

#include <Foundation/Foundation.h>

#include <atomic>
#include <filesystem>
#include <string>

namespace CLI {
class App;
}

namespace tools {

struct DeviceSession {
  std::filesystem::path directory;
  bool fresh = true;  // false: an existing device, booted only if it is down
  int system = 10;
  std::string audioFile;  // empty: the built-in track
  bool liveAudio = false;
  const char* who = "vellamor";  // for messages
};

// The options of a command that boots a device: --audio FILE, --live and --system 9|10.
void addSessionOptions(CLI::App& command, DeviceSession& session);

// Selects the device (VELLAMOR_DEVICE), makes it when fresh, enables the lock screen and boots it
// unless it is up; waits (until `interrupted`) for SpringBoard's control service. Sets `booted`
// when this call brought the device up.
bool startDevice(const DeviceSession& session, const std::atomic<bool>& interrupted, bool* booted,
                 std::string* error);

// Brings the current device down; false (and a message on stderr) when a process is left.
bool bringDeviceDown(const char* who);

// Stores `value` under the stored key and, with `announce`, tells the device the settings
// changed.
bool storeSetting(const char* key, NSObject* value, bool announce);

// The value of `key=` in a control reply line, or empty.
std::string replyField(const std::string& reply, const std::string& key);

// The recorded pid of a host of the current device; 0 when none.
pid_t recordedPid(const std::string& name);

}  // namespace tools
