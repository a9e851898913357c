#include "HostControl/ControlRequest.h"

#include <algorithm>

namespace control {
namespace {

bool fail(std::string* error, const char* reason) {
  if (error != nullptr) *error = reason;
  return false;
}

bool isCommandCharacter(char c) {
  return (c >= 'a' && c <= 'z') || c == '-';
}

bool isArgumentCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x20 && byte != 0x7f;  // printable ASCII and UTF-8 continuation bytes
}

}  // namespace

std::optional<ControlRequest> parseControlRequest(const char* bytes, std::size_t length,
                                                  std::string* error) {
  if (bytes == nullptr || length == 0) return fail(error, "empty request"), std::nullopt;
  if (length > kMaxMessageBytes) return fail(error, "request too long"), std::nullopt;
  if (bytes[length - 1] == '\n') --length;
  const char* end = bytes + length;
  const char* space = std::find(bytes, end, ' ');
  ControlRequest request;
  request.command.assign(bytes, space);
  if (request.command.empty() || request.command.size() > 32 ||
      !std::all_of(request.command.begin(), request.command.end(), isCommandCharacter))
    return fail(error, "bad command word"), std::nullopt;
  if (space != end) request.argument.assign(space + 1, end);
  if (!std::all_of(request.argument.begin(), request.argument.end(), isArgumentCharacter))
    return fail(error, "control character in the argument"), std::nullopt;
  return request;
}

std::pair<std::string, std::string> splitFirstWord(const std::string& text) {
  const auto space = text.find(' ');
  if (space == std::string::npos) return {text, {}};
  return {text.substr(0, space), text.substr(space + 1)};
}

}  // namespace control
