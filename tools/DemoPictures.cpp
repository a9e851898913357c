#include "DemoPictures.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace demo {
namespace {

// 5 × 7 glyphs, one row per byte, the leftmost pixel in bit 4.
struct Glyph {
  char character;
  std::array<std::uint8_t, 7> rows;
};

constexpr Glyph kGlyphs[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const Glyph* glyphFor(char c) {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const Glyph& glyph : kGlyphs)
    if (glyph.character == upper) return &glyph;
  return nullptr;
}

void fill(render::Image& image, std::size_t x0, std::size_t y0, std::size_t w, std::size_t h,
          const std::uint8_t rgba[4]) {
  for (std::size_t y = y0; y < std::min(image.height, y0 + h); ++y)
    for (std::size_t x = x0; x < std::min(image.width, x0 + w); ++x)
      std::memcpy(image.rgba.data() + (y * image.width + x) * 4, rgba, 4);
}

// `source` over `target` at (x, y), composited over what is there.
void blit(render::Image& target, const render::Image& source, std::size_t x0, std::size_t y0) {
  for (std::size_t y = 0; y < source.height && y0 + y < target.height; ++y) {
    for (std::size_t x = 0; x < source.width && x0 + x < target.width; ++x) {
      const std::uint8_t* s = source.rgba.data() + (y * source.width + x) * 4;
      std::uint8_t* t = target.rgba.data() + ((y0 + y) * target.width + x0 + x) * 4;
      const unsigned a = s[3];
      for (int c = 0; c < 3; ++c)
        t[c] = static_cast<std::uint8_t>((s[c] * a + t[c] * (255 - a)) / 255);
      t[3] = 255;
    }
  }
}

constexpr unsigned kLabelScale = 2;
constexpr std::size_t kMargin = 12;
constexpr std::size_t kLabelHeight = 7 * kLabelScale + 12;

}  // namespace

render::Image shrink(const render::Image& image, unsigned factor) {
  if (factor <= 1 || image.empty()) return image;
  render::Image out(image.width / factor, image.height / factor);
  for (std::size_t y = 0; y < out.height; ++y) {
    for (std::size_t x = 0; x < out.width; ++x) {
      unsigned sum[4] = {};
      for (unsigned dy = 0; dy < factor; ++dy)
        for (unsigned dx = 0; dx < factor; ++dx) {
          const std::uint8_t* p =
              image.rgba.data() + ((y * factor + dy) * image.width + x * factor + dx) * 4;
          for (int c = 0; c < 4; ++c) sum[c] += p[c];
        }
      std::uint8_t* q = out.rgba.data() + (y * out.width + x) * 4;
      for (int c = 0; c < 4; ++c) q[c] = static_cast<std::uint8_t>(sum[c] / (factor * factor));
    }
  }
  return out;
}

void drawText(render::Image& image, std::size_t x, std::size_t y, const std::string& text,
              unsigned scale, const std::uint8_t rgba[4]) {
  for (char c : text) {
    if (const Glyph* glyph = glyphFor(c)) {
      for (std::size_t row = 0; row < 7; ++row)
        for (std::size_t column = 0; column < 5; ++column)
          if (glyph->rows[row] & (0x10 >> column))
            fill(image, x + column * scale, y + row * scale, scale, scale, rgba);
    }
    x += 6 * scale;
  }
}

render::Image contactSheet(const std::vector<std::vector<LabelledFrame>>& rows) {
  std::size_t width = 0, height = kMargin;
  std::vector<std::size_t> rowHeights;
  for (const auto& row : rows) {
    std::size_t rowWidth = kMargin, rowHeight = 0;
    for (const auto& item : row) {
      rowWidth += item.frame.width + kMargin;
      rowHeight = std::max(rowHeight, item.frame.height);
    }
    width = std::max(width, rowWidth);
    rowHeights.push_back(rowHeight);
    height += rowHeight + kLabelHeight + kMargin;
  }
  render::Image sheet(width, height);
  const std::uint8_t background[4] = {18, 18, 24, 255};
  const std::uint8_t ink[4] = {235, 235, 240, 255};
  fill(sheet, 0, 0, sheet.width, sheet.height, background);
  std::size_t y = kMargin;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    std::size_t x = kMargin;
    // Large letters where every label of the row fits beneath its frame, small ones where one
    // does not: a row reads in one size.
    const bool allFit = std::all_of(rows[r].begin(), rows[r].end(), [](const LabelledFrame& item) {
      return item.label.size() * 6 * kLabelScale <= item.frame.width;
    });
    const unsigned scale = allFit ? kLabelScale : 1;
    for (const auto& item : rows[r]) {
      blit(sheet, item.frame, x, y);
      const std::size_t textWidth = item.label.size() * 6 * scale;
      const std::size_t textX =
          x + (item.frame.width > textWidth ? (item.frame.width - textWidth) / 2 : 0);
      drawText(sheet, textX, y + rowHeights[r] + 8 + (kLabelScale - scale) * 4, item.label, scale,
               ink);
      x += item.frame.width + kMargin;
    }
    y += rowHeights[r] + kLabelHeight + kMargin;
  }
  return sheet;
}

bool writeAnimatedWebP(const std::vector<render::Image>& frames, int frameMilliseconds,
                       const std::string& path, std::string* error) {
  auto fail = [&](const char* reason) {
    if (error != nullptr) *error = reason;
    return false;
  };
  if (frames.empty()) return fail("no frames");
  const int width = static_cast<int>(frames.front().width);
  const int height = static_cast<int>(frames.front().height);
  WebPAnimEncoderOptions encoderOptions;
  if (!WebPAnimEncoderOptionsInit(&encoderOptions)) return fail("libwebp version mismatch");
  WebPAnimEncoder* encoder = WebPAnimEncoderNew(width, height, &encoderOptions);
  if (encoder == nullptr) return fail("cannot make the WebP encoder");
  WebPConfig config;
  WebPConfigInit(&config);
  config.quality = 70;
  config.method = 2;
  bool ok = true;
  int timestamp = 0;
  for (const auto& frame : frames) {
    if (static_cast<int>(frame.width) != width || static_cast<int>(frame.height) != height)
      continue;
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.width = width;
    picture.height = height;
    picture.use_argb = 1;
    ok = WebPPictureImportRGBA(&picture, frame.rgba.data(), width * 4) &&
         WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
    WebPPictureFree(&picture);
    if (!ok) break;
    timestamp += frameMilliseconds;
  }
  WebPData data;
  WebPDataInit(&data);
  ok = ok && WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr) &&
       WebPAnimEncoderAssemble(encoder, &data);
  WebPAnimEncoderDelete(encoder);
  if (!ok) {
    WebPDataClear(&data);
    return fail("the WebP encoder failed");
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const bool written = file != nullptr && std::fwrite(data.bytes, 1, data.size, file) == data.size;
  if (file != nullptr && std::fclose(file) != 0) ok = false;
  WebPDataClear(&data);
  if (!written || !ok) return fail("cannot write the animation");
  return true;
}

}  // namespace demo
