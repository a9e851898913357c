#pragma once
// Thinning of dense polylines before they are stroked: inside one device pixel column, an
// x-monotonic run of points is replaced by its first, lowest, highest and last point (lowest
// and highest in their order along the run). The stroke's outline within that column is the
// same to a fraction of a pixel, and a waveform of thousands of points over a few hundred
// columns costs a few hundred segments.

#include <cstddef>
#include <span>

#include "CoreGraphics/CGGeometry.h"

namespace render {

// Where the points kept end, and whether every one of them is finite.
struct ThinnedPoints {
  CGPoint* end;
  bool finite;
};

// The map from user space into device pixels, as Cairo's matrix holds it.
struct DeviceMatrix {
  double xx, yx, xy, yy, x0, y0;
};

// `points` (user space, one subpath) taken into device pixels by `matrix` and thinned, written
// from `out` on (room for as many as there are points).
ThinnedPoints thinDeviceColumns(std::span<const CGPoint> points, const DeviceMatrix& matrix,
                                CGPoint* out);

}  // namespace render
