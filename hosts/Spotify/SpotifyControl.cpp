#include "SpotifyControl.h"

#include <Foundation/Foundation.h>
#include <HostScreen/ScreenRequests.h>

#include "SpotifyClasses.h"
#include "SpotifyScreen.h"

namespace spotify {
namespace {

using control::errorReply;

constexpr screen::NowPlayingScreen kNowPlaying{&bringNowPlayingOnScreen, &takeNowPlayingOffScreen,
                                               &nowPlayingController, "carousel controller",
                                               &showNowPlayingInfo};

std::string blurLayout(const std::string& argument) {
  if (argument != "3" && argument != "5") return errorReply("blur-layout takes 3 or 5 subviews");
  setBlurLayout(argument == "3" ? 3 : 5);
  return "ok layout=" + argument;
}

}  // namespace

std::string handleControlRequest(const control::ControlRequest& request) {
  const std::string& command = request.command;
  if (auto reply = screen::answerNowPlayingRequest(request, spotifyScreen(), kNowPlaying))
    return *reply;
  if (command == "next-track") {
    playNextTrack();
    return "ok track=" + std::to_string(spotifyScreen().item());
  }
  if (command == "blur-layout") return blurLayout(request.argument);
  if (auto reply = screen::answerScreenRequest(request)) return *reply;
  return errorReply("unknown command " + command);
}

void startControlService() {
  screen::serveScreenHost("Spotify", spotifyScreen().root(), &handleControlRequest);
}

}  // namespace spotify
