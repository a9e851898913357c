#include "LiveSettings.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "JsonText.h"

namespace live {
namespace {

constexpr std::string_view kKinds[] = {"group", "switch", "slider", "list",
                                       "text",  "link",   "button"};
constexpr const char* kFieldNames[] = {"kind", "id", "label", "key", "value", "range"};
constexpr std::size_t kFields = 7;

std::vector<std::string_view> split(std::string_view text, char separator, std::size_t most) {
  std::vector<std::string_view> parts;
  while (parts.size() + 1 < most) {
    const auto end = text.find(separator);
    if (end == std::string_view::npos) break;
    parts.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  parts.push_back(text);
  return parts;
}

std::string field(std::string_view text) {
  return jsonString(std::string(text.substr(0, kMaxSettingsFieldBytes)));
}

bool isKnownKind(std::string_view kind) {
  for (std::string_view known : kKinds)
    if (kind == known) return true;
  return false;
}

std::string rowJson(std::string_view line) {
  const auto fields = split(line, '\t', kFields);
  if (!isKnownKind(fields[0])) return {};
  std::string out = "{";
  for (std::size_t i = 0; i < std::size(kFieldNames); ++i)
    out += std::string(i > 0 ? "," : "") + "\"" + kFieldNames[i] +
           "\":" + field(i < fields.size() ? fields[i] : std::string_view());
  return out +
         ",\"whole\":" + (fields.size() == kFields && fields[6] == "whole" ? "true" : "false") +
         "}";
}

// "more N", N digits only; 0 for anything else.
std::string moreCount(std::string_view line) {
  constexpr std::string_view kMore = "more ";
  if (line.substr(0, kMore.size()) != kMore) return {};
  const std::string_view count = line.substr(kMore.size());
  if (count.empty() || count.size() > 9 || count.find_first_not_of("0123456789") != count.npos)
    return {};
  return std::string(count);
}

}  // namespace

SettingsAnswer settingsAnswer(const std::string& control, bool answered, const std::string& reply) {
  SettingsAnswer answer;
  answer.status = answered ? 200 : reply.rfind("error ", 0) == 0 ? 422 : 502;
  const auto lines = split(reply, '\n', kMaxSettingsRows + 2);
  answer.json =
      "{\"ok\":" + std::string(answered ? "true" : "false") + ",\"reply\":" + field(lines[0]);
  const bool listsRows = control == "rows" || control == "back" || control.rfind("follow ", 0) == 0;
  if (answered && listsRows) {
    std::string rows, more = "0";
    for (std::size_t i = 1; i < lines.size() && i <= kMaxSettingsRows; ++i) {
      if (const std::string count = moreCount(lines[i]); !count.empty()) {
        more = count;
        continue;
      }
      const std::string row = rowJson(lines[i]);
      if (row.empty()) continue;
      rows += (rows.empty() ? "" : ",") + row;
    }
    answer.json +=
        ",\"pane\":" + field(lines[0].substr(std::min<std::size_t>(3, lines[0].size()))) +
        ",\"rows\":[" + rows + "],\"more\":" + more;
  }
  answer.json += "}\n";
  return answer;
}

}  // namespace live
