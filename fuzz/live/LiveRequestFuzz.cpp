// The live page's server decodes every request from the browser: whatever the method, path,
// Host and Origin, the decoder gives a request of its own page or a refusal with a reason, and
// a request it lets through names only what the page offers and came from the page's origin; a
// request for the Settings app is one word, or two or three without space or control character.
// The same bytes as the Settings app's reply give the page JSON without a control character.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "live/LivePanels.h"
#include "live/LiveRequest.h"
#include "live/LiveSettings.h"

namespace {

void checkSettingsAnswer(const std::string& reply) {
  for (const bool answered : {true, false}) {
    const auto answer = live::settingsAnswer("rows", answered, reply);
    const std::string& json = answer.json;
    if (json.front() != '{' || json.substr(json.size() - 2) != "}\n") std::abort();
    for (std::size_t i = 0; i + 1 < json.size(); ++i)
      if (static_cast<unsigned char>(json[i]) < 0x20) std::abort();
  }
}

void checkSettingsRequest(const std::string& control) {
  int spaces = 0;
  for (char c : control) {
    if (c == ' ') ++spaces;
    if (static_cast<unsigned char>(c) <= 0x20 && c != ' ') std::abort();
  }
  const std::string command = control.substr(0, control.find(' '));
  const bool bare = command == "rows" || command == "back";
  const bool named = command == "follow" || command == "press";
  if (!(bare && spaces == 0) && !(named && spaces == 1) && !(command == "set" && spaces == 2))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Fields separated by newlines: method, path, Host, Origin (absent when missing).
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string_view fields[4];
  int count = 0;
  while (count < 4) {
    const auto end = bytes.find('\n');
    fields[count++] = bytes.substr(0, end);
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  live::RequestHead head;
  head.method = fields[0];
  head.path = fields[1];
  head.host = fields[2];
  if (count == 4) head.origin = fields[3];
  head.port = 8080;
  checkSettingsAnswer(std::string(reinterpret_cast<const char*>(data), size));
  const auto decoded = live::decodeLiveRequest(head);
  if (const auto* refusal = std::get_if<live::Refusal>(&decoded)) {
    if (refusal->reason.empty() || refusal->status < 400) std::abort();
    return 0;
  }
  const auto& request = std::get<live::LiveRequest>(decoded);
  if (head.host != "127.0.0.1:8080" && head.host != "localhost:8080") std::abort();
  if (request.route == live::LiveRequest::Route::press) {
    if (head.method != "POST" || !head.origin) std::abort();
    const live::Panel* panel = live::findPanel(request.panel);
    if (panel == nullptr || live::findButton(*panel, request.button) == nullptr) std::abort();
  }
  if (request.route == live::LiveRequest::Route::settings) {
    if (head.method != "POST" || !head.origin) std::abort();
    checkSettingsRequest(request.control);
  }
  return 0;
}
