#pragma once
// What the live page may ask of its server, decoded from a request's method, path and headers
// with every byte checked. Only the page's own origin is served: the Host header must name the
// server's loopback address and port, and an Origin, where there is one, the same; a press must
// carry the Origin (browsers always send it with a POST), so that no other page open in the same
// browser can press a button.
//
//   GET  /                            the page
//   GET  /events                      the event stream: frames and figures
//   POST /api/press/<panel>/<button>  a button of a panel (LivePanels.h), or of "audio"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace live {

inline constexpr std::size_t kMaxPathBytes = 256;
inline constexpr std::size_t kMaxHeaderBytes = 256;

struct LiveRequest {
  enum class Route { page, events, press };
  Route route = Route::page;
  std::string panel;   // press: the panel's host, or "audio"
  std::string button;  // press: the button's name
};

struct Refusal {
  int status = 400;
  std::string reason;
};

struct RequestHead {
  std::string_view method;
  std::string_view path;
  std::string_view host;                   // the Host header
  std::optional<std::string_view> origin;  // the Origin header, when sent
  std::uint16_t port = 0;                  // the server's own port
};

std::variant<LiveRequest, Refusal> decodeLiveRequest(const RequestHead& head);

}  // namespace live
