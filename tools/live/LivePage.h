#pragma once
// The live page: one HTML document with its style and script, and the panels' table as data.

#include <string>

namespace live {

const std::string& livePage();

}  // namespace live
