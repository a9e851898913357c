// ColorFlow's palette from artwork: the covering colour is the background, the colours that stand
// out are primary and secondary.
#include <ColorFlow/ArtworkPalette.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using colorflow::PaletteColor;

bool near(const PaletteColor& a, const PaletteColor& b) {
  const float tolerance = 0.05f;
  return std::abs(a.red - b.red) < tolerance && std::abs(a.green - b.green) < tolerance &&
         std::abs(a.blue - b.blue) < tolerance;
}

TEST(ArtworkPalette, CoveringColourIsBackgroundAndTheOthersStandOut) {
  // 200 × 100 with a padded stride: navy, an orange band of a fifth, a white strip of a tenth.
  const std::size_t width = 200, height = 100, stride = width * 4 + 16;
  std::vector<std::uint8_t> rgba(stride * height, 0);
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      std::uint8_t* p = rgba.data() + y * stride + x * 4;
      const bool orange = y >= 40 && y < 60;
      const bool white = x < 20;
      p[0] = white ? 255 : orange ? 255 : 10;
      p[1] = white ? 255 : orange ? 128 : 20;
      p[2] = white ? 255 : orange ? 0 : 80;
      p[3] = 255;
    }
  }
  const auto palette = colorflow::paletteFromArtwork(rgba.data(), width, height, stride);
  ASSERT_TRUE(palette);
  EXPECT_TRUE(near(palette->background, {10 / 255.f, 20 / 255.f, 80 / 255.f}));
  const PaletteColor orange{1, 128 / 255.f, 0}, white{1, 1, 1};
  EXPECT_TRUE((near(palette->primary, orange) && near(palette->secondary, white)) ||
              (near(palette->primary, white) && near(palette->secondary, orange)));
}

TEST(ArtworkPalette, PlainPictureStillGivesColoursApartAndEmptyGivesNone) {
  std::vector<std::uint8_t> white(8 * 8 * 4, 255);
  const auto palette = colorflow::paletteFromArtwork(white.data(), 8, 8, 32);
  ASSERT_TRUE(palette);
  EXPECT_TRUE(near(palette->background, {1, 1, 1}));
  EXPECT_TRUE(near(palette->primary, {0, 0, 0}));
  EXPECT_FALSE(near(palette->secondary, palette->background));
  EXPECT_FALSE(colorflow::paletteFromArtwork(white.data(), 0, 8, 32));
  EXPECT_FALSE(colorflow::paletteFromArtwork(white.data(), 8, 8, 16));
}

}  // namespace
