#pragma once
// Bundles: the process's main bundle, whose identifier the host program sets before any tweak
// loads, and bundles found by their folder (the Settings app's preference bundles).

#include <string>

#include "Foundation/NSValues.h"

class NSBundle : public NSObject {
  OBJC_NATIVE_CLASS(NSBundle, NSObject)
 public:
  static NSBundle* mainBundle();
  // Null until the host program has named itself.
  NSString* bundleIdentifier() const { return identifier_.get(); }
  void setBundleIdentifier(const std::string& identifier);

  // The bundle in the folder `path` (a file-system path); its resources are files in that folder
  // and its executable is the folder's name without its extension ("x.bundle/x").
  static StrongRef<NSBundle> bundleWithPath(const std::string& path);
  const std::string& bundlePath() const { return path_; }
  // `<bundlePath>/<name>.<type>` when that file exists, else empty.
  std::string pathForResource(const std::string& name, const std::string& type) const;
  // Loads the executable (its load-time functions run); false, with one log line, on failure.
  bool load();

 private:
  StrongRef<NSString> identifier_;
  std::string path_;
};
