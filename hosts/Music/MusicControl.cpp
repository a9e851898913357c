#include "MusicControl.h"

#include <ColorFlow/ColorFlowNotifications.h>
#include <Foundation/Foundation.h>
#include <HostScreen/ScreenRequests.h>

#include <cstdio>
#include <optional>
#include <sstream>

#include "MusicClasses.h"
#include "MusicScreen.h"

namespace music {
namespace {

using control::errorReply;

constexpr screen::NowPlayingScreen kNowPlaying{&bringNowPlayingOnScreen, &takeNowPlayingOffScreen,
                                               &nowPlayingController, "now-playing controller",
                                               &showNowPlayingInfo};

// "R,G,B" with each component from 0 to 1.
std::optional<colorflow::PaletteColor> colourOf(const std::string& text) {
  colorflow::PaletteColor colour;
  char extra = 0;
  if (std::sscanf(text.c_str(), "%f,%f,%f%c", &colour.red, &colour.green, &colour.blue, &extra) !=
      3)
    return std::nullopt;
  for (float component : {colour.red, colour.green, colour.blue})
    if (!(component >= 0 && component <= 1)) return std::nullopt;
  return colour;
}

std::string colourise(const std::string& argument) {
  if (argument.empty()) {
    if (!colorflow::postColorization(colorflow::Place::musicApp, musicScreen().artwork().get()))
      return errorReply("the artwork has no palette");
    return "ok colourised from the artwork";
  }
  std::istringstream words(argument);
  std::string primary, secondary, background, extra;
  words >> primary >> secondary >> background >> extra;
  const auto p = colourOf(primary), s = colourOf(secondary), b = colourOf(background);
  if (!p || !s || !b || !extra.empty())
    return errorReply("colourise needs three colours R,G,B (0 to 1): primary secondary background");
  colorflow::postColorization(colorflow::Place::musicApp, {*p, *s, *b});
  return "ok colourised";
}

}  // namespace

std::string handleControlRequest(const control::ControlRequest& request) {
  const std::string& command = request.command;
  if (auto reply = screen::answerNowPlayingRequest(request, musicScreen(), kNowPlaying))
    return *reply;
  if (command == "play-video")
    return startVideo() ? "ok playing" : errorReply("no now-playing screen for a video");
  if (command == "stop-video")
    return stopVideo() ? "ok stopped" : errorReply("no video is playing");
  if (command == "next-item") {
    showNextItem();
    return "ok item=" + std::to_string(musicScreen().item());
  }
  if (command == "colourise") return colourise(request.argument);
  if (command == "revert") {
    colorflow::postReversion(colorflow::Place::musicApp);
    return "ok reverted";
  }
  if (auto reply = screen::answerScreenRequest(request)) return *reply;
  return errorReply("unknown command " + command);
}

void startControlService() {
  screen::serveScreenHost("Music", musicScreen().root(), &handleControlRequest);
}

}  // namespace music
