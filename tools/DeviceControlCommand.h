#pragma once
// The `vellamor device` commands that drive a booted device's hosts through their control
// services: show-artwork, hide-artwork, rotate, blank, light, capture, figures.

#include <CLI/CLI.hpp>

namespace tools {

void addDeviceControlCommands(CLI::App& device);

}  // namespace tools
