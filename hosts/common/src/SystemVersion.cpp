#include "HostCommon/SystemVersion.h"

#include <plist/plist.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "Device/Device.h"
#include "Device/DeviceFiles.h"
#include "Foundation/NSPropertyListGuard.h"

namespace host {
namespace {

constexpr const char* kProductVersionKey = "ProductVersion";
constexpr const char* kCoreFoundationKey = "CFCoreFoundationVersionNumber";
constexpr std::uintmax_t kMaximumFileSize = 64 * 1024;

}  // namespace

double coreFoundationVersionOf(int generation) {
  return generation == kOlderGeneration ? 1241.11 : 1348.22;
}

bool writeSystemVersion(const std::filesystem::path& deviceRoot, int generation,
                        double coreFoundationVersion) {
  if (coreFoundationVersion == 0) coreFoundationVersion = coreFoundationVersionOf(generation);
  const std::string product = generation == kOlderGeneration ? "9.3.5" : "10.3.3";
  plist_t root = plist_new_dict();
  plist_dict_set_item(root, kProductVersionKey, plist_new_string(product.c_str()));
  plist_dict_set_item(root, kCoreFoundationKey, plist_new_real(coreFoundationVersion));
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root, &xml, &length);
  plist_free(root);
  if (xml == nullptr) return false;

  std::string relative = kSystemVersionPath;
  const auto file = deviceRoot / relative.substr(1);
  const bool written = device::replaceFile(file, std::string_view(xml, length), deviceRoot);
  std::free(xml);
  return written;
}

std::optional<SystemVersion> readSystemVersion() {
  if (!device::isConfigured()) return std::nullopt;
  const auto file = device::phonePath(kSystemVersionPath);
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  if (error || size == 0 || size > kMaximumFileSize) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  plist_t root = propertyListFromBytes(bytes.data(), bytes.size());
  if (root == nullptr) return std::nullopt;
  std::optional<SystemVersion> version;
  if (plist_get_node_type(root) == PLIST_DICT) {
    SystemVersion found;
    if (plist_t product = plist_dict_get_item(root, kProductVersionKey);
        product != nullptr && plist_get_node_type(product) == PLIST_STRING) {
      char* text = nullptr;
      plist_get_string_val(product, &text);
      if (text != nullptr && std::atoi(text) == kOlderGeneration)
        found.generation = kOlderGeneration;
      std::free(text);
    }
    found.coreFoundationVersion = coreFoundationVersionOf(found.generation);
    if (plist_t number = plist_dict_get_item(root, kCoreFoundationKey);
        number != nullptr && plist_get_node_type(number) == PLIST_REAL)
      plist_get_real_val(number, &found.coreFoundationVersion);
    version = found;
  }
  plist_free(root);
  return version;
}

}  // namespace host
