// Spotify: names itself, lets the tweaks load, opens its now-playing screen and serves its main
// run loop.

#include <HostCommon/HostProgram.h>

#include "SpotifyClasses.h"

int main() {
  host::HostProgram program("com.spotify.client");
  program.start(&spotify::defineClasses);
  program.whenLaunched(&spotify::showNowPlaying);
  return program.run();
}
