#pragma once
// Anti-aliased polygon coverage by signed-area accumulation, without sorting: each edge leaves,
// in every pixel row it crosses, the exact area of each pixel that lies right of it (signed by
// its direction), and a running sum along the row gives each pixel's coverage. A bit per cell
// marks where something was left, so a row is read back only there: between two marks the
// coverage is constant and is blended as one span. A piece's last cell in a row goes unmarked,
// since every run of marks is read with the cell after it: a piece inside one pixel marks one. A
// dense waveform of thousands of points, and the fill under it, cost about the pixels they cover
// and the rows their edges cross.
//
// A polygon's runs of edges inside the picture are measured eight edges at a time in vectors
// (their rows, columns and the areas of their first and last rows) and left in edge by edge, in
// order: the sums are the same to the bit as one edge at a time.
//
// Edges are clipped to the picture and left in at once; when rows may be shared they are kept
// until the sweep, which leaves and reads them row by row: rows are independent, so a large
// sweep is shared by rows between the calling thread and a helper thread, with the very same
// result.
//
// Coverage is the magnitude of the winding-weighted area, limited to 1 (non-zero), or folded
// for even-odd; as the scanline rasteriser it stands in for, truncated to 1/256.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "CoreGraphics/CGGeometry.h"

namespace render {

// Built for AVX2 besides the baseline, where the processor may have it; chosen when made.
#if defined(__x86_64__)
#define COVERAGE_WIDE_VECTORS [[gnu::target("avx2")]]
#else
#define COVERAGE_WIDE_VECTORS
#endif

class HelperThread;
struct EdgeBatch;
struct RowDeposits;

// Kept inside the library: its calls between the rasteriser's own functions are then direct,
// and may be inlined, rather than through the table of exported names.
class [[gnu::visibility("hidden")]] CoverageRasterizer {
 public:
  // `shareRows`: large sweeps split their rows with a helper thread (made on first need).
  // `wideVectors`: a polygon's edges are measured in the processor's widest vectors it has
  // (else in the baseline ones, as a test compares).
  explicit CoverageRasterizer(bool shareRows = false, bool wideVectors = true);
  ~CoverageRasterizer();
  CoverageRasterizer(const CoverageRasterizer&) = delete;
  CoverageRasterizer& operator=(const CoverageRasterizer&) = delete;

  // An empty outline over a picture of this many pixels; buffers are kept between calls.
  void reset(int width, int height);
  void moveTo(double x, double y);
  void lineTo(double x, double y);
  // Closes the current contour; moveTo and sweep close it too.
  void closePolygon();
  // moveTo the first point, lineTo the others, closePolygon.
  void addPolygon(std::span<const CGPoint> points);

  // Blends `color` (premultiplied ARGB, as a 32-bit pixel) with the coverage into `pixels`
  // (premultiplied ARGB rows of the picture's size, `stride` bytes apart), row by row, with the
  // rounding of Anti-Grain Geometry's premultiplied blender; leaves the rasteriser empty.
  void sweep(bool evenOdd, std::uint8_t* pixels, std::size_t stride, std::uint32_t color);

 private:
  struct Piece {
    float x0, y0, x1, y1, direction;  // y0 < y1, inside the picture
  };
  struct Band {
    CoverageRasterizer* owner;
    int rowBegin, rowEnd;
    float* sums;
  };

  // The cells and mark words, held apart from the members while pieces are left in: a mark's
  // store could be a size's, which would then be read again after every one.
  struct Grid {
    float* areas;
    std::uint64_t* marks;
    std::size_t stride, words;
    int height;
  };
  Grid grid() {
    return {areas_.data(), marks_.data(), stride_, words_, height_};
  }

  void coverRows(int firstRow, int endRow);  // widens the rows the pieces cross
  void addEdge(double x0, double y0, double x1, double y1);
  void addPiece(float x0, float y0, float x1, float y1, float direction);
  void depositPiece(const Piece& piece, int rowBegin, int rowEnd);
  void depositRows(const Piece& piece, int rowBegin, int rowEnd);  // one crossing several rows
  // One crossing pixel columns, its rows from rowBegin to rowEnd (and the picture's end).
  void depositSlantedRows(const Grid& grid, float x0, float y0, float x1, float y1, float direction,
                          int rowBegin, int rowEnd);
  // A piece from (x0, y0) to (x1, y1), y0 < y1, inside the pixel column `column`.
  void depositColumn(const Grid& grid, int column, float x0, float y0, float x1, float y1,
                     float direction, int rowBegin, int rowEnd);
  // Its rows y … endRow − 1 (whole ones after the first, which starts at y0 when `fromStart`).
  void depositColumnRows(const Grid& grid, int column, int y, int endRow, bool fromStart, float x0,
                         float y0, float x1, float y1, float direction);
  // Whole rows y … endRow − 1 alone, `run` the piece's step in x a row further down.
  void depositWholeColumnRows(const Grid& grid, int column, int y, int endRow, float x0, float y0,
                              float run, float direction);
  // The edges between `count` points (EdgeBatch::kRunEdges + 1 at most) when all are inside the
  // picture, short of its right edge, as when one thread sweeps: measured eight at a time, then
  // left in one by one. False, leaving nothing, when a point is outside.
  bool depositRun(const CGPoint* points, std::size_t count);
  // The same built for the wider vectors, and for the baseline.
  COVERAGE_WIDE_VECTORS bool depositRunWide(const CGPoint* points, std::size_t count);
  bool depositRunBaseline(const CGPoint* points, std::size_t count);
  // What lane `lane` of measured rows leaves (the same as depositInRow).
  void depositCells(const Grid& grid, const RowDeposits& rows, int lane);
  // The same for a piece it marks (in at most two pixels), and for one across more.
  void depositMeasured(const Grid& grid, const RowDeposits& rows, int lane);
  void depositPieceAcross(const Grid& grid, const RowDeposits& rows, int lane);
  // The rows after the first of lane `lane` of a batch of edges, one crossing rows.
  void depositBelowFirstRow(const Grid& grid, const EdgeBatch& batch, int lane, std::int32_t kind);
  // A piece with all its rows, as when one thread sweeps.
  void depositWhole(const Grid& cells, float x0, float y0, float x1, float y1, float direction);
  // A straight piece's area in one row (its cells and mark words), from x = xa to xb, d its
  // signed height there.
  void depositInRow(float* cells, std::uint64_t* marks, float xa, float xb, float d);
  // Across pixels, in a row's cells and mark words.
  void depositAcross(float* areas, std::uint64_t* marks, float left, float right, float d);
  // Marks cells `first` … `last` in a row's words.
  void mark(std::uint64_t * words, int first, int last);
  int balancedSplit(std::size_t work) const;
  // A band's rows: their kept pieces left in, then read back and blended.
  void sweepBand(const Band& band);
  // The reading built for the wider vectors, and for the baseline (the same pixels).
  COVERAGE_WIDE_VECTORS void sweepBandWide(const Band& band);
  void sweepBandBaseline(const Band& band);
  void sweepRowsByRule(const Band& band, bool wide);
  void sweepRows(const Band& band, bool evenOdd, bool wide);
  static void sweepBandJob(void* band);
  static std::uint8_t coverOf(float area, bool evenOdd);
  static std::uint32_t coversOfFour(const float* sums);

  int width_ = 0;
  int height_ = 0;
  std::size_t stride_ = 0;            // cells per row: columns 0 … width + 1
  std::size_t words_ = 0;             // mark words per row
  std::vector<float> areas_;          // row-major; all zero outside a sweep
  std::vector<std::uint64_t> marks_;  // a bit per cell that holds an area, but the last
  std::vector<float> sums_;           // one row's running sums where they vary, per band
  std::vector<float> helperSums_;
  std::vector<Piece> pieces_;
  std::vector<int> crossings_;     // per row, pieces starting less those ending (sharing rows only)
  std::size_t depositedRows_ = 0;  // rows the pieces cross, all together
  int firstRow_ = 0, lastRow_ = -1;  // rows the pieces cross
  double startX_ = 0, startY_ = 0, lastX_ = 0, lastY_ = 0;
  bool open_ = false;
  // The sweep under way.
  bool evenOdd_ = false;
  std::uint8_t* pixels_ = nullptr;
  std::size_t pixelStride_ = 0;
  std::uint32_t color_ = 0;
  bool shareRows_;
  bool wideVectors_;
  std::unique_ptr<HelperThread> helper_;
};

}  // namespace render
