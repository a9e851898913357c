#pragma once
// What the apps' tests share: each case runs as the app in a child process of its own (hooks stay
// for the life of a process) with the service stand-in answering the given settings; counting
// log lines; comparing colours.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CoreFoundation/CFBase.h>
#include <Foundation/Foundation.h>
#include <HostCommon/SystemVersion.h>
#include <UIKit/UIKit.h>

#include <cmath>
#include <functional>
#include <string>

#include "AppTestService.h"
#include "InChild.h"
#include "Vellamor2/Startup.h"

namespace app_test {

// Runs `body` as the app `bundleIdentifier` of `generation` (its classes from `defineClasses`)
// in a child process; true when the child passed.
inline bool asApp(const char* bundleIdentifier, void (*defineClasses)(int), int generation,
                  NSDictionary* settings, const std::function<void()>& body) {
  return testing_support::passesInChild([&] {
    NSBundle::mainBundle()->setBundleIdentifier(bundleIdentifier);
    kCFCoreFoundationVersionNumber = host::coreFoundationVersionOf(generation);
    defineClasses(generation);
    for (const vellamor2::StartupStep& step : vellamor2::startupSequence()) step.run();
    answerSettings(settings);
    if (!startService()) ADD_FAILURE() << "the service did not start";
    body();
  });
}

inline int countOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// True when `color` is a UIColor of exactly these components.
inline bool sameColor(const NSObject* color, CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
  auto* c = objc::cast<UIColor>(color);
  if (c == nullptr) return false;
  const CGFloat* x = CGColorGetComponents(c->CGColor());
  const CGFloat want[4] = {r, g, b, a};
  for (int i = 0; i < 4; ++i)
    if (std::abs(x[i] - want[i]) > 1e-6) return false;
  return true;
}

}  // namespace app_test
