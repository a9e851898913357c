#pragma once
// Comparing a rendered picture with a stored ("golden") one within a tolerance. On failure the
// new picture and a difference picture are written beside the golden one, as
// <name>.actual.png and <name>.diff.png, for a person to look at. With VELLAMOR_UPDATE_GOLDEN=1
// in the environment a missing or different golden picture is (re)written instead.

#include <cstddef>
#include <string>

#include "Renderer/Image.h"

namespace render {

struct Tolerance {
  int channel = 8;                   // a pixel differs when one channel differs by more
  double differingFraction = 0.002;  // of all pixels, allowed to differ
  double meanDifference = 1.0;       // mean absolute channel difference allowed, in levels
};

struct Comparison {
  bool matches = false;
  std::string message;  // what differed, and where the pictures were written
  std::size_t differingPixels = 0;
  double meanDifference = 0;
  int largestDifference = 0;
};

// Pure comparison (same size required); `diff`, when given, receives a picture of the
// differences (red where a pixel differs beyond the channel tolerance, grey elsewhere).
Comparison compareImages(const Image& actual, const Image& expected, const Tolerance& tolerance,
                         Image* diff = nullptr);
Comparison compareWithGolden(const Image& actual, const std::string& goldenPath,
                             const Tolerance& tolerance = {});

}  // namespace render
