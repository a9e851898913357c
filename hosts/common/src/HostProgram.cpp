#include "HostCommon/HostProgram.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFRunLoop.h>
#include <Foundation/Foundation.h>
#include <dispatch/dispatch.h>
#include <substrate/TweakLoader.h>

#include <cstdio>

namespace host {
namespace {

sigset_t stopSignals() {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  return stops;
}

// Stop signals arrive through a descriptor that the main run loop watches, so stopping is
// ordinary main-thread work. They are blocked before the program's other load-time functions
// run, so that every thread started later (a host part's, a tweak's) inherits the block and none
// of them can be ended by the signal's default action.
__attribute__((constructor(101))) void blockStopSignalsEarly() {
  const sigset_t stops = stopSignals();
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
}

int blockStopSignals() {
  const sigset_t stops = stopSignals();
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  return ::signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
}

void stopOnSignal(int fd, void*) {
  signalfd_siginfo info{};
  while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
  }
  CFRunLoopStop(CFRunLoopGetMain());
}

}  // namespace

HostProgram::HostProgram(std::string bundleIdentifier)
    : bundleIdentifier_(std::move(bundleIdentifier)), signalDescriptor_(blockStopSignals()) {}

void HostProgram::start(void (*defineClasses)(int generation)) {
  NSBundle::mainBundle()->setBundleIdentifier(bundleIdentifier_);
  if (auto stored = readSystemVersion()) {
    version_ = *stored;
  } else {
    std::fprintf(stderr, "%s: no system version in the device; assuming iOS %d\n",
                 bundleIdentifier_.c_str(), version_.generation);
    version_.coreFoundationVersion = coreFoundationVersionOf(version_.generation);
  }
  kCFCoreFoundationVersionNumber = version_.coreFoundationVersion;
  // As an app's UIKit does, scrolling's tracking mode joins the common modes.
  CFRunLoopAddCommonMode(CFRunLoopGetMain(), CFSTR("UITrackingRunLoopMode"));
  if (defineClasses != nullptr) defineClasses(version_.generation);
  tweaks_ = substrate::loadTweaks(bundleIdentifier_);
}

void HostProgram::whenLaunched(void (*launch)()) {
  if (launch != nullptr) dispatch_async(dispatch_get_main_queue(), launch);
}

int HostProgram::run() {
  CFRunLoopRef main = CFRunLoopGetMain();
  if (signalDescriptor_ >= 0) {
    CFRunLoopSourceRef stops =
        CFRunLoopSourceCreateWithDescriptor(signalDescriptor_, &stopOnSignal, nullptr);
    CFRunLoopAddSource(main, stops, kCFRunLoopCommonModes);
  }
  CFRunLoopRun();
  return 0;
}

}  // namespace host
