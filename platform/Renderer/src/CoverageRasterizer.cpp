#include "CoverageRasterizer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "EdgeBatch.h"
#include "HelperThread.h"

namespace render {

namespace {

// a × b / 255, rounded, for bytes.
inline std::uint32_t multiply(std::uint32_t a, std::uint32_t b) {
  const std::uint32_t t = a * b + 128;
  return ((t >> 8) + t) >> 8;
}

// Source over destination, premultiplied, every byte of the pixel alike: d + s − d × alpha.
inline std::uint32_t over(std::uint32_t destination, std::uint32_t source, std::uint32_t alpha) {
  std::uint32_t out = 0;
  for (unsigned shift = 0; shift < 32; shift += 8) {
    const std::uint32_t d = (destination >> shift) & 0xff;
    out |= ((d + ((source >> shift) & 0xff) - multiply(d, alpha)) & 0xff) << shift;
  }
  return out;
}

// The colour at a coverage: every byte scaled by it.
inline std::uint32_t scaled(std::uint32_t color, std::uint32_t cover) {
  std::uint32_t out = 0;
  for (unsigned shift = 0; shift < 32; shift += 8)
    out |= multiply((color >> shift) & 0xff, cover) << shift;
  return out;
}

// Four pixels at a time, each byte widened to 16 bits: the same rounding as multiply and over.
// A baseline processor takes them as two halves; one with wider vectors, at once. The wide
// values pass by reference, as a baseline call cannot take them by value.
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
using Words16 = std::uint16_t __attribute__((vector_size(32)));
using Bytes32 = std::uint8_t __attribute__((vector_size(32)));
using Dwords8 = std::uint32_t __attribute__((vector_size(32)));

// a × b / 255 into a, rounded, for each word.
// `half` is 128 in every word.
inline void multiplyInto(Words16& a, const Words16& b, const Words16& half) {
  const Words16 t = a * b + half;
  a = ((t >> 8) + t) >> 8;
}

// Four pixels' bytes widened to words. Where `wide`, by interleaving them with zeros, which the
// wider vectors do in one instruction (and the baseline ones byte by byte): a copy of the sweep is
// built for each.
[[gnu::always_inline]] inline void widen(Words16& words, const std::uint32_t* pixels, bool wide) {
  Bytes16 bytes;
  std::memcpy(&bytes, pixels, sizeof bytes);
  if (!wide) {
    words = __builtin_convertvector(bytes, Words16);
    return;
  }
  const Bytes32 interleaved =
      __builtin_shufflevector(bytes, Bytes16{}, 0, 16, 1, 16, 2, 16, 3, 16, 4, 16, 5, 16, 6, 16, 7,
                              16, 8, 16, 9, 16, 10, 16, 11, 16, 12, 16, 13, 16, 14, 16, 15, 16);
  std::memcpy(&words, &interleaved, sizeof words);
}

// d + s − d × alpha over four pixels; the bytes wrap as the scalar blend's do (where `wide`, each
// word's low byte picked out by shuffles, which need no constant in a register).
[[gnu::always_inline]] inline void overFour(std::uint32_t* pixels, const Words16& source,
                                            const Words16& half, bool wide) {
  const Words16 alpha = __builtin_shufflevector(source, source, 3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11,
                                                11, 15, 15, 15, 15);
  Words16 d;
  widen(d, pixels, wide);
  Words16 dAlpha = d;
  multiplyInto(dAlpha, alpha, half);
  const Words16 blended = d + source - dAlpha;
  Bytes16 out;
  if (wide) {
    Bytes32 bytes;
    std::memcpy(&bytes, &blended, sizeof bytes);
    out = __builtin_shufflevector(bytes, bytes, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26,
                                  28, 30);
  } else {
    out = __builtin_convertvector(blended, Bytes16);
  }
  std::memcpy(pixels, &out, sizeof out);
}

inline void colorFour(Words16& out, std::uint32_t color) {
  const std::uint32_t four[4] = {color, color, color, color};
  Bytes16 bytes;
  std::memcpy(&bytes, four, sizeof bytes);
  out = __builtin_convertvector(bytes, Words16);
}

// One coverage over a run of pixels: a plain fill when that covers them, else four at a time.
// Built into the sweep: a call there would leave none of its vector constants in registers.
[[gnu::always_inline]] inline void blendRun(std::uint32_t* __restrict pixels, unsigned length,
                                            std::uint32_t color, std::uint8_t cover,
                                            const Words16& half, bool wide) {
  const std::uint32_t source = cover == 255 ? color : scaled(color, cover);
  const std::uint32_t alpha = source >> 24;
  unsigned i = 0;
  if (alpha == 255) {
    // An opaque fill, eight pixels a store where the processor has them, four stores a turn; the
    // last eight stored again over those before them rather than one by one.
    using Pixels8 = std::uint32_t __attribute__((vector_size(32)));
    const Pixels8 eight = {source, source, source, source, source, source, source, source};
    if (length < 8) {
      for (; i < length; ++i) pixels[i] = source;
      return;
    }
    std::uint32_t* p = pixels;
    std::uint32_t* const end = pixels + length;
    for (unsigned blocks = length / 32; blocks != 0; --blocks, p += 32) {
      std::memcpy(p, &eight, sizeof eight);
      std::memcpy(p + 8, &eight, sizeof eight);
      std::memcpy(p + 16, &eight, sizeof eight);
      std::memcpy(p + 24, &eight, sizeof eight);
    }
    for (; end - p >= 8; p += 8) std::memcpy(p, &eight, sizeof eight);
    if (p < end) std::memcpy(end - 8, &eight, sizeof eight);
    return;
  }
  Words16 sources;
  colorFour(sources, source);
  for (; i + 4 <= length; i += 4) overFour(pixels + i, sources, half, wide);
  for (; i < length; ++i) pixels[i] = over(pixels[i], source, alpha);
}

inline std::uint32_t fourAt(const std::uint8_t* covers) {
  std::uint32_t four;
  std::memcpy(&four, covers, sizeof four);
  return four;
}

// Four pixels at their coverages (`colors` the colour four times, as colorFour makes it); a
// coverage of 0 scales the colour to nothing and 255 leaves it whole, so every pixel takes the
// same arithmetic, and four of 0 are left as they are.
[[gnu::always_inline]] inline void blendFour(std::uint32_t* pixels, const Words16& colors,
                                             std::uint32_t four, const Words16& half, bool wide) {
  if (four == 0) return;
  Words16 source;
  if (wide) {
    // The word repeated, each 128-bit half taking two of its bytes: two coverages a half.
    const Dwords8 all = Dwords8{} + four;
    Bytes32 bytes;
    std::memcpy(&bytes, &all, sizeof bytes);
    const Bytes32 spread = __builtin_shufflevector(bytes, Bytes32{}, 0, 32, 0, 32, 0, 32, 0, 32, 1,
                                                   32, 1, 32, 1, 32, 1, 32, 18, 32, 18, 32, 18, 32,
                                                   18, 32, 19, 32, 19, 32, 19, 32, 19, 32);
    std::memcpy(&source, &spread, sizeof source);
  } else {
    Bytes16 bytes = {};
    std::memcpy(&bytes, &four, sizeof four);
    source = __builtin_convertvector(
        __builtin_shufflevector(bytes, bytes, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3),
        Words16);
  }
  multiplyInto(source, colors, half);
  overFour(pixels, source, half, wide);
}

// Varying coverage, four pixels at a time, then one by one.
[[gnu::target_clones("avx2", "default")]] void blendCovers(std::uint32_t* pixels, unsigned length,
                                                           std::uint32_t color,
                                                           const std::uint8_t* covers) {
  Words16 colors;
  colorFour(colors, color);
  unsigned i = 0;
  const Words16 half = Words16{} + 128;
  for (; i + 4 <= length; i += 4) blendFour(pixels + i, colors, fourAt(covers + i), half, false);
  for (; i < length; ++i) {
    if (covers[i] == 0) continue;
    const std::uint32_t source = covers[i] == 255 ? color : scaled(color, covers[i]);
    pixels[i] = over(pixels[i], source, source >> 24);
  }
}

}  // namespace

namespace {

// The ceiling of a coordinate in the picture (not negative), without a call or a rounding mode.
inline int ceiling(float v) {
  const int whole = static_cast<int>(v);
  return static_cast<float>(whole) < v ? whole + 1 : whole;
}

// Below this much work (rows left in, plus rows read back in sixteenths of a row of pixels) a
// sweep is not worth a helper's wake-up.
constexpr std::size_t kSharedWork = 16384;

}  // namespace

namespace {

bool hasWideVectors() {
#if defined(__x86_64__)
  __builtin_cpu_init();  // a rasteriser may be made before the processor was looked at
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

}  // namespace

CoverageRasterizer::CoverageRasterizer(bool shareRows, bool wideVectors)
    : shareRows_(shareRows), wideVectors_(wideVectors && hasWideVectors()) {}

CoverageRasterizer::~CoverageRasterizer() = default;

void CoverageRasterizer::reset(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width != width_ || height != height_) {
    width_ = width;
    height_ = height;
    stride_ = static_cast<std::size_t>(width) + 2;
    words_ = (stride_ + 63) / 64;
    // A cell more: a piece's four cells may reach past the last row's.
    areas_.assign(static_cast<std::size_t>(height) * stride_ + 1, 0.0f);
    // A word more: a mark of two cells may reach the next word's first byte.
    marks_.assign(static_cast<std::size_t>(height) * words_ + 1, 0);
    sums_.assign(stride_ + 4, 0.0f);  // room for a four past the last pixel
    helperSums_.assign(stride_ + 4, 0.0f);
    crossings_.assign(static_cast<std::size_t>(height) + 1, 0);
  } else if (firstRow_ <= lastRow_) {
    std::fill(crossings_.begin() + firstRow_, crossings_.begin() + lastRow_ + 2, 0);
    if (!shareRows_) {
      // An unswept build left its pieces in at once.
      const auto first = static_cast<std::size_t>(firstRow_);
      const auto end = static_cast<std::size_t>(lastRow_) + 1;
      std::fill(areas_.begin() + first * stride_, areas_.begin() + end * stride_, 0.0f);
      std::fill(marks_.begin() + first * words_, marks_.begin() + end * words_, 0);
    }
  }
  // Kept pieces are left in only by a sweep, so an unswept build leaves nothing behind.
  pieces_.clear();
  depositedRows_ = 0;
  firstRow_ = 0;
  lastRow_ = -1;
  open_ = false;
}

void CoverageRasterizer::moveTo(double x, double y) {
  closePolygon();
  startX_ = lastX_ = x;
  startY_ = lastY_ = y;
  open_ = true;
}

void CoverageRasterizer::lineTo(double x, double y) {
  if (!open_) {
    moveTo(x, y);
    return;
  }
  addEdge(lastX_, lastY_, x, y);
  lastX_ = x;
  lastY_ = y;
}

void CoverageRasterizer::addPolygon(std::span<const CGPoint> points) {
  if (points.empty()) return;
  moveTo(points[0].x, points[0].y);
  if (shareRows_) {
    for (std::size_t k = 1; k < points.size(); ++k) lineTo(points[k].x, points[k].y);
    closePolygon();
    return;
  }
  // Edges inside the picture (which a NaN is not) are left in without clipping, in the order
  // lineTo and closePolygon take them: the sums are the same to the bit. Points are tested a
  // run at a time; a run with a point outside, or on the right edge (where a piece is dropped),
  // has each edge tested.
  constexpr std::size_t kRun = EdgeBatch::kRunEdges;
  const double w = width_, h = height_;
  // Runs are measured with 32-bit cell numbers and rows numbered exactly as floats (a picture of
  // 2³¹ cells or 2²² rows has each edge tested).
  const bool numbered = static_cast<double>(height_ + 1) * static_cast<double>(stride_) <
                            static_cast<double>(std::numeric_limits<std::int32_t>::max()) &&
                        height_ < (1 << 22);
  auto inside = [&](const CGPoint& p) { return p.x >= 0 && p.x <= w && p.y >= 0 && p.y <= h; };
  auto edge = [&](const CGPoint& from, const CGPoint& to) {
    if (inside(from) && inside(to)) {
      const float x0 = static_cast<float>(from.x), y0 = static_cast<float>(from.y);
      const float x1 = static_cast<float>(to.x), y1 = static_cast<float>(to.y);
      if (y0 < y1)
        addPiece(x0, y0, x1, y1, 1.0f);
      else if (y1 < y0)
        addPiece(x1, y1, x0, y0, -1.0f);
    } else {
      addEdge(from.x, from.y, to.x, to.y);
    }
  };
  auto depositRunOf = [&](std::size_t begin, std::size_t end) {
    const CGPoint* run = points.data() + begin - 1;
    const std::size_t count = end - begin + 1;
    return numbered && (wideVectors_ ? depositRunWide(run, count) : depositRunBaseline(run, count));
  };
  // Where a run measured together may have its points: as depositRun tests them.
  auto fits = [&](const CGPoint& p) { return p.x >= 0 && p.x < w && p.y >= 0 && p.y <= h; };
  for (std::size_t begin = 1; begin < points.size(); begin += kRun) {
    // The edges ending at points begin … end − 1.
    const std::size_t end = std::min(points.size(), begin + kRun);
    if (depositRunOf(begin, end)) continue;
    // A point outside: the edges of the stretches between such points are still measured
    // together where there are eight or more, and the others tested one by one (all of them in
    // the baseline vectors, where measuring together costs more than that).
    for (std::size_t k = begin; k < end;) {
      std::size_t stretch = k;
      if (wideVectors_ && fits(points[k - 1]))
        while (stretch < end && fits(points[stretch])) ++stretch;
      if (stretch - k >= kLanes && depositRunOf(k, stretch)) {
        k = stretch;
        continue;
      }
      for (const std::size_t last = std::max(stretch, k + 1); k < last; ++k)
        edge(points[k - 1], points[k]);
    }
  }
  edge(points.back(), points.front());
  open_ = false;
}

void CoverageRasterizer::closePolygon() {
  if (!open_) return;
  addEdge(lastX_, lastY_, startX_, startY_);
  lastX_ = startX_;
  lastY_ = startY_;
  open_ = false;
}

namespace {

// The even-odd fold, apart so that the non-zero coverage stays a few instructions in the sweep.
[[gnu::noinline]] float folded(float a) {
  a = std::fmod(a, 2.0f);
  return a > 1.0f ? 2.0f - a : a;
}

}  // namespace

inline std::uint8_t CoverageRasterizer::coverOf(float area, bool evenOdd) {
  float a = std::fabs(area);
  if (evenOdd) a = folded(a);
#if defined(__x86_64__)
  // Limited before it is truncated, in one instruction without a branch: the same byte below 2³¹
  // (and for a NaN, which stays one).
  const float limited = _mm_cvtss_f32(_mm_min_ss(_mm_set_ss(255.0f), _mm_set_ss(a * 256.0f)));
#else
  const float limited = std::min(a * 256.0f, 255.0f);
#endif
  return static_cast<std::uint8_t>(static_cast<int>(limited));
}

// The coverages of four running sums (their magnitudes, folded already for even-odd), as the
// bytes of a word: each limited and truncated as coverOf does it, at once.
inline std::uint32_t CoverageRasterizer::coversOfFour(const float* sums) {
#if defined(__x86_64__)
  const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), _mm_loadu_ps(sums));
  const __m128 limited =
      _mm_min_ps(_mm_set1_ps(255.0f), _mm_mul_ps(magnitude, _mm_set1_ps(256.0f)));
  const __m128i whole = _mm_cvttps_epi32(limited);
  const __m128i words = _mm_packs_epi32(whole, whole);  // 0 … 255, or the least for a NaN
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
#else
  std::uint32_t four = 0;
  for (int i = 0; i < 4; ++i) four |= std::uint32_t{coverOf(sums[i], false)} << (8 * i);
  return four;
#endif
}

void CoverageRasterizer::sweep(bool evenOdd, std::uint8_t* pixels, std::size_t stride,
                               std::uint32_t color) {
  closePolygon();
  evenOdd_ = evenOdd;
  pixels_ = pixels;
  pixelStride_ = stride;
  color_ = color;
  if (firstRow_ <= lastRow_) {
    const int rows = lastRow_ - firstRow_ + 1;
    const std::size_t work =
        depositedRows_ + static_cast<std::size_t>(rows) * static_cast<std::size_t>(width_) / 16;
    if (shareRows_ && rows >= 8 && work >= kSharedWork) {
      // The helper takes the lower rows; the split where half the work is done, a row costing
      // the pieces that cross it and a share of its pixels.
      const int split = balancedSplit(work);
      Band lower{this, split, lastRow_ + 1, helperSums_.data()};
      if (!helper_) helper_ = std::make_unique<HelperThread>();
      helper_->start(&CoverageRasterizer::sweepBandJob, &lower);
      sweepBand({this, firstRow_, split, sums_.data()});
      helper_->wait();
    } else {
      sweepBand({this, firstRow_, lastRow_ + 1, sums_.data()});
    }
  }
  if (shareRows_ && firstRow_ <= lastRow_)
    std::fill(crossings_.begin() + firstRow_, crossings_.begin() + lastRow_ + 2, 0);
  pieces_.clear();
  depositedRows_ = 0;
  firstRow_ = 0;
  lastRow_ = -1;
}

int CoverageRasterizer::balancedSplit(std::size_t work) const {
  const int rowCost = width_ / 16;
  std::size_t done = 0;
  int crossing = 0;
  int split = lastRow_;
  for (int y = firstRow_; y <= lastRow_; ++y) {
    crossing += crossings_[static_cast<std::size_t>(y)];
    done += static_cast<std::size_t>(crossing + rowCost);
    if (2 * done >= work) {
      split = y + 1;
      break;
    }
  }
  return split;
}

void CoverageRasterizer::sweepBandJob(void* band) {
  const Band& b = *static_cast<const Band*>(band);
  b.owner->sweepBand(b);
}

void CoverageRasterizer::sweepBand(const Band& band) {
  for (const Piece& piece : pieces_) depositPiece(piece, band.rowBegin, band.rowEnd);
  if (wideVectors_)
    sweepBandWide(band);
  else
    sweepBandBaseline(band);
}

// The fill rule fixed in each copy of the rows' sweep: no test of it per cell.
[[gnu::always_inline]] inline void CoverageRasterizer::sweepRowsByRule(const Band& band,
                                                                       bool wide) {
  if (evenOdd_)
    sweepRows(band, true, wide);
  else
    sweepRows(band, false, wide);
}

void CoverageRasterizer::sweepBandWide(const Band& band) {
  sweepRowsByRule(band, true);
}

void CoverageRasterizer::sweepBandBaseline(const Band& band) {
  sweepRowsByRule(band, false);
}

[[gnu::always_inline]] inline void CoverageRasterizer::sweepRows(const Band& band, bool evenOdd,
                                                                 bool wide) {
  const std::uint32_t color = color_;
  float* const sums = band.sums;
  // The rounding's 128s where the compiler cannot see them: as a constant it would make them anew
  // before every run's blend.
  Words16 half = Words16{} + 128;
  asm("" : "+m"(half));
  Words16 colors;
  colorFour(colors, color);
  const int width = width_;
  // A run's pixels from … shown − 1 at their coverages, in whole fours from `from`, at once: a
  // run is most often alone between two stretches of constant coverage. Pixels past it take a
  // coverage of 0, which leaves them as they are; a four past the row's end is its last four.
  auto blendVarying = [&](std::uint32_t* line, int from, int shown) {
    std::memset(sums + shown, 0, 4 * sizeof(float));
    int p = from;
    for (; p + 4 <= width; p += 4) {
      blendFour(line + p, colors, coversOfFour(sums + p), half, wide);
      if (p + 4 >= shown) return;
    }
    const std::uint32_t four = coversOfFour(sums + p);
    if (width < 4) {
      std::uint8_t covers[4];
      std::memcpy(covers, &four, sizeof covers);
      blendCovers(line + p, static_cast<unsigned>(shown - p), color, covers);
      return;
    }
    // The pixels before p, in the first bytes of the four, take a coverage of 0.
    const int lastFour = width - 4;
    blendFour(line + lastFour, colors, four << (8 * (p - lastFour)), half, wide);
  };
  // The members a row needs, held apart: the pixels' and sums' stores could be theirs.
  const std::size_t words = words_, stride = stride_, pixelStride = pixelStride_;
  const auto first = static_cast<std::size_t>(band.rowBegin);
  float* areas = areas_.data() + first * stride;
  std::uint64_t* marks = marks_.data() + first * words;
  std::uint8_t* pixels = pixels_ + first * pixelStride;
  for (int y = band.rowBegin, rowEnd = band.rowEnd; y < rowEnd;
       ++y, areas += stride, marks += words, pixels += pixelStride) {
    auto* line = reinterpret_cast<std::uint32_t*>(pixels);
    float sum = 0;
    int next = 0;  // the first pixel not yet blended
    for (std::size_t k = 0;; ++k) {
      // Most words of a row hold no mark: four are passed in one test.
      while (k + 4 <= words && (marks[k] | marks[k + 1] | marks[k + 2] | marks[k + 3]) == 0) k += 4;
      while (k < words && marks[k] == 0) ++k;
      if (k == words) break;
      std::uint64_t word = marks[k];
      marks[k] = 0;
      const int base = static_cast<int>(k * 64);
      do {
        // A run of marked cells, read back together with the cell after it.
        const int bit = std::countr_zero(word);
        const int length = std::countr_one(word >> bit);
        word = length + bit >= 64 ? 0 : word & (~std::uint64_t{0} << (bit + length));
        const int cell = base + bit;
        const int end = cell + length + 1;
        if (cell > next) {
          // Between marks the coverage holds (a mark lies within the picture's cells, so next
          // is short of its end).
          const std::uint8_t cover = coverOf(sum, evenOdd);
          if (cover != 0)
            blendRun(line + next, static_cast<unsigned>(std::min(cell, width) - next), color, cover,
                     half, wide);
        }
        // Their coverages are found four at a time as they are blended. A run has two cells at
        // least: a marked one and the one after.
        float* const runAreas = areas + cell;
        float* const runSums = sums + cell;
        auto add = [&](int i) {
          sum += runAreas[i];
          runAreas[i] = 0;
          runSums[i] = evenOdd ? folded(std::fabs(sum)) : sum;
        };
        add(0);
        add(1);
        for (int i = 2; i <= length; ++i) add(i);
        // A run that starts a word may start at the cell after the last word's run, read then.
        const int from = std::max(cell, next);
        const int shown = std::min(end, width);
        if (from < shown) {
          blendVarying(line, from, shown);
          next = shown;
        }
      } while (word != 0);
    }
    const std::uint8_t cover = coverOf(sum, evenOdd);
    if (cover != 0 && next < width)
      blendRun(line + next, static_cast<unsigned>(width - next), color, cover, half, wide);
  }
}

inline void CoverageRasterizer::coverRows(int firstRow, int endRow) {
  if (firstRow_ > lastRow_) {
    firstRow_ = firstRow;
    lastRow_ = endRow - 1;
  } else {
    firstRow_ = std::min(firstRow_, firstRow);
    lastRow_ = std::max(lastRow_, endRow - 1);
  }
}

inline void CoverageRasterizer::addPiece(float x0, float y0, float x1, float y1, float direction) {
  // At the right edge of the picture a piece leaves its area right of every pixel, where no
  // coverage is read: as the fill's side there, it is dropped.
  if (!(y1 > y0) || std::min(x0, x1) >= static_cast<float>(width_)) return;
  const int firstRow = static_cast<int>(y0);
  const int endRow = std::min(ceiling(y1), height_);
  if (firstRow >= endRow) return;
  coverRows(firstRow, endRow);
  if (!shareRows_) {
    // One thread sweeps: the piece is left in at once, while it is at hand.
    depositWhole(grid(), x0, y0, x1, y1, direction);
    return;
  }
  depositedRows_ += static_cast<std::size_t>(endRow - firstRow);
  ++crossings_[static_cast<std::size_t>(firstRow)];
  --crossings_[static_cast<std::size_t>(endRow)];
  pieces_.push_back({x0, y0, x1, y1, direction});
}

void CoverageRasterizer::addEdge(double x0, double y0, double x1, double y1) {
  // Only the vertical extent counts: a horizontal edge leaves nothing, and rows above and below
  // the picture are never read. An edge at infinity leaves nothing either (its clipped ends
  // would not be numbers).
  if (y0 == y1 || !std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) ||
      !std::isfinite(y1))
    return;
  float direction = 1.0f;
  if (y0 > y1) {
    std::swap(x0, x1);
    std::swap(y0, y1);
    direction = -1.0f;
  }
  const double h = height_;
  const double w = width_;
  if (y1 <= 0 || y0 >= h) return;
  if (y0 >= 0 && y1 <= h && x0 >= 0 && x0 <= w && x1 >= 0 && x1 <= w) {
    addPiece(static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1),
             static_cast<float>(y1), direction);
    return;
  }
  const double run = (x1 - x0) / (y1 - y0);
  if (!std::isfinite(run)) return;
  if (y0 < 0) {
    x0 += (0 - y0) * run;
    y0 = 0;
  }
  if (y1 > h) {
    x1 -= (y1 - h) * run;
    y1 = h;
  }
  // Left of the picture an edge still covers every pixel right of it, and right of it nothing
  // shows: limiting x to 0 … width leaves every visible pixel's area as it was. Cut where the
  // edge crosses those lines, so that each piece stays straight.
  double cuts[4] = {y0};
  int count = 1;
  for (double line : {0.0, w}) {
    if ((x0 < line) != (x1 < line)) {
      const double y = y0 + (line - x0) / run;
      if (y > y0 && y < y1) cuts[count++] = y;
    }
  }
  if (count == 3 && cuts[1] > cuts[2]) std::swap(cuts[1], cuts[2]);
  cuts[count++] = y1;
  for (int i = 0; i + 1 < count; ++i) {
    const double ya = cuts[i], yb = cuts[i + 1];
    if (yb <= ya) continue;
    const double xa = std::clamp(x0 + (ya - y0) * run, 0.0, w);
    const double xb = std::clamp(x0 + (yb - y0) * run, 0.0, w);
    addPiece(static_cast<float>(xa), static_cast<float>(ya), static_cast<float>(xb),
             static_cast<float>(yb), direction);
  }
}

namespace {

// Marks `count` cells from `column` on (two at most), in a row's words.
inline void markCells(std::uint64_t* marks, int column, unsigned count) {
  const unsigned bit = static_cast<unsigned>(column) & 63;
  const std::uint64_t cells = (std::uint64_t{1} << count) - 1;
  std::uint64_t* word = marks + (static_cast<unsigned>(column) >> 6);
  word[0] |= cells << bit;
  if (bit + count > 64) word[1] |= cells >> (64 - bit);  // the last may fall in the next word
}

}  // namespace

inline void CoverageRasterizer::depositInRow(float* cells, std::uint64_t* marks, float xa, float xb,
                                             float d) {
  const float left = std::min(xa, xb);
  const float right = std::max(xa, xb);
  const int c0 = static_cast<int>(left);  // not negative
  const float leftFloor = static_cast<float>(c0);
  if (right <= leftFloor + 1.0f) {
    // Within one pixel: the part of it right of the piece's middle; the rest to the next.
    const float middle = 0.5f * (xa + xb) - leftFloor;
    cells[c0] += d - d * middle;
    cells[c0 + 1] += d * middle;
    markCells(marks, c0, 1);
  } else if (right <= leftFloor + 2.0f) {
    // Across two pixels, as where a steep piece steps into the next column: the triangles in
    // the first and past the second, the rest in the second.
    const float half = 0.5f * d / (right - left);
    const float f0 = leftFloor + 1.0f - left;
    const float f1 = right - leftFloor - 1.0f;
    const float a0 = half * f0 * f0;
    const float am = half * f1 * f1;
    cells[c0] += a0;
    cells[c0 + 1] += d - a0 - am;
    cells[c0 + 2] += am;
    markCells(marks, c0, 2);
  } else {
    depositAcross(cells, marks, left, right, d);
  }
}

void CoverageRasterizer::depositAcross(float* areas, std::uint64_t* marks, float left, float right,
                                       float d) {
  // The trapezoids of a straight piece, in closed form.
  const int c0 = static_cast<int>(left);
  const float leftFloor = static_cast<float>(c0);
  const int c1 = ceiling(right);
  const float rightCeil = static_cast<float>(c1);
  const float s = 1.0f / (right - left);
  const float f0 = left - leftFloor;
  const float a0 = 0.5f * s * (1.0f - f0) * (1.0f - f0);
  const float f1 = right - rightCeil + 1.0f;
  const float am = 0.5f * s * f1 * f1;
  areas[c0] += d * a0;
  if (c1 == c0 + 2) {
    areas[c0 + 1] += d * (1.0f - a0 - am);
  } else {
    const float a1 = s * (1.5f - f0);
    areas[c0 + 1] += d * (a1 - a0);
    for (int c = c0 + 2; c < c1 - 1; ++c) areas[c] += d * s;
    const float a2 = a1 + static_cast<float>(c1 - c0 - 3) * s;
    areas[c1 - 1] += d * (1.0f - a2 - am);
  }
  areas[c1] += d * am;
  mark(marks, c0, c1 - 1);
}

[[gnu::always_inline]] inline void CoverageRasterizer::depositWhole(const Grid& cells, float x0,
                                                                    float y0, float x1, float y1,
                                                                    float direction) {
  // One thread sweeps: every row of the piece is left in, none limited by a band.
  const int firstRow = static_cast<int>(y0);
  if (y1 <= static_cast<float>(firstRow + 1)) {
    const auto row = static_cast<std::size_t>(firstRow);
    depositInRow(cells.areas + row * cells.stride, cells.marks + row * cells.words, x0, x1,
                 direction * (y1 - y0));
    return;
  }
  const int column = static_cast<int>(std::min(x0, x1));  // not negative
  if (std::max(x0, x1) <= static_cast<float>(column) + 1.0f) {
    depositColumnRows(cells, column, firstRow, std::min(ceiling(y1), cells.height), true, x0, y0,
                      x1, y1, direction);
    return;
  }
  depositSlantedRows(cells, x0, y0, x1, y1, direction, firstRow, cells.height);
}

[[gnu::always_inline]] inline void CoverageRasterizer::depositCells(const Grid& grid,
                                                                    const RowDeposits& rows,
                                                                    int lane) {
  if (rows.markBits[lane] == 0) {
    depositPieceAcross(grid, rows, lane);
    return;
  }
  depositMeasured(grid, rows, lane);
}

[[gnu::always_inline]] inline void CoverageRasterizer::depositPieceAcross(const Grid& grid,
                                                                          const RowDeposits& rows,
                                                                          int lane) {
  const auto row = static_cast<std::size_t>(rows.row[lane]);
  depositAcross(grid.areas + row * grid.stride, grid.marks + row * grid.words, rows.left[lane],
                rows.right[lane], rows.height[lane]);
}

[[gnu::always_inline]] inline void CoverageRasterizer::depositMeasured(const Grid& grid,
                                                                       const RowDeposits& rows,
                                                                       int lane) {
  const auto bits = static_cast<std::uint16_t>(rows.markBits[lane]);
  // The three cells and a fourth in one addition: a piece in one pixel adds nothing to its third
  // cell, and none adds anything to the fourth (a zero may lose its sign there, which no
  // coverage shows).
  using Floats4 = float __attribute__((vector_size(16)));
  float* cell = grid.areas + rows.cell[lane];
  Floats4 areas, added;
  std::memcpy(&areas, cell, sizeof areas);
  std::memcpy(&added, rows.areas + 4 * lane, sizeof added);
  areas += added;
  std::memcpy(cell, &areas, sizeof areas);
  // The marks as bytes: the bits of the words in order on a little-endian processor.
  static_assert(std::endian::native == std::endian::little);
  auto* bytes = reinterpret_cast<unsigned char*>(grid.marks) + rows.markByte[lane];
  std::uint16_t pair;
  std::memcpy(&pair, bytes, sizeof pair);
  pair |= bits;
  std::memcpy(bytes, &pair, sizeof pair);
}

[[gnu::always_inline]] inline void CoverageRasterizer::depositBelowFirstRow(const Grid& grid,
                                                                            const EdgeBatch& batch,
                                                                            int lane,
                                                                            std::int32_t kind) {
  if (batch.between[lane] > 0) {
    const int from = batch.row[lane] + 1, end = from + batch.between[lane];
    const float x0 = batch.x0[lane], y0 = batch.y0[lane], x1 = batch.x1[lane], y1 = batch.y1[lane];
    const float direction = batch.direction[lane];
    if (kind == kInColumn)
      depositWholeColumnRows(grid, batch.column[lane], from, end, x0, y0, batch.run[lane],
                             direction);
    else
      depositSlantedRows(grid, x0, y0, x1, y1, direction, from, end);
  }
  // The last row: marked, or across pixels (only a slanted edge's), or left in with those between.
  if (batch.last.markBits[lane] != 0)
    depositMeasured(grid, batch.last, lane);
  else if (kind == kSlanted)
    depositPieceAcross(grid, batch.last, lane);
}

[[gnu::always_inline]] inline bool CoverageRasterizer::depositRun(const CGPoint* points,
                                                                  std::size_t count) {
  alignas(32) float xs[EdgeBatch::kRunPoints], ys[EdgeBatch::kRunPoints];
  const RunBounds bounds = toFloats(points, count, xs, ys);
  if (!bounds.numbers || bounds.left < 0 || bounds.top < 0 || bounds.right >= width_ ||
      bounds.bottom > height_)
    return false;
  coverRows(static_cast<int>(static_cast<float>(bounds.top)),
            std::min(ceiling(static_cast<float>(bounds.bottom)), height_));
  const Grid grid = this->grid();
  const int stride = static_cast<int>(grid.stride), words = static_cast<int>(grid.words);
  EdgeBatch batch;
  for (std::size_t first = 0; first + 1 < count; first += kLanes) {
    measureEdges(xs + first, ys + first, stride, words, batch);
    for (int k = 0; k < kLanes; ++k) {
      const std::int32_t kind = batch.kind[k];
      if (kind == kInRow) {
        depositCells(grid, batch.first, k);
      } else if (kind != kFlat) {
        depositCells(grid, batch.first, k);
        depositBelowFirstRow(grid, batch, k, kind);
      }
    }
  }
  return true;
}

bool CoverageRasterizer::depositRunWide(const CGPoint* points, std::size_t count) {
  return depositRun(points, count);
}

bool CoverageRasterizer::depositRunBaseline(const CGPoint* points, std::size_t count) {
  return depositRun(points, count);
}

inline void CoverageRasterizer::depositPiece(const Piece& piece, int rowBegin, int rowEnd) {
  const int firstRow = static_cast<int>(piece.y0);
  if (piece.y1 <= static_cast<float>(firstRow + 1)) {
    // Half the pieces of a dense stroke end in the row they start in.
    if (firstRow >= rowBegin && firstRow < rowEnd) {
      const auto row = static_cast<std::size_t>(firstRow);
      depositInRow(areas_.data() + row * stride_, marks_.data() + row * words_, piece.x0, piece.x1,
                   piece.direction * (piece.y1 - piece.y0));
    }
    return;
  }
  depositRows(piece, rowBegin, rowEnd);
}

void CoverageRasterizer::depositRows(const Piece& piece, int rowBegin, int rowEnd) {
  const float x0 = piece.x0, y0 = piece.y0, x1 = piece.x1, y1 = piece.y1;
  const float direction = piece.direction;
  const int column = static_cast<int>(std::min(x0, x1));  // not negative
  if (std::max(x0, x1) <= static_cast<float>(column) + 1.0f) {
    depositColumn(grid(), column, x0, y0, x1, y1, direction, rowBegin, rowEnd);
    return;
  }
  depositSlantedRows(grid(), x0, y0, x1, y1, direction, rowBegin, rowEnd);
}

[[gnu::always_inline]] inline void CoverageRasterizer::depositSlantedRows(
    const Grid& grid, float x0, float y0, float x1, float y1, float direction, int rowBegin,
    int rowEnd) {
  const std::size_t stride = grid.stride, words = grid.words;
  const int firstRow = static_cast<int>(y0);
  const int endRow = std::min({ceiling(y1), grid.height, rowEnd});
  const int from = std::max(firstRow, rowBegin);
  if (from >= endRow) return;
  const float run = (x1 - x0) / (y1 - y0);
  // Where the piece enters the first row left in: the row boundary met on the way, as the rows
  // above would have ended it.
  float ya = y0;
  float xa = x0;
  if (from > firstRow) {
    ya = static_cast<float>(from);
    xa = x0 + (ya - y0) * run;
  }
  float* cells = grid.areas + static_cast<std::size_t>(from) * stride;
  std::uint64_t* marks = grid.marks + static_cast<std::size_t>(from) * words;
  for (int y = from; y < endRow; ++y, cells += stride, marks += words) {
    const float yb = std::min(y1, static_cast<float>(y + 1));
    const float xb = yb == y1 ? x1 : x0 + (yb - y0) * run;
    depositInRow(cells, marks, xa, xb, direction * (yb - ya));
    ya = yb;
    xa = xb;
  }
}

inline void CoverageRasterizer::depositColumn(const Grid& grid, int column, float x0, float y0,
                                              float x1, float y1, float direction, int rowBegin,
                                              int rowEnd) {
  const int firstRow = static_cast<int>(y0);
  const int endRow = std::min({ceiling(y1), grid.height, rowEnd});
  const int y = std::max(firstRow, rowBegin);
  if (y >= endRow || !(y1 > y0)) return;
  depositColumnRows(grid, column, y, endRow, y == firstRow, x0, y0, x1, y1, direction);
}

inline void CoverageRasterizer::depositColumnRows(const Grid& grid, int column, int y, int endRow,
                                                  bool fromStart, float x0, float y0, float x1,
                                                  float y1, float direction) {
  // Inside one pixel column a row's area is the part of the pixel right of the piece's middle
  // there, and the rest in the next cell; x is kept from the column's left.
  const float left = static_cast<float>(column);
  const float run = (x1 - x0) / (y1 - y0);
  const std::size_t stride = grid.stride, words = grid.words;
  float* cell = grid.areas + static_cast<std::size_t>(y) * stride + column;
  std::uint64_t* word =
      grid.marks + static_cast<std::size_t>(y) * words + (static_cast<std::size_t>(column) >> 6);
  const unsigned bit = static_cast<unsigned>(column) & 63;
  const std::uint64_t first = std::uint64_t{1} << bit;
  auto put = [&](float d, float middle) {
    const float right = d * middle;
    cell[0] += d - right;
    cell[1] += right;
    word[0] |= first;
    cell += stride;
    word += words;
  };
  if (fromStart) {
    // The first row, from the piece's start to the row's end (a piece ending in its first row
    // is left in by depositInRow); a band below starts at a whole row.
    const float yb = static_cast<float>(y + 1);
    put(direction * (yb - y0), 0.5f * (x0 + (x0 + (yb - y0) * run)) - left);
    ++y;
  }
  // Whole rows: the piece's middle there, from the row alone, so that every band finds the same.
  const int wholeEnd = std::min(endRow, static_cast<int>(y1));
  if (y < wholeEnd) {
    depositWholeColumnRows(grid, column, y, wholeEnd, x0, y0, run, direction);
    cell += static_cast<std::size_t>(wholeEnd - y) * stride;
    word += static_cast<std::size_t>(wholeEnd - y) * words;
    y = wholeEnd;
  }
  if (y < endRow) {
    // The last row, left at the piece's end.
    const float top = static_cast<float>(y);
    put(direction * (y1 - top), 0.5f * (x0 + (top - y0) * run + x1) - left);
  }
}

inline void CoverageRasterizer::depositWholeColumnRows(const Grid& grid, int column, int y,
                                                       int endRow, float x0, float y0, float run,
                                                       float direction) {
  const std::size_t stride = grid.stride, words = grid.words;
  float* cell = grid.areas + static_cast<std::size_t>(y) * stride + column;
  std::uint64_t* word =
      grid.marks + static_cast<std::size_t>(y) * words + (static_cast<std::size_t>(column) >> 6);
  const std::uint64_t first = std::uint64_t{1} << (static_cast<unsigned>(column) & 63);
  const float start = x0 - static_cast<float>(column);
  for (float half = static_cast<float>(y) + 0.5f; y < endRow; ++y, half += 1.0f) {
    const float right = direction * (start + (half - y0) * run);
    cell[0] += direction - right;
    cell[1] += right;
    word[0] |= first;
    cell += stride;
    word += words;
  }
}

inline void CoverageRasterizer::mark(std::uint64_t* words, int first, int last) {
  const auto from = static_cast<unsigned>(first), to = static_cast<unsigned>(last);
  const std::uint64_t fromFirst = ~std::uint64_t{0} << (from & 63);
  const std::uint64_t toLast = (std::uint64_t{2} << (to & 63)) - 1;  // all ones at bit 63
  if (from >> 6 == to >> 6) {
    words[from >> 6] |= fromFirst & toLast;
    return;
  }
  words[from >> 6] |= fromFirst;
  for (unsigned word = (from >> 6) + 1; word < to >> 6; ++word) words[word] = ~std::uint64_t{0};
  words[to >> 6] |= toLast;
}

}  // namespace render
