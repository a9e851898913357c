#include "Preferences/PSListController.h"

#include <CoreFoundation/CFNotificationCenter.h>
#include <CoreFoundation/CFPreferences.h>

#include "Foundation/NSBundle.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPropertyListSerialization.h"
#include "UIKit/UIViewController.h"
#include "objc/message.h"

namespace {

constexpr const char* kSpecifiersIvar = "_specifiers";
constexpr const char* kBundleIvar = "_bundle";

id ivar(id self, const char* name) {
  return object_getIvar(self, class_getInstanceVariable(object_getClass(self), name));
}

id specifiers(id self, SEL) {
  return ivar(self, kSpecifiersIvar);
}

id loadSpecifiers(id self, SEL, id plistName, id target) {
  auto list = NSMutableArray::array();
  const auto* name = objc::cast<NSString>(plistName);
  auto* bundle = objc::cast<NSBundle>(ivar(self, kBundleIvar));
  const std::string shown = name != nullptr ? name->string() : "(null)";
  const std::string path =
      bundle != nullptr && name != nullptr ? bundle->pathForResource(name->string(), "plist") : "";
  std::string reason;
  if (path.empty()) {
    NSLog("Preferences: no specifier file %s.plist in %s", shown.c_str(),
          bundle != nullptr ? bundle->bundlePath().c_str() : "(no bundle)");
    return list.leak();
  }
  const StrongRef<NSObject> file = NSPropertyListSerialization::propertyListWithContentsOfFile(
      path, kMaximumSpecifierFileSize, &reason);
  std::vector<std::string> problems;
  if (file)
    list = PSSpecifiersFromPropertyList(file.get(), target, &problems);
  else
    problems.push_back(reason);
  for (const std::string& problem : problems)
    NSLog("Preferences: specifier file %s: %s", path.c_str(), problem.c_str());
  return list.leak();  // the caller's reference
}

id bundle(id self, SEL) {
  return ivar(self, kBundleIvar);
}

void setBundle(id self, SEL, id bundle) {
  if (bundle != nullptr && objc::cast<NSBundle>(bundle) == nullptr) return;
  object_setIvar(self, class_getInstanceVariable(object_getClass(self), kBundleIvar), bundle);
}

id readPreferenceValue(id, SEL, id row) {
  const auto* specifier = objc::cast<PSSpecifier>(row);
  if (specifier == nullptr) return nullptr;
  const std::string domain = specifier->defaultsDomain();
  const std::string key = specifier->key();
  if (!domain.empty() && !key.empty()) {
    // Others (the settings manager's process, another editor) may have written meanwhile.
    CFPreferencesAppSynchronize(domain.c_str());
    if (auto stored =
            StrongRef<NSObject>::adopt(CFPreferencesCopyAppValue(key.c_str(), domain.c_str())))
      return stored.get();  // the domain's copy keeps it alive
  }
  return specifier->propertyForKey("default");
}

void setPreferenceValue(id, SEL, id value, id row) {
  const auto* specifier = objc::cast<PSSpecifier>(row);
  if (specifier == nullptr || value == nullptr) return;
  const std::string domain = specifier->defaultsDomain();
  const std::string key = specifier->key();
  StrongRef<NSNumber> typed = specifier->valueWithDefaultType(value);
  if (domain.empty() || key.empty() || !typed) return;
  CFPreferencesSetAppValue(key.c_str(), typed.get(), domain.c_str());
  if (!CFPreferencesAppSynchronize(domain.c_str())) {
    NSLog("Preferences: cannot write %s in %s", key.c_str(), domain.c_str());
    return;
  }
  if (const auto* name = objc::cast<NSString>(specifier->propertyForKey("PostNotification"));
      name != nullptr && name->length() > 0)
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(),
                                         name->UTF8String(), nullptr, nullptr, true);
}

id specifierForID(id self, SEL, id identifier) {
  const auto* wanted = objc::cast<NSString>(identifier);
  const auto* rows = objc::cast<NSArray>(msgSend<id>(self, "specifiers"));
  if (wanted == nullptr || rows == nullptr) return nullptr;
  for (const auto& row : rows->objects())
    if (auto* specifier = objc::cast<PSSpecifier>(row.get());
        specifier != nullptr && specifier->identifier() == wanted->string())
      return specifier;
  return nullptr;
}

Class defineListController() {
  Class cls = objc_allocateClassPair(UIViewController::class_(), "PSListController", 0);
  if (cls == nullptr) return objc_getClass("PSListController");  // a second copy of this library
  class_addIvar(cls, kSpecifiersIvar, sizeof(id), 3, "@");
  class_addIvar(cls, kBundleIvar, sizeof(id), 3, "@");
  objc_registerClassPair(cls);
  objc::addMethod(cls, "specifiers", &specifiers);
  objc::addMethod(cls, "loadSpecifiersFromPlistName:target:", &loadSpecifiers);
  objc::addMethod(cls, "bundle", &bundle);
  objc::addMethod(cls, "setBundle:", &setBundle);
  objc::addMethod(cls, "readPreferenceValue:", &readPreferenceValue);
  objc::addMethod(cls, "setPreferenceValue:specifier:", &setPreferenceValue);
  objc::addMethod(cls, "specifierForID:", &specifierForID);
  return cls;
}

// Made when the library loads, before any bundle that subclasses it.
[[maybe_unused]] const Class kListController = defineListController();

}  // namespace
