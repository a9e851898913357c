// vellamor device create DIR [--system 9|10] | up | down | status: the simulated phone.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "CommandRegistry.h"
#include "DeviceControlCommand.h"
#include "Device/Device.h"
#include "Launcher/DeviceInstaller.h"
#include "Launcher/Launcher.h"

namespace {

int fail(const std::string& message) {
  std::fprintf(stderr, "vellamor device: %s\n", message.c_str());
  return 1;
}

int create(const std::string& directory, int generation) {
  std::string error;
  if (!launcher::createDevice(directory, generation, launcher::currentBuild(), &error))
    return fail(error);
  std::printf("device %s made for iOS %d\n", directory.c_str(), generation);
  return 0;
}

int up() {
  std::string error;
  if (!launcher::up(&error)) return fail(error);
  std::printf("device %s is up\n", device::root().c_str());
  return 0;
}

int down() {
  std::string error;
  if (!launcher::down(&error)) return fail(error);
  std::printf("device %s is down\n", device::root().c_str());
  return 0;
}

int status() {
  if (!device::isConfigured()) return fail("no device (--device DIR or VELLAMOR_DEVICE)");
  for (const auto& process : launcher::status()) {
    if (process.pid == 0)
      std::printf("%-14s stopped\n", process.name.c_str());
    else
      std::printf("%-14s %-8s pid %d\n", process.name.c_str(), process.running ? "running" : "gone",
                  static_cast<int>(process.pid));
  }
  return 0;
}

const bool registered = tools::registerCommand([](CLI::App& app) {
  auto* device = app.add_subcommand("device", "Make, boot, stop and show a simulated device");
  device->require_subcommand(1);

  auto* createCommand = device->add_subcommand("create", "Make a device and install the build");
  static std::string directory;
  static int generation = 10;
  createCommand->add_option("DIR", directory, "Device directory")->required();
  createCommand->add_option("--system", generation, "iOS generation")
      ->check(CLI::IsMember({9, 10}));
  createCommand->callback([] { tools::setExitCode(create(directory, generation)); });

  device->add_subcommand("up", "Boot the device's host programs")->callback([] {
    tools::setExitCode(up());
  });
  device->add_subcommand("down", "Stop every process of the device")->callback([] {
    tools::setExitCode(down());
  });
  device->add_subcommand("status", "Show the device's processes")->callback([] {
    tools::setExitCode(status());
  });
  tools::addDeviceControlCommands(*device);  // the hosts' control services
});

}  // namespace
