#pragma once
// Shared by the settings tests: the helper process, the main loop, files of the device.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace settings_test {

inline constexpr const char* kDomain = "org.vellamor2.service";

// Runs the helper with `arguments` to its end; its exit code (-1 when it did not end normally).
int runHelper(const std::vector<std::string>& arguments);
std::filesystem::path helperPath();

// Serves this thread's run loop (and so the main queue) until `condition` holds or time runs out.
bool runMainLoopUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));

// <device>/var/mobile/Library/Preferences/<domain>.plist
std::filesystem::path domainFile(const std::string& domain = kDomain);
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace settings_test
