// vellamor device [--host NAME] REQUEST: one request to a booted device's host, through its
// control service; every request has its own --help.

#include "DeviceControlCommand.h"

#include <cstdio>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandRegistry.h"
#include "Device/Device.h"
#include "HostControl/ControlClient.h"

namespace tools {
namespace {

// The hosts with a control service, by the names the device uses for them.
const std::vector<std::string> kHosts = {"SpringBoard", "Music", "Spotify", "Preferences",
                                         "mediaserverd"};

std::string chosenHost;  // --host, empty for each request's own default

// One request to `host`; prints its reply and sets the exit code.
void ask(const std::string& defaultHost, const std::string& request) {
  if (!device::isConfigured()) {
    std::fprintf(stderr, "vellamor device: no device (--device DIR or VELLAMOR_DEVICE)\n");
    setExitCode(1);
    return;
  }
  const std::string& host = chosenHost.empty() ? defaultHost : chosenHost;
  std::string reply;
  const bool ok = control::request(host, request, &reply);
  std::fprintf(ok ? stdout : stderr, "%s%s\n", ok ? "" : "vellamor device: ", reply.c_str());
  setExitCode(ok ? 0 : 1);
}

// A path for the host: it may run in another directory.
std::string absolute(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::absolute(path, ignored).string();
}

std::string withArgument(const std::string& request, const std::string& argument) {
  return argument.empty() ? request : request + " " + argument;
}

// A request without arguments, answered by `host` unless --host names another.
void addPlain(CLI::App& device, const char* name, const char* help, const char* host) {
  device.add_subcommand(name, help)->callback([name, host] { ask(host, name); });
}

// A request whose one optional argument is a PNG for the artwork.
void addWithArtwork(CLI::App& device, const char* name, const char* help, const char* host) {
  static std::deque<std::string> files;  // one slot per request, alive as long as the app
  std::string& file = files.emplace_back();
  auto* sub = device.add_subcommand(name, help);
  sub->add_option("FILE", file, "A PNG to show as the artwork")->check(CLI::ExistingFile);
  sub->callback(
      [name, host, &file] { ask(host, withArgument(name, file.empty() ? "" : absolute(file))); });
}

}  // namespace

void addDeviceControlCommands(CLI::App& device) {
  device.add_option("--host", chosenHost, "The host a request goes to (default: the lock screen)")
      ->transform(CLI::IsMember(kHosts, CLI::ignore_case));

  // The lock screen (SpringBoard).
  addWithArtwork(device, "show-artwork", "Bring the lock screen's artwork on screen",
                 "SpringBoard");
  addPlain(device, "hide-artwork", "Take the lock screen's artwork away", "SpringBoard");
  static int orientation = 3;
  auto* rotate = device.add_subcommand("rotate", "Rotate the lock screen");
  rotate->add_option("ORIENTATION", orientation, "Interface orientation 1-4")
      ->check(CLI::Range(1, 4));
  rotate->callback([] { ask("SpringBoard", "rotate " + std::to_string(orientation)); });
  addPlain(device, "blank", "Turn the screen off", "SpringBoard");
  addPlain(device, "light", "Turn the screen on", "SpringBoard");

  // The apps' now-playing screens (Music unless --host names another).
  addWithArtwork(device, "show-now-playing", "Bring an app's now-playing screen on screen",
                 "Music");
  addPlain(device, "hide-now-playing", "Take an app's now-playing screen away", "Music");
  addPlain(device, "play-video", "Start a video in the Music app's now-playing screen", "Music");
  addPlain(device, "stop-video", "Stop the Music app's video", "Music");
  addPlain(device, "next-item", "Play the next item of the Music app's queue", "Music");
  static std::vector<std::string> colours;
  auto* colourise = device.add_subcommand(
      "colourise", "ColorFlow announces colours in the Music app (default: the artwork's)");
  colourise->add_option("COLOURS", colours, "Primary, secondary, background as R,G,B (0 to 1)")
      ->expected(3);
  colourise->callback([] {
    std::string request = "colourise";
    for (const auto& colour : colours) request += " " + colour;
    ask("Music", request);
  });
  addPlain(device, "revert", "ColorFlow announces the reversion in the Music app", "Music");
  addPlain(device, "next-track", "Play Spotify's next track (it recolours its controls)",
           "Spotify");
  static int blurSubviews = 5;
  auto* blur = device.add_subcommand("blur-layout", "Switch Spotify's blurred background layout");
  blur->add_option("SUBVIEWS", blurSubviews, "Its subviews: 5 (default) or 3")
      ->check(CLI::IsMember({3, 5}));
  blur->callback([] { ask("Spotify", "blur-layout " + std::to_string(blurSubviews)); });

  // Every screen.
  static std::string file;
  static double scale = 2;
  auto* capture = device.add_subcommand("capture", "Draw a host's screen into a PNG");
  capture->add_option("FILE", file, "The PNG to write")->required();
  capture->add_option("--scale", scale, "Device pixels per point")->check(CLI::Range(0.25, 4.0));
  capture->callback(
      [] { ask("SpringBoard", "capture " + absolute(file) + " " + std::to_string(scale)); });
  addPlain(device, "figures", "What a host's screen drew and committed", "SpringBoard");

  // The audio daemon.
  addPlain(device, "pause", "Pause the audio daemon's output (silence is not captured)",
           "mediaserverd");
  addPlain(device, "resume", "Resume the audio daemon's output", "mediaserverd");
  device.add_subcommand("audio-status", "What the audio daemon plays, where, and if it is paused")
      ->callback([] { ask("mediaserverd", "status"); });
}

}  // namespace tools
