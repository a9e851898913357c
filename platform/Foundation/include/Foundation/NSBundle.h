#pragma once
// The process's main bundle. Its identifier is set by the host program before any tweak loads.

#include <string>

#include "Foundation/NSValues.h"

class NSBundle : public NSObject {
  OBJC_NATIVE_CLASS(NSBundle, NSObject)
 public:
  static NSBundle* mainBundle();
  // Null until the host program has named itself.
  NSString* bundleIdentifier() const { return identifier_.get(); }
  void setBundleIdentifier(const std::string& identifier);

 private:
  StrongRef<NSString> identifier_;
};
