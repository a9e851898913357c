#include "Foundation/NSBundle.h"

NSBundle* NSBundle::mainBundle() {
  static NSBundle* bundle = objc::make<NSBundle>().leak();
  return bundle;
}

void NSBundle::setBundleIdentifier(const std::string& identifier) {
  identifier_ = objc::make<NSString>(identifier);
}
