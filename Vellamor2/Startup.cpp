#include "Vellamor2/Startup.h"

#include <CoreFoundation/CFBase.h>
#include <Foundation/Foundation.h>

#include <cstring>

namespace vellamor2 {
namespace {

// The order is this table's, not the link order of the units: one load-time function walks it.
constexpr StartupStep kStartupSequence[] = {
    {"SpringBoardServer", &SpringBoardServer::startup, false},
    {"MediaServerHooks", &MediaServerHooks::initialize, false},
    {"LockScreen", &LockScreen::startup, false},
    {"lockscreenState", &LockScreen::constructState, true},
    {"MusicApp", &MusicApp::startup, false},
    {"musicAppState", &MusicApp::constructState, true},
    {"SpotifyApp", &SpotifyApp::startup, false},
    {"SPTState", &SpotifyApp::constructState, true},
};

// Runs when the library is loaded. The units keep the statics that start-up touches constant-
// initialised, so nothing here depends on another unit's dynamic initialisation having run.
__attribute__((constructor)) void runStartup() {
  for (const StartupStep& step : kStartupSequence) step.run();
}

}  // namespace

std::span<const StartupStep> startupSequence() {
  return kStartupSequence;
}

bool runningIOS10() {
  return selectsIOS10(kCFCoreFoundationVersionNumber);
}

bool isHost(const char* hostIdentifier) {
  NSString* identifier = NSBundle::mainBundle()->bundleIdentifier();
  return identifier != nullptr && std::strcmp(identifier->UTF8String(), hostIdentifier) == 0;
}

void logHooked() {
  NSLog("vellamor2: Hooked %@.", NSBundle::mainBundle()->bundleIdentifier());
}

}  // namespace vellamor2
