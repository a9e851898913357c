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
//   POST /api/settings/rows           the Settings app's pane on screen, its rows
//   POST /api/settings/back           back from that pane
//   POST /api/settings/follow/<ROW>   a link row (its id): its pane comes on screen
//   POST /api/settings/press/<ROW>    a button row (its id)
//   POST /api/settings/set/<KEY>/<VALUE>   the row of a stored key changed: on, off or a number
//
// Every POST must carry the Origin. A row's id or key is 1 to 64 letters, digits, '_' or '-'; a
// number is plain decimal ("-12.5"), at most 24 characters. Whether the row exists and takes the
// value is the Settings app's to say.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace live {

inline constexpr std::size_t kMaxPathBytes = 256;
inline constexpr std::size_t kMaxHeaderBytes = 256;
inline constexpr std::size_t kMaxRowNameBytes = 64;
inline constexpr std::size_t kMaxValueBytes = 24;
inline constexpr std::string_view kSettingsPrefix = "/api/settings/";
inline constexpr const char* kSettingsHost = "Preferences";

struct LiveRequest {
  enum class Route { page, events, press, settings };
  Route route = Route::page;
  std::string panel;    // press: the panel's host, or "audio"
  std::string button;   // press: the button's name
  std::string control;  // settings: the request to the Settings app's control service
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

// The Settings app's control request for a path under kSettingsPrefix (the path's characters
// already checked), or why there is none.
std::variant<std::string, Refusal> settingsControlRequest(std::string_view path);

}  // namespace live
