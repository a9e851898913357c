// SpringBoard's screen, blanked and lit on command: SIGUSR1 blanks it, SIGUSR2 lights it. Each
// change sets the state of "com.apple.springboard.hasBlankedScreen" (1 blanked, 0 lit) and posts
// the name, as SpringBoard does when its screen goes off and on.
//
// The two signals are blocked before main runs, so that every thread inherits the mask, and a
// small thread waits for them; the change itself is main-queue work.

#include <Foundation/Foundation.h>
#include <dispatch/dispatch.h>
#include <notify.h>
#include <signal.h>

#include <cstdint>
#include <thread>

namespace {

constexpr const char* kScreenBlankedNotification = "com.apple.springboard.hasBlankedScreen";

void announceScreen(std::uint64_t blanked) {
  static int token = -1;
  if (token < 0 && notify_register_check(kScreenBlankedNotification, &token) != NOTIFY_STATUS_OK) {
    NSLog("SpringBoard: cannot reach the screen notification; the screen stays as it was");
    token = -1;
    return;
  }
  notify_set_state(token, blanked);
  notify_post(kScreenBlankedNotification);
  NSLog(blanked ? "SpringBoard: screen blanked" : "SpringBoard: screen lit");
}

void blankScreen() {
  announceScreen(1);
}
void lightScreen() {
  announceScreen(0);
}

void waitForScreenSignals(sigset_t signals) {
  for (;;) {
    const int signal = sigwaitinfo(&signals, nullptr);
    if (signal == SIGUSR1) dispatch_async(dispatch_get_main_queue(), &blankScreen);
    if (signal == SIGUSR2) dispatch_async(dispatch_get_main_queue(), &lightScreen);
  }
}

__attribute__((constructor)) void listenForScreenSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGUSR1);
  sigaddset(&signals, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(&waitForScreenSignals, signals).detach();
}

}  // namespace
