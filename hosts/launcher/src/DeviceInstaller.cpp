#include "Launcher/DeviceInstaller.h"

#include <plist/plist.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <system_error>
#include <vector>

#include "Device/DeviceFiles.h"
#include "HostCommon/SystemVersion.h"
#include "Launcher/Launcher.h"

namespace launcher {
namespace {

namespace fs = std::filesystem;

struct InstalledPiece {
  const char* phonePath;
  bool fromLibraries;  // else from the programs
  const char* builtName;
  bool required;
};

// The stand-ins, the plug-in, the tweak and the preference bundle, at their phone paths.
constexpr InstalledPiece kPieces[] = {
    {"System/Library/Frameworks/AudioToolbox.framework/AudioToolbox", true, "libAudioToolbox.so",
     true},
    {"System/Library/SpringBoardPlugins/NowPlayingArtLockScreen.lockbundle/NowPlayingArtLockScreen",
     true, "NowPlayingArtLockScreen", true},
    {"Library/MobileSubstrate/DynamicLibraries/Vellamor2.so", true, "libVellamor2.so", true},
    // The bundle folder (library and specifier files) and its entry in the Settings app.
    {"Library/PreferenceBundles/vellamor2pref.bundle", true, "vellamor2pref.bundle", false},
    {"Library/PreferenceLoader/Preferences/vellamor2pref.plist", true,
     "PreferenceLoader/Preferences/vellamor2pref.plist", false},
};

constexpr const char* kFilterPath = "Library/MobileSubstrate/DynamicLibraries/Vellamor2.plist";
constexpr const char* kEmptyDirectories[] = {"var/mobile/Library/Preferences",
                                             "Library/MobileSubstrate/DynamicLibraries"};

// Points `link` at `target`, replacing what was there.
bool linkInto(const fs::path& link, const fs::path& target, std::string* error) {
  std::error_code failure;
  fs::create_directories(link.parent_path(), failure);
  fs::remove(link, failure);
  fs::create_symlink(target, link, failure);
  if (failure) *error = "cannot link " + link.string() + ": " + failure.message();
  return !failure;
}

bool writeFilter(const fs::path& deviceRoot, std::string* error) {
  const fs::path file = deviceRoot / kFilterPath;
  plist_t bundles = plist_new_array();
  for (const char* host : kTweakHosts) plist_array_append_item(bundles, plist_new_string(host));
  plist_t filter = plist_new_dict();
  plist_dict_set_item(filter, "Bundles", bundles);
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, "Filter", filter);
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root, &xml, &length);
  plist_free(root);
  const bool written =
      xml != nullptr && device::replaceFile(file, std::string_view(xml, length), deviceRoot);
  std::free(xml);
  if (!written) *error = "cannot write " + file.string();
  return written;
}

}  // namespace

BuildLocation currentBuild() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  const fs::path binaries = self.parent_path();
  return {binaries, binaries.parent_path() / "lib"};
}

bool createDevice(const fs::path& root, int generation, const BuildLocation& build,
                  std::string* error, double coreFoundationVersion) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (generation != host::kOlderGeneration && generation != host::kNewerGeneration) {
    *error = "the system must be 9 or 10";
    return false;
  }
  std::error_code failure;
  fs::create_directories(root, failure);
  const fs::path device = fs::absolute(root, failure);
  if (failure || !fs::is_directory(device)) {
    *error = "cannot make the device directory " + root.string();
    return false;
  }
  for (const char* directory : kEmptyDirectories)
    fs::create_directories(device / directory, failure);

  std::vector<std::string> missing;
  for (const InstalledPiece& piece : kPieces) {
    const fs::path built =
        (piece.fromLibraries ? build.libraries : build.binaries) / piece.builtName;
    if (!fs::exists(built, failure)) {
      if (piece.required) missing.push_back(built.string());
      continue;
    }
    if (!linkInto(device / piece.phonePath, built, error)) return false;
  }
  for (const HostProgram& program : hostPrograms()) {
    const fs::path built = build.binaries / program.name;
    if (!fs::exists(built, failure)) {
      missing.push_back(built.string());
      continue;
    }
    if (!linkInto(device / (program.phonePath + 1), built, error)) return false;
  }
  if (!missing.empty()) {
    *error = "not built: " + missing.front() +
             (missing.size() > 1 ? " and " + std::to_string(missing.size() - 1) + " more" : "");
    return false;
  }
  if (!writeFilter(device, error)) return false;
  if (!host::writeSystemVersion(device, generation, coreFoundationVersion)) {
    *error = "cannot write the system version";
    return false;
  }
  return true;
}

}  // namespace launcher
