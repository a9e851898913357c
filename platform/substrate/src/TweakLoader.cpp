#include "substrate/TweakLoader.h"

#include <dlfcn.h>
#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>

#include "Device/Device.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPropertyListGuard.h"

namespace substrate {
namespace {

constexpr const char* kTweakDirectory = "/Library/MobileSubstrate/DynamicLibraries";
// A filter is a few lines; anything far larger is not one.
constexpr std::size_t kMaximumFilterSize = 1 << 20;

struct PlistDeleter {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistHandle = std::unique_ptr<void, PlistDeleter>;

// The filter file's verdict; a file that cannot be read is no property list.
FilterVerdict readFilterFile(const std::filesystem::path& file, const std::string& bundle) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  if (error || size == 0 || size > kMaximumFilterSize) return FilterVerdict::unreadable;
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() != size) return FilterVerdict::unreadable;
  return readTweakFilter(bytes.data(), bytes.size(), bundle);
}

}  // namespace

FilterVerdict readTweakFilter(const char* bytes, std::size_t length,
                              const std::string& bundleIdentifier) {
  if (bytes == nullptr || length == 0 || length > kMaximumFilterSize)
    return FilterVerdict::unreadable;
  plist_t root = propertyListFromBytes(bytes, length);
  PlistHandle owner(root);
  if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) return FilterVerdict::unreadable;
  plist_t filter = plist_dict_get_item(root, "Filter");
  if (filter == nullptr || plist_get_node_type(filter) != PLIST_DICT)
    return FilterVerdict::noBundles;
  plist_t bundles = plist_dict_get_item(filter, "Bundles");
  if (bundles == nullptr || plist_get_node_type(bundles) != PLIST_ARRAY ||
      plist_array_get_size(bundles) == 0)
    return FilterVerdict::noBundles;
  bool named = false;
  for (uint32_t i = 0; i < plist_array_get_size(bundles); ++i) {
    plist_t item = plist_array_get_item(bundles, i);
    if (item == nullptr || plist_get_node_type(item) != PLIST_STRING) continue;
    char* text = nullptr;
    plist_get_string_val(item, &text);
    if (text != nullptr && bundleIdentifier == text) named = true;
    std::free(text);
  }
  return named ? FilterVerdict::matches : FilterVerdict::other;
}

std::vector<std::string> loadTweaks(const std::string& bundleIdentifier) {
  std::vector<std::string> loaded;
  if (!device::isConfigured()) return loaded;
  const auto directory = device::phonePath(kTweakDirectory);
  std::error_code error;
  std::vector<std::filesystem::path> filters;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error))
    if (entry.path().extension() == ".plist") filters.push_back(entry.path());
  std::sort(filters.begin(), filters.end());

  for (const auto& filter : filters) {
    const std::string name = filter.filename().string();
    switch (readFilterFile(filter, bundleIdentifier)) {
      case FilterVerdict::other:
        continue;
      case FilterVerdict::unreadable:
        NSLog("substrate: skipping %s: not a property list", name.c_str());
        continue;
      case FilterVerdict::noBundles:
        NSLog("substrate: skipping %s: the filter names no bundle", name.c_str());
        continue;
      case FilterVerdict::matches:
        break;
    }
    auto library = filter;
    library.replace_extension(".so");
    if (!std::filesystem::exists(library, error)) {
      NSLog("substrate: skipping %s: no library %s", name.c_str(),
            library.filename().string().c_str());
      continue;
    }
    // The tweak's load-time functions run inside this call.
    if (::dlopen(library.c_str(), RTLD_NOW | RTLD_GLOBAL) == nullptr) {
      const char* reason = ::dlerror();
      NSLog("substrate: skipping %s: %s", name.c_str(), reason ? reason : "cannot be loaded");
      continue;
    }
    loaded.push_back(library.filename().string());
  }
  return loaded;
}

}  // namespace substrate
