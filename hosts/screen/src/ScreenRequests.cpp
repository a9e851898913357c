#include "HostScreen/ScreenRequests.h"

#include <Foundation/NSLog.h>
#include <HostFrames/ScreenFrames.h>

#include <cstdlib>
#include <string>

#include "HostScreen/PlotWatch.h"
#include "HostScreen/ScreenWatch.h"

namespace screen {
namespace {

std::string firstChangeAfter(const std::string& argument) {
  char* end = nullptr;
  const unsigned long long after = std::strtoull(argument.c_str(), &end, 10);
  if (argument.empty() || *end != '\0') return "error first-change-after needs a time in ns";
  const std::uint64_t first = firstFrameAfter(after);
  return first == 0 ? "ok none" : "ok " + std::to_string(first);
}

}  // namespace

std::optional<std::string> answerScreenRequest(const control::ControlRequest& request) {
  // Captures and live frames: drawn off the main thread by the render server.
  if (auto reply = frames::answerFrameRequest(request)) return reply;
  if (request.command == "figures")
    return "ok " + plotFigures(watchedScreen()) + " " + screenFigures();
  if (request.command == "screen-figures") return "ok " + screenFigures();
  if (request.command == "first-change-after") return firstChangeAfter(request.argument);
  return std::nullopt;
}

bool serveScreenHost(const std::string& hostName, UIView* root, control::ControlHandler handler) {
  frames::startScreenFrames(hostName, root);
  std::string reason;
  if (control::serve(hostName, std::move(handler), &reason)) return true;
  NSLog("%s: no control service: %s", hostName.c_str(), reason.c_str());
  return false;
}

}  // namespace screen
