#pragma once
// A layer tree as committed: an immutable copy of everything the renderer draws of a layer and
// its visible sublayers, made on the main thread in a fraction of a millisecond and drawn later
// on any thread (the render server's). Paths and images are shared, not copied: a path handed
// to a shape layer is not changed afterwards (the plots make a new one every frame), and both
// count their references atomically.

#include <memory>
#include <string>
#include <vector>

#include "CoreGraphics/CoreGraphics.h"

class CALayer;

namespace render {

struct StrokeStyle {
  CGFloat width = 1;
  enum class Join { miter, round, bevel } join = Join::miter;
  enum class Cap { butt, round, square } cap = Cap::butt;
  CGFloat miterLimit = 10;
};

struct LayerSnapshot {
  enum class Kind { plain, shape, gradient, text };

  Kind kind = Kind::plain;
  CGPoint offset{};  // of the bounds' origin in the superlayer's space
  CGRect bounds{};
  double opacity = 1;
  bool masksToBounds = false;
  bool hasBackground = false;
  CGColor background;
  cg::ImageRef contents;

  // A shape layer's path, fill and stroke.
  cg::PathRef path;
  bool hasFill = false;
  CGColor fill;
  bool evenOdd = false;
  bool hasStroke = false;
  CGColor stroke;
  StrokeStyle strokeStyle;

  // A gradient layer's colours, their stops (ascending, one per colour) and its axis in points.
  std::vector<CGColor> colors;
  std::vector<CGFloat> locations;
  CGPoint start{}, end{};

  // A text layer's line.
  std::string text;
  CGFloat fontSize = 0;
  bool bold = false;
  CGColor textColor;
  enum class Alignment { left, center, right } alignment = Alignment::left;

  std::vector<LayerSnapshot> sublayers;  // lowest first; hidden and transparent ones left out
  std::unique_ptr<LayerSnapshot> mask;
};

// The tree under `layer` as it stands; an empty plain layer for null. Main thread.
std::shared_ptr<const LayerSnapshot> snapshotLayerTree(CALayer* layer);

// Whether two trees draw the same picture: the same layers with the same values, paths through
// the same points, the same images (by identity: an image is never changed). Any thread.
bool drawsTheSame(const LayerSnapshot& a, const LayerSnapshot& b);
// The same for the layers themselves (their frame, opacity, clip, mask and own drawing), their
// sublayers aside.
bool drawsTheSameAlone(const LayerSnapshot& a, const LayerSnapshot& b);

}  // namespace render
