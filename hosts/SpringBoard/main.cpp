// SpringBoard: names itself, lets the tweaks load, finishes launching and shows the lock
// screen's now-playing artwork, then serves its main run loop.

#include <CoreFoundation/CFRunLoop.h>
#include <HostCommon/HostProgram.h>

#include "LockScreenScreen.h"
#include "SpringBoardClasses.h"
#include "SpringBoardControl.h"

namespace {

void finishLaunching() {
  // One SpringBoard per device: without the control service (another SpringBoard holds it) this
  // one ends before it launches, leaving the first and its service alone.
  if (!springboard::startControlService()) {
    CFRunLoopStop(CFRunLoopGetMain());
    return;
  }
  springboard::launch();
  springboard::showNowPlayingArtwork();
  // Lock screen: the artwork on the drawn screen.
  springboard::placeNowPlayingArtwork();
}

}  // namespace

int main() {
  host::HostProgram program("com.apple.springboard");
  program.start(&springboard::defineClasses);
  program.whenLaunched(&finishLaunching);
  return program.run();
}
