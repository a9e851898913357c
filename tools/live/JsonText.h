#pragma once
// Text for the live page's JSON.

#include <string>

namespace live {

// `text` as a JSON string, control characters as spaces.
std::string jsonString(const std::string& text);

}  // namespace live
