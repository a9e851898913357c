#include "HostScreen/ScreenRequests.h"

#include <time.h>

#include <Renderer/Renderer.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "HostScreen/ScreenWatch.h"

namespace screen {
namespace {

std::uint64_t monotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

std::string capture(UIView* root, const std::string& argument) {
  auto [file, scaleText] = control::splitFirstWord(argument);
  if (file.empty()) return "error capture needs a file";
  double scale = 2;
  if (!scaleText.empty()) {
    char* end = nullptr;
    scale = std::strtod(scaleText.c_str(), &end);
    if (end == scaleText.c_str() || *end != '\0' || !(scale >= 0.25 && scale <= 4))
      return "error scale must be 0.25 to 4";
  }
  const std::uint64_t start = monotonicNanoseconds();
  std::string reason;
  if (!captureScreen(root, file, scale, &reason)) return "error " + reason;
  char reply[96];
  std::snprintf(reply, sizeof reply, "ok captured_us=%llu",
                static_cast<unsigned long long>((monotonicNanoseconds() - start) / 1000));
  return reply;
}

std::string firstChangeAfter(const std::string& argument) {
  char* end = nullptr;
  const unsigned long long after = std::strtoull(argument.c_str(), &end, 10);
  if (argument.empty() || *end != '\0') return "error first-change-after needs a time in ns";
  const std::uint64_t first = firstFrameAfter(after);
  return first == 0 ? "ok none" : "ok " + std::to_string(first);
}

}  // namespace

bool captureScreen(UIView* root, const std::string& path, double scale, std::string* error) {
  // One renderer per scale in use keeps its surface between captures.
  static std::unique_ptr<render::Renderer> renderer;
  if (!renderer || renderer->options().scale != scale) {
    render::RenderOptions options;
    options.scale = scale;
    renderer = std::make_unique<render::Renderer>(options);
  }
  renderer->draw(root);
  return render::writePng(renderer->image(), path, error);
}

std::optional<std::string> answerScreenRequest(const control::ControlRequest& request,
                                               UIView* root) {
  if (request.command == "capture") return capture(root, request.argument);
  if (request.command == "figures" || request.command == "screen-figures")
    return "ok " + screenFigures();
  if (request.command == "first-change-after") return firstChangeAfter(request.argument);
  return std::nullopt;
}

}  // namespace screen
