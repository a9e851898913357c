#pragma once
// The simulated device is one directory laid out like the phone's filesystem. Every stand-in
// that touches the phone's files (ports, logs, preferences, images) resolves paths here.

#include <filesystem>
#include <string_view>

namespace device {

// Name of the environment variable that selects the device directory.
inline constexpr const char* kDeviceEnvironmentVariable = "VELLAMOR_DEVICE";

// The device directory, from VELLAMOR_DEVICE; empty when none is set.
std::filesystem::path root();

// True when VELLAMOR_DEVICE names a directory.
bool isConfigured();

// The per-boot run directory, `<root>/run`, created with mode 0700 when missing.
// Empty when no device is configured or it cannot be created.
std::filesystem::path runDirectory();

// A subdirectory of the run directory (for example "bootstrap"), created with mode 0700.
std::filesystem::path runSubdirectory(std::string_view name);

// Maps an absolute phone path ("/System/Library/...") into the device directory.
std::filesystem::path phonePath(std::string_view phoneAbsolutePath);

}  // namespace device
