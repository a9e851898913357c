#pragma once
// Making a device: the phone's directory tree, its system version, and the built pieces
// installed at their phone paths as symlinks to the build (so a loaded image and its phone path
// are one file).

#include <filesystem>
#include <string>

namespace launcher {

// Where the built programs and libraries are.
struct BuildLocation {
  std::filesystem::path binaries;   // host programs
  std::filesystem::path libraries;  // stand-in libraries, the tweak, plug-ins
};

// The build that holds the running program (its bin/ and the lib/ beside it).
BuildLocation currentBuild();

// Creates (or refreshes) the device at `root` for iOS `generation` (9 or 10); false and a
// message in `error` on failure. `coreFoundationVersion` 0 takes the generation's number.
bool createDevice(const std::filesystem::path& root, int generation, const BuildLocation& build,
                  std::string* error, double coreFoundationVersion = 0);

// The bundle identifiers that the tweak's filter names.
inline constexpr const char* kTweakHosts[] = {"com.apple.mediaserverd", "com.apple.springboard",
                                              "com.apple.Music", "com.spotify.client"};

}  // namespace launcher
