#include "LiveRequest.h"

#include <algorithm>

#include "LivePanels.h"

namespace live {
namespace {

Refusal refuse(int status, std::string reason) {
  return {status, std::move(reason)};
}

bool isPathCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
         c == '-' || c == '_' || c == '.';
}

// "127.0.0.1:PORT" or "localhost:PORT", optionally after "http://".
bool namesThisServer(std::string_view text, std::uint16_t port, bool withScheme) {
  if (withScheme) {
    constexpr std::string_view kScheme = "http://";
    if (text.substr(0, kScheme.size()) != kScheme) return false;
    text.remove_prefix(kScheme.size());
  }
  std::string portText(1, ':');
  portText += std::to_string(port);
  for (std::string_view name : {std::string_view("127.0.0.1"), std::string_view("localhost")})
    if (text.size() == name.size() + portText.size() && text.substr(0, name.size()) == name &&
        text.substr(name.size()) == portText)
      return true;
  return false;
}

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

bool isRowName(std::string_view text) {
  return !text.empty() && text.size() <= kMaxRowNameBytes &&
         std::all_of(text.begin(), text.end(), isNameCharacter);
}

bool isDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "on", "off", or a plain decimal number.
bool isSettingValue(std::string_view text) {
  if (text == "on" || text == "off") return true;
  if (text.empty() || text.size() > kMaxValueBytes) return false;
  if (text.front() == '-') text.remove_prefix(1);
  const auto point = text.find('.');
  if (point == std::string_view::npos) return isDigits(text);
  return isDigits(text.substr(0, point)) && isDigits(text.substr(point + 1));
}

}  // namespace

std::variant<std::string, Refusal> settingsControlRequest(std::string_view path) {
  if (path.substr(0, kSettingsPrefix.size()) != kSettingsPrefix)
    return refuse(404, "no such action");
  const std::string_view rest = path.substr(kSettingsPrefix.size());
  const auto slash = rest.find('/');
  const std::string_view command = rest.substr(0, slash);
  const std::string_view argument =
      slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  if (command == "rows" || command == "back") {
    if (slash != std::string_view::npos)
      return refuse(400, std::string(command) + " takes nothing");
    return std::string(command);
  }
  if (command == "follow" || command == "press") {
    if (!isRowName(argument))
      return refuse(400, std::string(command) + " names a row by its id (letters, digits, _ or -)");
    return std::string(command) + " " + std::string(argument);
  }
  if (command == "set") {
    const auto split = argument.find('/');
    const std::string_view key = argument.substr(0, split);
    if (!isRowName(key)) return refuse(400, "set names a stored key (letters, digits, _ or -)");
    if (split == std::string_view::npos || !isSettingValue(argument.substr(split + 1)))
      return refuse(400, "set takes on, off or a plain number");
    return "set " + std::string(key) + " " + std::string(argument.substr(split + 1));
  }
  return refuse(404, "no such settings action");
}

std::variant<LiveRequest, Refusal> decodeLiveRequest(const RequestHead& head) {
  if (head.path.empty() || head.path.size() > kMaxPathBytes || head.path.front() != '/')
    return refuse(400, "bad path");
  if (!std::all_of(head.path.begin(), head.path.end(), isPathCharacter))
    return refuse(400, "bad character in the path");
  if (head.host.size() > kMaxHeaderBytes || !namesThisServer(head.host, head.port, false))
    return refuse(403, "this server answers only its own page (Host)");
  if (head.origin &&
      (head.origin->size() > kMaxHeaderBytes || !namesThisServer(*head.origin, head.port, true)))
    return refuse(403, "this server answers only its own page (Origin)");

  LiveRequest request;
  if (head.method == "GET") {
    if (head.path == "/") return request;
    if (head.path == "/events") {
      request.route = LiveRequest::Route::events;
      return request;
    }
    return refuse(404, "no such page");
  }
  if (head.method != "POST") return refuse(405, "only GET and POST");

  if (!head.origin) return refuse(403, "a POST must come from the page (no Origin)");
  if (head.path.substr(0, kSettingsPrefix.size()) == kSettingsPrefix) {
    auto control = settingsControlRequest(head.path);
    if (auto* refusal = std::get_if<Refusal>(&control)) return std::move(*refusal);
    request.route = LiveRequest::Route::settings;
    request.panel = kSettingsHost;
    request.control = std::move(std::get<std::string>(control));
    return request;
  }
  constexpr std::string_view kPress = "/api/press/";
  if (head.path.substr(0, kPress.size()) != kPress) return refuse(404, "no such action");
  std::string_view rest = head.path.substr(kPress.size());
  const auto slash = rest.find('/');
  if (slash == std::string_view::npos) return refuse(400, "a press names a panel and a button");
  const std::string_view panelName = rest.substr(0, slash);
  const std::string_view buttonName = rest.substr(slash + 1);
  const Panel* panel = findPanel(panelName);
  if (panel == nullptr) return refuse(404, "no such panel");
  if (findButton(*panel, buttonName) == nullptr) return refuse(404, "no such button");
  request.route = LiveRequest::Route::press;
  request.panel = panelName;
  request.button = buttonName;
  return request;
}

}  // namespace live
