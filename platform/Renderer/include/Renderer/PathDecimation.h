#pragma once
// Thinning of dense polylines before they are stroked: inside one device pixel column, an
// x-monotonic run of points is replaced by its first, lowest, highest and last point (lowest
// and highest in their order along the run). The stroke's outline within that column is the
// same to a fraction of a pixel, and a waveform of thousands of points over a few hundred
// columns costs a few hundred segments.

#include <cstddef>
#include <span>
#include <vector>

#include "CoreGraphics/CGGeometry.h"

namespace render {

// Appends the thinned `points` (device coordinates, one subpath) to `out`.
void decimateColumns(std::span<const CGPoint> points, std::vector<CGPoint>& out);

}  // namespace render
