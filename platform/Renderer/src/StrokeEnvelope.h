#pragma once
// The round-joined stroke of a dense x-monotonic run (a waveform with many points per pixel
// column) as the region between its upper and lower envelopes, handed to the coverage
// rasteriser as one outline. The stroke is the run widened by a disc: at each abscissa its
// section is one interval (the run is x-monotonic, so the part of it within a half width is
// connected), bounded by the discs at the vertices and the offset lines of the segments. The
// envelopes are sampled a few times per pixel column, exactly at each sample; the rasteriser
// integrates the straight pieces between samples exactly. That replaces outlining every join and
// the climb of every offset edge through the rows.
//
// Runs that are sparse, not x-monotonic, or too short are left to the general stroker: `split`
// sorts a subpath's points into both.

#include <cstddef>
#include <span>
#include <vector>

#include "CoreGraphics/CoreGraphics.h"

namespace render {

class CoverageRasterizer;

class StrokeEnvelope {
 public:
  // Samples per pixel column.
  static constexpr int kSamples = 4;

  struct Piece {
    std::size_t first, last;  // indices of its first and last point (shared with neighbours)
    bool dense;
  };

  // Splits the points of one open polyline (all finite; a closed subpath passes its first point
  // again at the end) into x-monotonic pieces, consecutive pieces sharing a point. A piece is
  // dense when it has many points and at least one per pixel column it spans.
  static void split(std::span<const CGPoint> points, std::vector<Piece>& pieces);

  // Adds the outline of the stroke of `run` (x-monotonic, finite) with half width `halfWidth`
  // pixels, over a picture `width` pixels wide, to `coverage`.
  void addRun(std::span<const CGPoint> run, double halfWidth, double width,
              CoverageRasterizer& coverage);

 private:
  std::vector<double> xs_;            // the samples' abscissae
  std::vector<double> top_, bottom_;  // the envelopes at each sample
};

}  // namespace render
