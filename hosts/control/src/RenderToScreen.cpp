#include "HostControl/RenderToScreen.h"

#include <time.h>

#include <cstdlib>
#include <string>

#include "HostControl/ControlClient.h"

namespace control {
namespace {

std::uint64_t nowNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

void pauseFor(long milliseconds) {
  timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1'000'000};
  nanosleep(&pause, nullptr);
}

}  // namespace

std::optional<double> timeRenderToScreen(const std::string& hostName,
                                         std::chrono::milliseconds timeout) {
  if (!request(kAudioDaemon, "pause", nullptr)) return std::nullopt;
  pauseFor(150);  // packets in flight land, and the screen shows them
  const std::uint64_t resumed = nowNanoseconds();
  if (!request(kAudioDaemon, "resume", nullptr)) return std::nullopt;
  const std::uint64_t deadline =
      resumed + static_cast<std::uint64_t>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count());
  while (nowNanoseconds() < deadline) {
    std::string reply;
    if (request(hostName, "first-change-after " + std::to_string(resumed), &reply) &&
        reply != "ok none") {
      const double at = std::strtod(reply.c_str() + 3, nullptr);
      return (at - static_cast<double>(resumed)) / 1e6;
    }
    pauseFor(2);
  }
  return std::nullopt;
}

}  // namespace control
