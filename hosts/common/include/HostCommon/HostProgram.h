#pragma once
// The life of a host program: name the main bundle, take the device's system version, define
// the host classes, let the hooking runtime load the tweaks, then run the main run loop until
// SIGTERM or SIGINT stops it.
//
//   int main() {
//     host::HostProgram program("com.apple.Music");
//     program.start(&defineMusicClasses);   // tweaks load after the classes exist
//     program.whenLaunched(&showNowPlaying);
//     return program.run();
//   }

#include <string>
#include <vector>

#include "HostCommon/SystemVersion.h"

namespace host {

class HostProgram {
 public:
  explicit HostProgram(std::string bundleIdentifier);
  HostProgram(const HostProgram&) = delete;
  HostProgram& operator=(const HostProgram&) = delete;

  // Names the bundle, sets kCFCoreFoundationVersionNumber from the device, calls
  // `defineClasses` with the generation and loads the tweaks that name this bundle.
  void start(void (*defineClasses)(int generation));

  // Runs on the main queue once the main run loop turns: the host's own launch.
  void whenLaunched(void (*launch)());

  // Runs the main run loop until a stop signal; returns the exit code.
  int run();

  int generation() const { return version_.generation; }
  const std::vector<std::string>& loadedTweaks() const { return tweaks_; }

 private:
  std::string bundleIdentifier_;
  SystemVersion version_;
  std::vector<std::string> tweaks_;
  int signalDescriptor_ = -1;
};

}  // namespace host
