#include "Renderer/ImageComparison.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace render {

Comparison compareImages(const Image& actual, const Image& expected, const Tolerance& tolerance,
                         Image* diff) {
  Comparison result;
  if (actual.width != expected.width || actual.height != expected.height) {
    result.message = "size " + std::to_string(actual.width) + "×" + std::to_string(actual.height) +
                     " differs from the expected " + std::to_string(expected.width) + "×" +
                     std::to_string(expected.height);
    return result;
  }
  if (diff != nullptr) *diff = Image(actual.width, actual.height);
  const std::size_t pixels = actual.width * actual.height;
  double total = 0;
  for (std::size_t i = 0; i < pixels; ++i) {
    int worst = 0;
    for (int k = 0; k < 4; ++k) {
      const int d = std::abs(int(actual.rgba[4 * i + k]) - int(expected.rgba[4 * i + k]));
      total += d;
      worst = std::max(worst, d);
    }
    result.largestDifference = std::max(result.largestDifference, worst);
    const bool differs = worst > tolerance.channel;
    if (differs) ++result.differingPixels;
    if (diff != nullptr) {
      std::uint8_t* p = diff->rgba.data() + 4 * i;
      if (differs) {
        p[0] = 255, p[1] = 0, p[2] = 0;
      } else {
        // The expected picture, faded, so that a person sees where the differences lie.
        const int grey =
            (expected.rgba[4 * i] + expected.rgba[4 * i + 1] + expected.rgba[4 * i + 2]) / 12 + 160;
        p[0] = p[1] = p[2] = static_cast<std::uint8_t>(std::min(grey, 255));
      }
      p[3] = 255;
    }
  }
  result.meanDifference = pixels > 0 ? total / double(pixels * 4) : 0;
  const double fraction = pixels > 0 ? double(result.differingPixels) / double(pixels) : 0;
  result.matches =
      fraction <= tolerance.differingFraction && result.meanDifference <= tolerance.meanDifference;
  char text[200];
  std::snprintf(text, sizeof text,
                "%zu of %zu pixels differ by more than %d levels (%.3f%%), mean difference %.3f, "
                "largest %d",
                result.differingPixels, pixels, tolerance.channel, 100.0 * fraction,
                result.meanDifference, result.largestDifference);
  result.message = text;
  return result;
}

namespace {
std::string besideGolden(const std::string& goldenPath, const char* suffix) {
  std::filesystem::path p(goldenPath);
  return (p.parent_path() / (p.stem().string() + suffix)).string();
}
}  // namespace

Comparison compareWithGolden(const Image& actual, const std::string& goldenPath,
                             const Tolerance& tolerance) {
  const char* update = std::getenv("VELLAMOR_UPDATE_GOLDEN");
  const bool updating = update != nullptr && std::string(update) == "1";
  std::string error;
  const auto expected = readPng(goldenPath, &error);
  Comparison result;
  if (expected) {
    Image diff;
    result = compareImages(actual, *expected, tolerance, &diff);
    if (result.matches) return result;
    if (!updating) {
      const std::string actualPath = besideGolden(goldenPath, ".actual.png");
      const std::string diffPath = besideGolden(goldenPath, ".diff.png");
      writePng(actual, actualPath);
      if (!diff.empty()) writePng(diff, diffPath);
      result.message += "; new picture: " + actualPath + ", differences: " + diffPath;
      return result;
    }
  } else if (!updating) {
    const std::string actualPath = besideGolden(goldenPath, ".actual.png");
    writePng(actual, actualPath);
    result.message = error + "; new picture: " + actualPath;
    return result;
  }
  // Updating: the new picture becomes the golden one.
  std::string writeError;
  result.matches = writePng(actual, goldenPath, &writeError);
  result.message = result.matches ? "golden picture written: " + goldenPath : writeError;
  return result;
}

}  // namespace render
