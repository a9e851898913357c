// The live page's server decodes every request from the browser: whatever the method, path,
// Host and Origin, the decoder gives a request of its own page or a refusal with a reason, and
// a request it lets through names only what the page offers and came from the page's origin.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "live/LivePanels.h"
#include "live/LiveRequest.h"

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
  return 0;
}
