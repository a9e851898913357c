#include "Foundation/NSBundle.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "Foundation/NSLog.h"

NSBundle* NSBundle::mainBundle() {
  static NSBundle* bundle = objc::make<NSBundle>().leak();
  return bundle;
}

void NSBundle::setBundleIdentifier(const std::string& identifier) {
  identifier_ = objc::make<NSString>(identifier);
}

StrongRef<NSBundle> NSBundle::bundleWithPath(const std::string& path) {
  std::error_code error;
  if (path.empty() || !std::filesystem::is_directory(path, error)) return nullptr;
  auto bundle = objc::make<NSBundle>();
  bundle->path_ = path;
  return bundle;
}

std::string NSBundle::pathForResource(const std::string& name, const std::string& type) const {
  if (path_.empty() || name.empty() || name.find('/') != std::string::npos || name == "." ||
      name == "..")
    return {};
  const std::filesystem::path file =
      std::filesystem::path(path_) / (type.empty() ? name : name + "." + type);
  std::error_code error;
  return std::filesystem::is_regular_file(file, error) ? file.string() : std::string();
}

bool NSBundle::load() {
  const std::filesystem::path folder(path_);
  const std::filesystem::path executable = folder / folder.stem();
  if (path_.empty() || ::dlopen(executable.c_str(), RTLD_NOW | RTLD_GLOBAL) == nullptr) {
    const char* reason = ::dlerror();
    NSLog("NSBundle: cannot load %s: %s", executable.c_str(), reason ? reason : "no bundle");
    return false;
  }
  return true;
}
