#pragma once
// The `vellamor device` requests that drive a booted device's hosts through their control
// services. `--host NAME` addresses a host (SpringBoard's lock screen, Music, Spotify); without
// it a request goes to the first host that answers it, the lock screen for the shared ones.

#include <CLI/CLI.hpp>

namespace tools {

void addDeviceControlCommands(CLI::App& device);

}  // namespace tools
