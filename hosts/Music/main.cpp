// Music: names itself, lets the tweaks load, draws its screen and offers its control service,
// then serves its main run loop. The now-playing screen comes on when it is asked to.

#include <HostCommon/HostProgram.h>

#include "MusicClasses.h"
#include "MusicControl.h"
#include "MusicScreen.h"

namespace {

void finishLaunching() {
  music::musicScreen().root();
  music::startControlService();
}

}  // namespace

int main() {
  host::HostProgram program("com.apple.Music");
  program.start(&music::defineClasses);
  program.whenLaunched(&finishLaunching);
  return program.run();
}
