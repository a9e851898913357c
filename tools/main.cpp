// vellamor: the command line of the simulated phone (demo, device, render, settings, …).

#include <cstdlib>
#include <string>
#include <vector>

#include "CommandRegistry.h"
#include "Device/Device.h"

namespace tools {
namespace {

std::vector<CommandSetup>& setups() {
  static std::vector<CommandSetup> all;
  return all;
}

int& exitCode() {
  static int code = 0;
  return code;
}

}  // namespace

bool registerCommand(CommandSetup setup) {
  setups().push_back(std::move(setup));
  return true;
}

void setExitCode(int code) { exitCode() = code; }

}  // namespace tools

int main(int argc, char** argv) {
  CLI::App app{"vellamor: the Vellamor2 visualiser on a simulated phone"};
  app.require_subcommand(1);
  std::string devicePath;
  app.add_option("--device", devicePath,
                 "Device directory (default: $VELLAMOR_DEVICE)")
      ->envname(device::kDeviceEnvironmentVariable);
  app.parse_complete_callback([&] {
    if (!devicePath.empty()) ::setenv(device::kDeviceEnvironmentVariable, devicePath.c_str(), 1);
  });
  for (auto& setup : tools::setups()) setup(app);
  CLI11_PARSE(app, argc, argv);
  return tools::exitCode();
}
