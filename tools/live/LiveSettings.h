#pragma once
// The Settings app's answer to one of the page's settings requests (LiveRequest.h), as the page's
// JSON:
//
//   {"ok":true,"reply":"ok Bars","pane":"Bars","rows":[{"kind":"slider","id":…,"label":…,
//    "key":…,"value":…,"range":…,"whole":true},…],"more":0}
//
// "pane", "rows" and "more" come only with the requests that list a pane (rows, follow, back).
// The reply comes from another process: lines and fields are bounded, and a row of a kind the page
// does not know is left out.

#include <string>

namespace live {

inline constexpr std::size_t kMaxSettingsRows = 256;
inline constexpr std::size_t kMaxSettingsFieldBytes = 256;

struct SettingsAnswer {
  int status = 200;  // 200 "ok …", 422 the app's "error …", 502 no answer
  std::string json;
};

// `control` is the request sent, `answered` and `reply` what the control call gave.
SettingsAnswer settingsAnswer(const std::string& control, bool answered, const std::string& reply);

}  // namespace live
