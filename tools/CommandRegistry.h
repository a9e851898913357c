#pragma once
// Sub-commands of the `vellamor` tool register themselves from their own files:
//
//   static const bool registered = tools::registerCommand([](CLI::App& app) {
//     auto* sub = app.add_subcommand("render", "Draw one plot to a picture");
//     ...
//     sub->callback([] { ... tools::setExitCode(code); });
//   });

#include <CLI/CLI.hpp>

#include <functional>

namespace tools {

using CommandSetup = std::function<void(CLI::App&)>;

bool registerCommand(CommandSetup setup);

// The process's exit code once the chosen command has run (0 unless set).
void setExitCode(int code);

}  // namespace tools
