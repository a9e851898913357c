#pragma once
// Eight consecutive edges of a polygon inside the picture measured at once, lane by lane, with
// the very arithmetic the rasteriser uses for one: each edge ordered top to bottom, its first row
// and column, its kind, and what it leaves in its first and last rows: the areas of the first
// cell it touches there and the two after it, and the cells it marks. What is left is to add
// those, edge by edge and row by row in order (the sums are then the same to the bit), and the
// rows between. Built once for each vector width its callers are built for; wide values pass by
// reference, as a baseline call cannot take them by value.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "CoreGraphics/CGGeometry.h"

namespace render {

enum EdgeKind : std::int32_t {
  kFlat,      // horizontal: leaves nothing
  kInRow,     // within one row
  kInColumn,  // across rows, within one pixel column
  kSlanted,   // across rows and columns
};

constexpr int kLanes = 8;

// What pieces leave in single rows, lane by lane.
struct RowDeposits {
  // The areas added to the piece's leftmost cell and the three after it (the last nothing), four
  // to a lane, as they are added.
  alignas(32) float areas[4 * kLanes];
  alignas(32) std::int32_t cell[kLanes];
  // The cells it marks (its pixels but the last), as bits of the byte of the mark words that
  // holds the first cell's and the next byte: none where the piece crosses more pixels and is
  // left in whole by depositAcross.
  alignas(32) std::int32_t markByte[kLanes], markBits[kLanes];
  // For depositAcross: the piece's row, its ends' x and its signed height.
  alignas(32) std::int32_t row[kLanes];
  alignas(32) float left[kLanes], right[kLanes], height[kLanes];
};

struct EdgeBatch {
  // A run of edges (long, so that what is done once a run, as finding its bounds, is shared by
  // many): its points as floats, with room to repeat the last to the end of the last eight edges.
  static constexpr std::size_t kRunEdges = 64;
  static constexpr std::size_t kRunPoints = kRunEdges + kLanes;
  // Top to bottom (x0, y0) to (x1, y1), and +1 where the edge goes down, −1 where it goes up; x
  // a row further down.
  alignas(32) float x0[kLanes], y0[kLanes], x1[kLanes], y1[kLanes], direction[kLanes], run[kLanes];
  alignas(32) std::int32_t kind[kLanes];
  // The first row, the leftmost column, and the number of rows between the first and the last
  // (with the last, for an edge in one column ending on a row's end: a whole row as those).
  alignas(32) std::int32_t row[kLanes], column[kLanes], between[kLanes];
  // What each leaves in its first row, and in its last where that is another and not among those
  // between (there, as for an edge in one row, it marks nothing).
  RowDeposits first, last;
};

namespace edge_batch {

using Floats = float __attribute__((vector_size(32)));
using Ints = std::int32_t __attribute__((vector_size(32)));

template <typename V, typename T>
[[gnu::always_inline]] inline void load(V& v, const T* values) {
  std::memcpy(&v, values, sizeof v);
}

template <typename V, typename T>
[[gnu::always_inline]] inline void store(T* values, const V& v) {
  std::memcpy(values, &v, sizeof v);
}

// Pieces within row `row` from x = xa to xb, d their signed heights: in one pixel, the part of it
// right of the piece's middle, the rest in the next; across two, the triangles in the first and
// past the second, the rest in the second. A piece of an edge inside one pixel column (where
// `inColumn`) is taken in that column, `edgeColumn`, as depositColumnRows takes it.
// Where `leaves` is 0 it marks nothing.
[[gnu::always_inline]] inline void measureInRow(const Floats& xa, const Floats& xb, const Floats& d,
                                                const Ints& row, const Ints& inColumn,
                                                const Ints& edgeColumn, const Ints& leaves,
                                                int stride, int words, RowDeposits& out) {
  const Floats half = Floats{} + 0.5f;
  // std::min and std::max of (xa, xb), ties alike.
  const Floats left = xb < xa ? xb : xa;
  const Floats right = xa < xb ? xb : xa;
  const Ints column = inColumn ? edgeColumn : __builtin_convertvector(left, Ints);
  const Floats leftFloor = __builtin_convertvector(column, Floats);
  const Ints onePixel = inColumn | (right <= leftFloor + 1.0f);
  const Ints twoPixels = right <= leftFloor + 2.0f;
  const Floats rightOfMiddle = d * (half * (xa + xb) - leftFloor);
  const Floats share = half * d / (right - left);
  const Floats f0 = leftFloor + 1.0f - left;
  const Floats f1 = right - leftFloor - 1.0f;
  const Floats a0 = share * f0 * f0;
  const Floats am = share * f1 * f1;
  const Floats none = {};
  const Floats near = onePixel ? d - rightOfMiddle : a0;
  const Floats middle = onePixel ? rightOfMiddle : d - a0 - am;
  const Floats far = onePixel ? none : am;
  // Four by eight turned into eight by four: lanes 0 and 4, 1 and 5, … in the halves of each.
  const Floats nearMiddleLow = __builtin_shufflevector(near, middle, 0, 8, 1, 9, 4, 12, 5, 13);
  const Floats nearMiddleHigh = __builtin_shufflevector(near, middle, 2, 10, 3, 11, 6, 14, 7, 15);
  const Floats farLow = __builtin_shufflevector(far, none, 0, 8, 1, 9, 4, 12, 5, 13);
  const Floats farHigh = __builtin_shufflevector(far, none, 2, 10, 3, 11, 6, 14, 7, 15);
  const Floats lanes04 = __builtin_shufflevector(nearMiddleLow, farLow, 0, 1, 8, 9, 4, 5, 12, 13);
  const Floats lanes15 = __builtin_shufflevector(nearMiddleLow, farLow, 2, 3, 10, 11, 6, 7, 14, 15);
  const Floats lanes26 = __builtin_shufflevector(nearMiddleHigh, farHigh, 0, 1, 8, 9, 4, 5, 12, 13);
  const Floats lanes37 =
      __builtin_shufflevector(nearMiddleHigh, farHigh, 2, 3, 10, 11, 6, 7, 14, 15);
  store(out.areas, __builtin_shufflevector(lanes04, lanes15, 0, 1, 2, 3, 8, 9, 10, 11));
  store(out.areas + 2 * 4, __builtin_shufflevector(lanes26, lanes37, 0, 1, 2, 3, 8, 9, 10, 11));
  store(out.areas + 4 * 4, __builtin_shufflevector(lanes04, lanes15, 4, 5, 6, 7, 12, 13, 14, 15));
  store(out.areas + 6 * 4, __builtin_shufflevector(lanes26, lanes37, 4, 5, 6, 7, 12, 13, 14, 15));
  const Ints cells = onePixel ? Ints{} + 1 : (twoPixels ? Ints{} + 3 : Ints{});
  store(out.cell, row * stride + column);
  store(out.markByte, row * (words * 8) + (column >> 3));
  store(out.markBits, (cells << (column & 7)) & leaves);
  store(out.row, row);
  store(out.left, left);
  store(out.right, right);
  store(out.height, d);
}

}  // namespace edge_batch

// The corners of a run of points, and whether all are numbers (a NaN would slip through the
// minimum and maximum).
struct RunBounds {
  double left, top, right, bottom;
  bool numbers;
};

namespace edge_batch {

using Doubles = double __attribute__((vector_size(32)));
using Mask = std::int64_t __attribute__((vector_size(32)));

// Four points as floats into xs and ys, widening the bounds `low` … `high`.
[[gnu::always_inline]] inline void fourToFloats(const CGPoint* points, float* xs, float* ys,
                                                Doubles& low, Doubles& high, Mask& unordered) {
  using Floats4 = float __attribute__((vector_size(16)));
  Doubles first, second;
  load(first, &points[0].x);
  load(second, &points[2].x);
  low = low < first ? low : first;
  low = low < second ? low : second;
  high = high > first ? high : first;
  high = high > second ? high : second;
  unordered |= (first != first) | (second != second);
  const Floats4 one = __builtin_convertvector(first, Floats4);
  const Floats4 two = __builtin_convertvector(second, Floats4);
  store(xs, __builtin_shufflevector(one, two, 0, 2, 4, 6));
  store(ys, __builtin_shufflevector(one, two, 1, 3, 5, 7));
}

}  // namespace edge_batch

// `count` points (2 … kRunEdges + 1) as floats, the last repeated to the end of the last eight
// edges (which are then flat), and their bounds, found on the way.
[[gnu::always_inline]] inline RunBounds toFloats(const CGPoint* points, std::size_t count,
                                                 float* xs, float* ys) {
  static_assert(sizeof(CGPoint) == 2 * sizeof(double));
  using namespace edge_batch;
  Doubles low, high;
  load(low, &points[0].x);
  high = low;
  Mask unordered = {};
  const std::size_t whole = count & ~std::size_t{3};
  for (std::size_t k = 0; k < whole; k += 4)
    fourToFloats(points + k, xs + k, ys + k, low, high, unordered);
  if (whole < count) {
    // The last four padded with the last point.
    CGPoint tail[4];
    for (std::size_t i = 0; i < 4; ++i) tail[i] = points[std::min(whole + i, count - 1)];
    fourToFloats(tail, xs + whole, ys + whole, low, high, unordered);
  }
  const std::size_t end = (count + kLanes - 2) / kLanes * kLanes + 1;
  for (std::size_t k = count; k < end; ++k) {
    xs[k] = xs[count - 1];
    ys[k] = ys[count - 1];
  }
  return {std::min(low[0], low[2]), std::min(low[1], low[3]), std::max(high[0], high[2]),
          std::max(high[1], high[3]),
          (unordered[0] | unordered[1] | unordered[2] | unordered[3]) == 0};
}

// The edges from (xs[k], ys[k]) to (xs[k + 1], ys[k + 1]) for k = 0 … 7, all inside the picture
// (not negative, no NaN); `stride` cells and `words` mark words a row.
[[gnu::always_inline]] inline void measureEdges(const float* xs, const float* ys, int stride,
                                                int words, EdgeBatch& batch) {
  using namespace edge_batch;
  Floats xa, xb, ya, yb;
  load(xa, xs);
  load(xb, xs + 1);
  load(ya, ys);
  load(yb, ys + 1);
  const Ints down = ya < yb, up = yb < ya;
  const Floats x0 = down ? xa : xb, y0 = down ? ya : yb;
  const Floats x1 = down ? xb : xa, y1 = down ? yb : ya;
  const Floats one = Floats{} + 1.0f;
  const Floats direction = down ? one : -one;
  const Floats run = (x1 - x0) / (y1 - y0);
  const Ints row = __builtin_convertvector(y0, Ints);
  const Floats nextRow = __builtin_convertvector(row + 1, Floats);
  const Ints oneRow = y1 <= nextRow;
  const Floats left = x1 < x0 ? x1 : x0;
  const Floats right = x0 < x1 ? x1 : x0;
  const Ints column = __builtin_convertvector(left, Ints);
  const Ints oneColumn = right <= __builtin_convertvector(column, Floats) + 1.0f;
  const Ints whole = __builtin_convertvector(y1, Ints);
  const Ints endRow = whole - (__builtin_convertvector(whole, Floats) < y1);  // the ceiling
  const Ints kind = (down | up) ? (oneRow ? Ints{} + std::int32_t{kInRow}
                                          : (oneColumn ? Ints{} + std::int32_t{kInColumn}
                                                       : Ints{} + std::int32_t{kSlanted}))
                                : Ints{} + std::int32_t{kFlat};
  const Ints inColumn = oneColumn & ~oneRow;
  store(batch.x0, x0);
  store(batch.y0, y0);
  store(batch.x1, x1);
  store(batch.y1, y1);
  store(batch.direction, direction);
  store(batch.run, run);
  store(batch.kind, kind);
  store(batch.row, row);
  store(batch.column, column);
  // Rows between: for an edge in one column up to the whole rows' end, for a slanted one up to the
  // last row.
  const Ints betweenEnd = inColumn ? whole : endRow - 1;
  store(batch.between, betweenEnd - (row + 1));
  // The first row: the whole edge, or from its start to the row's end.
  const Floats firstEnd = oneRow ? y1 : nextRow;
  const Floats firstX = oneRow ? x1 : x0 + (firstEnd - y0) * run;
  const Ints all = Ints{} - 1;
  measureInRow(x0, firstX, direction * (firstEnd - y0), row, inColumn, column, all, stride, words,
               batch.first);
  // The last row of an edge across rows, from where it enters it to the edge's end (for other
  // edges, which leave nothing there, a piece inside the picture all the same).
  const Ints lastRow = endRow - 1;
  const Floats top = __builtin_convertvector(lastRow, Floats);
  const Floats lastX = oneRow ? x0 : x0 + (top - y0) * run;
  const Ints lastWhole = inColumn & (__builtin_convertvector(whole, Floats) == y1);
  measureInRow(lastX, x1, direction * (y1 - top), lastRow, inColumn, column, ~lastWhole, stride,
               words, batch.last);
}

}  // namespace render
