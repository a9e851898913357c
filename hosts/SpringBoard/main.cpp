// SpringBoard: names itself, lets the tweaks load, finishes launching and shows the lock
// screen's now-playing artwork, then serves its main run loop.

#include <HostCommon/HostProgram.h>

#include "LockScreenScreen.h"
#include "SpringBoardClasses.h"
#include "SpringBoardControl.h"

namespace {

void finishLaunching() {
  springboard::launch();
  springboard::showNowPlayingArtwork();
  // Lock screen: the artwork on the drawn screen, and the control service.
  springboard::placeNowPlayingArtwork();
  springboard::startControlService();
}

}  // namespace

int main() {
  host::HostProgram program("com.apple.springboard");
  program.start(&springboard::defineClasses);
  program.whenLaunched(&finishLaunching);
  return program.run();
}
