// vellamor settings [PANE] | settings set KEY VALUE | settings press ROW | settings follow ROW |
// settings back: a booted device's settings, through the Settings app's panes (its control
// service), as a person changes them.

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "CommandRegistry.h"
#include "Device/Device.h"
#include "HostControl/ControlClient.h"

namespace {

// One request to the Settings app; its reply, or nothing (the reason printed, exit code 1).
bool ask(const std::string& request, std::string* reply) {
  if (!device::isConfigured()) {
    std::fprintf(stderr, "vellamor settings: no device (--device DIR or VELLAMOR_DEVICE)\n");
    tools::setExitCode(1);
    return false;
  }
  if (control::request("Preferences", request, reply)) return true;
  const std::string reason = reply->rfind("error ", 0) == 0 ? reply->substr(6) : *reply;
  std::fprintf(stderr, "vellamor settings: %s\n", reason.c_str());
  tools::setExitCode(1);
  return false;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

// A pane's rows as the Settings app shows them: groups as headings, each row with its value,
// stored key and what it takes.
void printPane(const std::string& reply) {
  const std::vector<std::string> lines = split(reply, '\n');
  std::printf("%s\n", lines.empty() ? "" : lines.front().substr(3).c_str());
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::vector<std::string> row = split(lines[i], '\t');
    row.resize(6);
    const std::string& kind = row[0];
    if (kind.rfind("more ", 0) == 0) {
      std::printf("\n    (%s more rows not shown)\n", kind.c_str() + 5);
    } else if (kind == "group") {
      std::printf("\n  %s\n", row[2].c_str());
    } else if (kind == "link") {
      std::printf("    %-28s > %s\n", row[2].c_str(), row[5].c_str());
    } else if (kind == "button") {
      std::printf("    %-28s [press %s]\n", row[2].c_str(), row[1].c_str());
    } else {
      const std::string takes = kind == "switch" ? "on|off" : row[5];
      std::printf("    %-28s %-18s %s  (%s%s%s)\n", row[2].c_str(), row[4].c_str(), row[3].c_str(),
                  kind.c_str(), takes.empty() ? "" : " ", takes.c_str());
    }
  }
}

const bool registered = tools::registerCommand([](CLI::App& app) {
  auto* settings = app.add_subcommand(
      "settings", "Show and change a running device's settings through the Settings app's panes");
  settings->require_subcommand(0, 1);
  static std::string pane;
  settings->add_option("PANE", pane, "The pane to show (default: Root; its links name the others)");
  settings->callback([settings] {
    if (!settings->get_subcommands().empty()) return;
    std::string reply;
    if (ask(pane.empty() ? "rows Root" : "rows " + pane, &reply)) printPane(reply);
  });

  static std::string key, value;
  auto* set = settings->add_subcommand("set", "Change the row of a stored key as its cell would");
  set->add_option("KEY", key, "The stored key (e.g. VisMethod)")->required();
  set->add_option("VALUE", value, "on|off, a number, or a choice's value or title")->required();
  set->callback([] {
    std::string reply;
    if (ask("set " + key + " " + value, &reply)) std::printf("%s\n", reply.substr(3).c_str());
  });

  static std::string row;
  auto* press = settings->add_subcommand("press", "Press a button row of a pane");
  press->add_option("ROW", row, "The button's id or label (e.g. RestartMediaserverd)")->required();
  press->callback([] {
    std::string reply;
    if (ask("press " + row, &reply)) std::printf("%s\n", reply.substr(3).c_str());
  });

  // The Settings app's screen follows these, as it does a person's taps.
  static std::string link;
  auto* follow = settings->add_subcommand("follow", "Open the pane a link row leads to");
  follow->add_option("ROW", link, "The link's id or label (e.g. Bars)")->required();
  follow->callback([] {
    std::string reply;
    if (ask("follow " + link, &reply)) printPane(reply);
  });
  settings->add_subcommand("back", "Go back from the pane on screen")->callback([] {
    std::string reply;
    if (ask("back", &reply)) printPane(reply);
  });
});

}  // namespace
