#include "ColorFlow/ArtworkPalette.h"

#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace colorflow {

namespace {

// The picture is sampled down to at most this many pixels a side before quantising: the palette
// of a cover does not need every pixel, and a large cover would cost tens of milliseconds.
constexpr std::size_t kSampleSide = 96;
constexpr int kQuantisedColors = 8;

struct Entry {
  PaletteColor color;
  double share = 0;
};

double distance(const PaletteColor& a, const PaletteColor& b) {
  const double r = a.red - b.red;
  const double g = a.green - b.green;
  const double bl = a.blue - b.blue;
  return std::sqrt(r * r + g * g + bl * bl);
}

// Black or white, whichever stands out from `background`: the colour a plain picture gives.
PaletteColor contrasting(const PaletteColor& background) {
  const double luminance =
      0.2126 * background.red + 0.7152 * background.green + 0.0722 * background.blue;
  return luminance > 0.5 ? PaletteColor{0, 0, 0} : PaletteColor{1, 1, 1};
}

std::vector<std::uint8_t> sampled(const std::uint8_t* rgba, std::size_t width, std::size_t height,
                                  std::size_t stride, std::size_t& sampleWidth,
                                  std::size_t& sampleHeight) {
  sampleWidth = std::min(width, kSampleSide);
  sampleHeight = std::min(height, kSampleSide);
  std::vector<std::uint8_t> pixels(sampleWidth * sampleHeight * 4);
  for (std::size_t y = 0; y < sampleHeight; ++y) {
    const std::uint8_t* row = rgba + (y * height / sampleHeight) * stride;
    for (std::size_t x = 0; x < sampleWidth; ++x) {
      const std::uint8_t* source = row + (x * width / sampleWidth) * 4;
      std::copy(source, source + 4, pixels.data() + (y * sampleWidth + x) * 4);
    }
  }
  return pixels;
}

// libimagequant's destroy functions as deleters (their attributes cannot ride in a pointer type).
struct LiqDeleter {
  void operator()(liq_attr* attr) const { liq_attr_destroy(attr); }
  void operator()(liq_image* image) const { liq_image_destroy(image); }
  void operator()(liq_result* result) const { liq_result_destroy(result); }
};
template <class T>
using LiqPointer = std::unique_ptr<T, LiqDeleter>;

// The quantised colours with the share of the picture each covers, most covering first.
std::vector<Entry> quantised(const std::vector<std::uint8_t>& pixels, std::size_t width,
                             std::size_t height) {
  LiqPointer<liq_attr> attr(liq_attr_create());
  if (!attr || liq_set_max_colors(attr.get(), kQuantisedColors) != LIQ_OK) return {};
  liq_set_speed(attr.get(), 10);
  LiqPointer<liq_image> image(liq_image_create_rgba(
      attr.get(), pixels.data(), static_cast<int>(width), static_cast<int>(height), 0));
  if (!image) return {};
  liq_result* raw = nullptr;
  if (liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK || raw == nullptr) return {};
  LiqPointer<liq_result> result(raw);
  std::vector<std::uint8_t> indices(width * height);
  if (liq_write_remapped_image(result.get(), image.get(), indices.data(), indices.size()) !=
      LIQ_OK) {
    return {};
  }
  const liq_palette* palette = liq_get_palette(result.get());
  std::array<std::size_t, 256> counts{};
  for (const std::uint8_t index : indices) ++counts[index];
  std::vector<Entry> entries;
  for (unsigned i = 0; i < palette->count; ++i) {
    if (counts[i] == 0) continue;
    const liq_color& c = palette->entries[i];
    entries.push_back({{c.r / 255.0f, c.g / 255.0f, c.b / 255.0f},
                       static_cast<double>(counts[i]) / static_cast<double>(indices.size())});
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.share > b.share; });
  return entries;
}

// The entry (after the first, the background) that stands out most from every colour in
// `chosen`, weighted so that a speck does not beat a colour that covers a fair part.
const Entry* mostDistinct(const std::vector<Entry>& entries,
                          std::initializer_list<const PaletteColor*> chosen) {
  const Entry* best = nullptr;
  double bestScore = 0;
  for (std::size_t i = 1; i < entries.size(); ++i) {
    double apart = 2;
    for (const PaletteColor* other : chosen) {
      apart = std::min(apart, distance(entries[i].color, *other));
    }
    const double score = apart * (0.2 + std::sqrt(entries[i].share));
    if (apart > 0.08 && score > bestScore) {
      bestScore = score;
      best = &entries[i];
    }
  }
  return best;
}

}  // namespace

std::optional<ArtworkPalette> paletteFromArtwork(const std::uint8_t* rgba, std::size_t width,
                                                 std::size_t height, std::size_t stride) {
  if (rgba == nullptr || width == 0 || height == 0 || stride < width * 4) return std::nullopt;
  std::size_t sampleWidth = 0;
  std::size_t sampleHeight = 0;
  const auto pixels = sampled(rgba, width, height, stride, sampleWidth, sampleHeight);
  const auto entries = quantised(pixels, sampleWidth, sampleHeight);
  if (entries.empty()) return std::nullopt;

  ArtworkPalette palette;
  palette.background = entries.front().color;
  const Entry* primary = mostDistinct(entries, {&palette.background});
  palette.primary = primary != nullptr ? primary->color : contrasting(palette.background);
  const Entry* secondary = mostDistinct(entries, {&palette.background, &palette.primary});
  if (secondary != nullptr) {
    palette.secondary = secondary->color;
  } else {
    // Halfway between the two: still apart from the background, never equal to the primary.
    palette.secondary = {(palette.primary.red + palette.background.red) / 2,
                         (palette.primary.green + palette.background.green) / 2,
                         (palette.primary.blue + palette.background.blue) / 2};
  }
  return palette;
}

}  // namespace colorflow
