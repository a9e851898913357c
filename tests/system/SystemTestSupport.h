#pragma once
// What the whole-device tests share: a number out of a host's reply line, and how far apart two
// captured pictures are.

#include <Renderer/Image.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "HostControl/ControlClient.h"

namespace system_test {

// A number of `host`'s reply to `request` ("key=value" words), or -1 when it did not answer.
inline long replyNumber(const std::string& host, const std::string& request,
                        const std::string& key) {
  std::string reply;
  if (!control::request(host, request, &reply)) return -1;
  std::istringstream words(reply);
  for (std::string word; words >> word;)
    if (word.rfind(key + "=", 0) == 0) return std::atol(word.c_str() + key.size() + 1);
  return -1;
}

// Mean absolute difference of two pictures of one size, per channel, in levels.
inline double meanDifference(const render::Image& a, const render::Image& b) {
  if (a.width != b.width || a.height != b.height || a.empty()) return 255;
  double sum = 0;
  for (std::size_t i = 0; i < a.rgba.size(); ++i)
    sum += std::abs(static_cast<int>(a.rgba[i]) - static_cast<int>(b.rgba[i]));
  return sum / static_cast<double>(a.rgba.size());
}

}  // namespace system_test
