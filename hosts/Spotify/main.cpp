// Spotify: names itself, lets the tweaks load, draws its screen and offers its control service,
// then serves its main run loop. The now-playing screen comes on when it is asked to.

#include <HostCommon/HostProgram.h>

#include "SpotifyClasses.h"
#include "SpotifyControl.h"
#include "SpotifyScreen.h"

namespace {

void finishLaunching() {
  spotify::spotifyScreen().root();
  spotify::startControlService();
}

}  // namespace

int main() {
  host::HostProgram program("com.spotify.client");
  program.start(&spotify::defineClasses);
  program.whenLaunched(&finishLaunching);
  return program.run();
}
