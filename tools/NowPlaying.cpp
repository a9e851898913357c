#include "NowPlaying.h"

#include <chrono>
#include <cstdlib>
#include <sstream>

#include "DeviceSession.h"
#include "HostControl/ControlClient.h"
#include "HostControl/RenderToScreen.h"

namespace tools {
namespace {

constexpr const char* kScreens[] = {"SpringBoard", "Music", "Spotify"};

// A line "NAME TEXT" of a reply, its TEXT fit for a now-playing field.
std::string lineOf(const std::string& reply, const std::string& name) {
  std::istringstream lines(reply);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(name + " ", 0) != 0) continue;
    std::string text = line.substr(name.size() + 1);
    for (char& c : text)
      if (c == '|' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text;
  }
  return {};
}

long wholeSeconds(const std::string& reply, const char* key) {
  return static_cast<long>(std::atof(replyField(reply, key).c_str()));
}

}  // namespace

bool passOnNowPlaying(std::string* told) {
  std::string status;
  if (!control::request(control::kAudioDaemon, "status", &status, std::chrono::milliseconds(500)))
    return false;
  const std::string request = "now-playing " + lineOf(status, "title") + "|" +
                              lineOf(status, "artist") + "|" +
                              std::to_string(wholeSeconds(status, "position_s")) + "|" +
                              std::to_string(wholeSeconds(status, "duration_s")) + "|" +
                              (replyField(status, "paused") == "1" ? "1" : "0");
  if (request == *told) return true;
  for (const char* host : kScreens)
    control::request(host, request, nullptr, std::chrono::milliseconds(500));
  *told = request;
  return true;
}

}  // namespace tools
