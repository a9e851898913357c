#pragma once
// The device's system version, chosen when the device is made and stored as the phone keeps it,
// in System/Library/CoreServices/SystemVersion.plist. Every process sets
// kCFCoreFoundationVersionNumber from it before any tweak loads.

#include <filesystem>
#include <optional>

namespace host {

inline constexpr int kOlderGeneration = 9;
inline constexpr int kNewerGeneration = 10;
inline constexpr const char* kSystemVersionPath =
    "/System/Library/CoreServices/SystemVersion.plist";

// The Core Foundation version number of a generation (9: 1241.11, 10: 1348.22).
double coreFoundationVersionOf(int generation);

struct SystemVersion {
  int generation = kNewerGeneration;
  double coreFoundationVersion = 0;
};

// Writes the system version file into the device at `deviceRoot`; false on failure.
// `coreFoundationVersion` 0 means the generation's own number.
bool writeSystemVersion(const std::filesystem::path& deviceRoot, int generation,
                        double coreFoundationVersion = 0);

// The version stored in the current device; nothing when there is no readable one.
std::optional<SystemVersion> readSystemVersion();

}  // namespace host
