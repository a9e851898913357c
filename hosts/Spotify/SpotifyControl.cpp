#include "SpotifyControl.h"

#include <Foundation/Foundation.h>
#include <HostControl/NowPlayingInfo.h>
#include <HostScreen/ScreenRequests.h>

#include "SpotifyClasses.h"
#include "SpotifyScreen.h"

namespace spotify {
namespace {

std::string error(const std::string& reason) {
  return "error " + reason;
}

std::string show(const std::string& file) {
  if (auto failed = spotifyScreen().chooseArtworkFrom(file)) return *failed;
  bringNowPlayingOnScreen();
  return nowPlayingController() != nullptr ? "ok shown" : error("no carousel controller");
}

std::string blurLayout(const std::string& argument) {
  if (argument != "3" && argument != "5") return error("blur-layout takes 3 or 5 subviews");
  setBlurLayout(argument == "3" ? 3 : 5);
  return "ok layout=" + argument;
}

}  // namespace

std::string handleControlRequest(const control::ControlRequest& request) {
  const std::string& command = request.command;
  if (command == "show-now-playing") return show(request.argument);
  if (command == "hide-now-playing") {
    takeNowPlayingOffScreen();
    return "ok hidden";
  }
  if (command == "next-track") {
    playNextTrack();
    return "ok track=" + std::to_string(spotifyScreen().item());
  }
  if (command == "blur-layout") return blurLayout(request.argument);
  if (command == "now-playing")
    return control::answerNowPlaying(request.argument, &showNowPlayingInfo);
  if (auto reply = screen::answerScreenRequest(request)) return *reply;
  return error("unknown command " + command);
}

void startControlService() {
  screen::serveScreenHost("Spotify", spotifyScreen().root(), &handleControlRequest);
}

}  // namespace spotify
