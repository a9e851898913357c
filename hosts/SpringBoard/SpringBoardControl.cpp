#include "SpringBoardControl.h"

#include <dlfcn.h>

#include <Foundation/Foundation.h>
#include <HostControl/ControlService.h>
#include <HostFrames/ScreenFrames.h>
#include <HostScreen/ArtworkImage.h>
#include <HostScreen/ScreenRequests.h>
#include <HostScreen/ScreenWatch.h>
#include <notify.h>
#include <objc/message.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "LockScreenScreen.h"
#include "SpringBoardClasses.h"
#include "Vellamor2/LockScreenFigures.h"

namespace springboard {
namespace {

constexpr const char* kScreenBlankedNotification = "com.apple.springboard.hasBlankedScreen";

std::string error(const std::string& reason) {
  return "error " + reason;
}

// Sets the screen state (1 blanked, 0 lit) and posts the name, as SpringBoard does.
std::string announceScreen(std::uint64_t blanked) {
  static int token = -1;
  if (token < 0 && notify_register_check(kScreenBlankedNotification, &token) != NOTIFY_STATUS_OK) {
    token = -1;
    return error("cannot reach the screen notification");
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
    if (!image) return error("cannot show " + file + ": " + reason);
    setArtworkImage(std::move(image));
  }
  showNowPlayingArtwork();
  placeNowPlayingArtwork();
  return nowPlayingArtworkController() != nullptr ? "ok shown" : error("no artwork controller");
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
      return error("orientation must be 1 to 4");
  }
  id controller = nowPlayingArtworkController();
  if (controller == nullptr) return error("no artwork on screen");
  const auto status = objc::trySend<void>(
      nullptr, controller, sel_registerName("willRotateToInterfaceOrientation:duration:"),
      orientation, 0.3);
  return status == objc::SendStatus::sent ? "ok rotated" : "ok this artwork does not rotate";
}

// "TITLE|ARTIST": what the lock screen shows under the artwork.
std::string nowPlaying(const std::string& argument) {
  const auto bar = argument.find('|');
  if (bar == std::string::npos) return error("now-playing needs TITLE|ARTIST");
  setNowPlayingInfo(argument.substr(0, bar), argument.substr(bar + 1));
  return "ok now-playing";
}

// The lock-screen tweak's figures, when the tweak is loaded.
const LockScreenFigures* lockScreenFigures() {
  using Lookup = const LockScreenFigures* (*)();
  auto lookup = reinterpret_cast<Lookup>(::dlsym(RTLD_DEFAULT, kLockScreenFiguresSymbol));
  return lookup != nullptr ? lookup() : nullptr;
}

double percentile(std::vector<std::uint32_t> values, double fraction) {
  if (values.empty()) return 0;
  const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<long>(index), values.end());
  return values[index];
}

std::string figures() {
  const LockScreenFigures* f = lockScreenFigures();
  if (f == nullptr) return error("no lock-screen tweak in SpringBoard");
  const std::size_t kept = static_cast<std::size_t>(
      std::min<std::uint64_t>(f->drawn, LockScreenFigures::kKeptDurations));
  std::vector<std::uint32_t> durations(f->drawNanoseconds, f->drawNanoseconds + kept);
  char reply[512];
  std::snprintf(
      reply, sizeof reply,
      "ok plot=%s showing=%d ticks=%llu drawn=%llu skipped=%llu dropped=%llu packets=%llu "
      "changes=%llu draw_p50_us=%.1f draw_p99_us=%.1f",
      f->plotClass != nullptr ? f->plotClass : "", f->showing ? 1 : 0,
      static_cast<unsigned long long>(f->ticks), static_cast<unsigned long long>(f->drawn),
      static_cast<unsigned long long>(f->skipped), static_cast<unsigned long long>(f->dropped),
      static_cast<unsigned long long>(f->packets), static_cast<unsigned long long>(f->changes),
      percentile(durations, 0.5) / 1000, percentile(durations, 0.99) / 1000);
  return reply + (" " + screen::screenFigures());
}

}  // namespace

std::string handleControlRequest(const control::ControlRequest& request) {
  const std::string& command = request.command;
  if (command == "show-artwork") return showArtwork(request.argument);
  if (command == "hide-artwork") return hideArtwork();
  if (command == "rotate") return rotate(request.argument);
  if (command == "blank") return announceScreen(1);
  if (command == "light") return announceScreen(0);
  if (command == "now-playing") return nowPlaying(request.argument);
  if (command == "figures") return figures();
  if (auto reply = screen::answerScreenRequest(request)) return *reply;
  return error("unknown command " + command);
}

bool startControlService() {
  frames::startScreenFrames("SpringBoard", lockScreen());
  std::string reason;
  if (control::serve("SpringBoard", &handleControlRequest, &reason)) return true;
  NSLog("SpringBoard: no control service: %s", reason.c_str());
  return false;
}

}  // namespace springboard
