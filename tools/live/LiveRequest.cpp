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
  const std::string portText = ":" + std::to_string(port);
  for (std::string_view name : {std::string_view("127.0.0.1"), std::string_view("localhost")})
    if (text.size() == name.size() + portText.size() && text.substr(0, name.size()) == name &&
        text.substr(name.size()) == portText)
      return true;
  return false;
}

}  // namespace

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

  constexpr std::string_view kPress = "/api/press/";
  if (head.path.substr(0, kPress.size()) != kPress) return refuse(404, "no such action");
  if (!head.origin) return refuse(403, "a press must come from the page (no Origin)");
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
