// vellamor device show-artwork [FILE] | hide-artwork | rotate [N] | blank | light |
// capture FILE [--scale S] | figures: a booted device's lock screen, through SpringBoard's
// control service.

#include "DeviceControlCommand.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "CommandRegistry.h"
#include "Device/Device.h"
#include "HostControl/ControlClient.h"

namespace tools {
namespace {

// One request to SpringBoard; prints its reply and sets the exit code.
void ask(const std::string& request) {
  if (!device::isConfigured()) {
    std::fprintf(stderr, "vellamor device: no device (--device DIR or VELLAMOR_DEVICE)\n");
    setExitCode(1);
    return;
  }
  std::string reply;
  const bool ok = control::request("SpringBoard", request, &reply);
  std::fprintf(ok ? stdout : stderr, "%s%s\n", ok ? "" : "vellamor device: ", reply.c_str());
  setExitCode(ok ? 0 : 1);
}

// A path for the host: it may run in another directory.
std::string absolute(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::absolute(path, ignored).string();
}

}  // namespace

void addDeviceControlCommands(CLI::App& device) {
  static std::string artwork;
  auto* show = device.add_subcommand("show-artwork", "Bring the lock screen's artwork on screen");
  show->add_option("FILE", artwork, "A PNG to show as the artwork")->check(CLI::ExistingFile);
  show->callback(
      [] { ask(artwork.empty() ? "show-artwork" : "show-artwork " + absolute(artwork)); });

  device.add_subcommand("hide-artwork", "Take the lock screen's artwork away")->callback([] {
    ask("hide-artwork");
  });

  static int orientation = 3;
  auto* rotate = device.add_subcommand("rotate", "Rotate the lock screen");
  rotate->add_option("ORIENTATION", orientation, "Interface orientation 1-4")
      ->check(CLI::Range(1, 4));
  rotate->callback([] { ask("rotate " + std::to_string(orientation)); });

  device.add_subcommand("blank", "Turn the screen off")->callback([] { ask("blank"); });
  device.add_subcommand("light", "Turn the screen on")->callback([] { ask("light"); });

  static std::string file;
  static double scale = 2;
  auto* capture = device.add_subcommand("capture", "Draw the lock screen into a PNG");
  capture->add_option("FILE", file, "The PNG to write")->required();
  capture->add_option("--scale", scale, "Device pixels per point")->check(CLI::Range(0.25, 4.0));
  capture->callback([] { ask("capture " + absolute(file) + " " + std::to_string(scale)); });

  device.add_subcommand("figures", "What the lock screen's drawing did")->callback([] {
    ask("figures");
  });
}

}  // namespace tools
