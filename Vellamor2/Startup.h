#pragma once
// Start-up of the tweak. When the library is loaded into a process, its load-time functions run
// one after another, in the fixed order of startupSequence(); each unit function acts only in
// its own host, and the three state-record constructions run in every process.

#include <span>

namespace SpringBoardServer {
void startup();
}
namespace MediaServerHooks {
void initialize();
}
namespace LockScreen {
void startup();
void constructState();
}  // namespace LockScreen
namespace MusicApp {
void startup();
void constructState();
}  // namespace MusicApp
namespace SpotifyApp {
void startup();
void constructState();
}  // namespace SpotifyApp

namespace vellamor2 {

struct StartupStep {
  const char* name;
  void (*run)();
  bool constructsRecord;  // runs in every process; the other steps test their host first
};

// The load-time functions in the order they run.
std::span<const StartupStep> startupSequence();

// The Core Foundation version number above which the iOS 10 hook groups are installed.
inline constexpr double kIOS10VersionThreshold = 1299.0;

// True when `coreFoundationVersion` selects the iOS 10 groups (strictly greater than 1299.0).
constexpr bool selectsIOS10(double coreFoundationVersion) {
  return coreFoundationVersion > kIOS10VersionThreshold;
}

// The version gate for this process (kCFCoreFoundationVersionNumber).
bool runningIOS10();

// True when the main bundle's identifier is exactly `hostIdentifier`.
bool isHost(const char* hostIdentifier);

// Logs "vellamor2: Hooked <bundle identifier>." for the unit that has just matched its host.
void logHooked();

}  // namespace vellamor2
