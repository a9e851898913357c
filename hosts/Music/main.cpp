// Music: names itself, lets the tweaks load, opens its now-playing screen and serves its main
// run loop.

#include <HostCommon/HostProgram.h>

#include "MusicClasses.h"

int main() {
  host::HostProgram program("com.apple.Music");
  program.start(&music::defineClasses);
  program.whenLaunched(&music::showNowPlaying);
  return program.run();
}
