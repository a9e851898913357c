#include "SpringBoardControl.h"

#include <Foundation/Foundation.h>
#include <HostControl/NowPlayingInfo.h>
#include <HostScreen/ArtworkImage.h>
#include <HostScreen/ScreenRequests.h>
#include <notify.h>
#include <objc/message.h>

#include <cstdio>
#include <cstdlib>

#include "LockScreenScreen.h"
#include "SpringBoardClasses.h"

namespace springboard {
namespace {

using control::errorReply;

constexpr const char* kScreenBlankedNotification = "com.apple.springboard.hasBlankedScreen";

// Sets the screen state (1 blanked, 0 lit) and posts the name, as SpringBoard does.
std::string announceScreen(std::uint64_t blanked) {
  static int token = -1;
  if (token < 0 && notify_register_check(kScreenBlankedNotification, &token) != NOTIFY_STATUS_OK) {
    token = -1;
    return errorReply("cannot reach the screen notification");
  }
  notify_set_state(token, blanked);
  notify_post(kScreenBlankedNotification);
  lockScreen()->layer()->setHidden(blanked != 0);  // an unlit screen shows nothing
  NSLog(blanked ? "SpringBoard: screen blanked" : "SpringBoard: screen lit");
  return blanked ? "ok blanked" : "ok lit";
}

std::string showArtwork(const std::string& file) {
  if (!file.empty()) {
    std::string reason;
    cg::ImageRef image = screen::artworkFromFile(file, &reason);
    if (!image) return errorReply("cannot show " + file + ": " + reason);
    setArtworkImage(std::move(image));
  }
  showNowPlayingArtwork();
  placeNowPlayingArtwork();
  return nowPlayingArtworkController() != nullptr ? "ok shown"
                                                  : errorReply("no artwork controller");
}

std::string hideArtwork() {
  hideNowPlayingArtwork();
  placeNowPlayingArtwork();
  return "ok hidden";
}

std::string rotate(const std::string& argument) {
  long orientation = 3;  // landscape left
  if (!argument.empty()) {
    char* end = nullptr;
    orientation = std::strtol(argument.c_str(), &end, 10);
    if (end == argument.c_str() || *end != '\0' || orientation < 1 || orientation > 4)
      return errorReply("orientation must be 1 to 4");
  }
  id controller = nowPlayingArtworkController();
  if (controller == nullptr) return errorReply("no artwork on screen");
  const auto status = objc::trySend<void>(
      nullptr, controller, sel_registerName("willRotateToInterfaceOrientation:duration:"),
      orientation, 0.3);
  return status == objc::SendStatus::sent ? "ok rotated" : "ok this artwork does not rotate";
}

}  // namespace

std::string handleControlRequest(const control::ControlRequest& request) {
  const std::string& command = request.command;
  if (command == "show-artwork") return showArtwork(request.argument);
  if (command == "hide-artwork") return hideArtwork();
  if (command == "rotate") return rotate(request.argument);
  if (command == "blank") return announceScreen(1);
  if (command == "light") return announceScreen(0);
  if (command == "now-playing")
    return control::answerNowPlaying(request.argument, &setNowPlayingInfo);
  if (auto reply = screen::answerScreenRequest(request)) return *reply;
  return errorReply("unknown command " + command);
}

bool startControlService() {
  return screen::serveScreenHost("SpringBoard", lockScreen(), &handleControlRequest);
}

}  // namespace springboard
