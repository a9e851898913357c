#pragma once
// A control request is one short line of text: a command word and, for some commands, one
// argument (the rest of the line), e.g. "capture /tmp/screen.png 1". The reply starts with "ok" or
// "error"; a reply that lists things puts each on a line of its own after the first.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

namespace control {

// The longest request or reply, in bytes.
inline constexpr std::size_t kMaxMessageBytes = 4096;

struct ControlRequest {
  std::string command;   // lower-case letters and '-'
  std::string argument;  // printable text without line breaks; may be empty
};

// The request in `bytes`, or nothing (and a reason) when it is empty, too long, has a command
// word of other characters or an argument with control characters. One trailing newline is
// allowed.
std::optional<ControlRequest> parseControlRequest(const char* bytes, std::size_t length,
                                                  std::string* error = nullptr);

// The reply that says a request failed: "error " and the reason.
inline std::string errorReply(const std::string& reason) {
  return "error " + reason;
}

// The argument split at its first space: "capture FILE SCALE" gives FILE and "SCALE".
std::pair<std::string, std::string> splitFirstWord(const std::string& text);

}  // namespace control
