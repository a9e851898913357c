#pragma once
// What the apps' now-playing screens draw around the artwork, with the platform's layers: lines
// of text, the player's glyphs (play, pause, previous, next, shuffle, repeat, speaker) as shape
// layers, and a progress bar with the elapsed and remaining times. Main thread only.

#include <CoreGraphics/CGColor.h>
#include <CoreGraphics/CGPath.h>
#include <QuartzCore/CAShapeLayer.h>
#include <QuartzCore/CATextLayer.h>
#include <objc/StrongRef.h>

namespace screen {

// One line of text in `parent`.
StrongRef<CATextLayer> addTextLine(CALayer* parent, CGRect frame, CGFloat size, bool bold,
                                   CGColor colour, CATextLayerAlignmentMode alignment);

// A shape in `parent`: `path` filled with `colour`.
StrongRef<CAShapeLayer> addFilledShape(CALayer* parent, const cg::PathRef& path, CGColor colour);

// A rectangle with corners cut round (a polygon close enough at screen scale), and a circle.
cg::PathRef roundedRectPath(CGRect rect, CGFloat radius);
cg::PathRef circlePath(CGPoint centre, CGFloat radius);

enum class Glyph { play, pause, previous, next, shuffle, repeat, speakerSoft, speakerLoud };

// `glyph` drawn to fill `box`: a shape to fill (shuffle and repeat are outlines made of filled
// strokes, so that one fill colour draws every glyph).
cg::PathRef glyphPath(Glyph glyph, CGRect box);

// A shape layer showing `glyph` in `box`, in `colour`.
StrongRef<CAShapeLayer> addGlyph(CALayer* parent, Glyph glyph, CGRect box, CGColor colour);

// A thin bar across `frame`'s width with a knob at the played part, and under it the elapsed time
// at the left and the remaining time at the right.
class ProgressBar {
 public:
  struct Colours {
    CGColor track;
    CGColor played;
    CGColor text;
  };
  ProgressBar(CALayer* parent, CGRect frame, const Colours& colours);
  // Unknown (elapsed < 0): an empty bar and no times. A duration of 0: a stream, the bar full.
  void show(long elapsedSeconds, long durationSeconds);

 private:
  CGRect frame_;
  StrongRef<CAShapeLayer> played_;
  StrongRef<CAShapeLayer> knob_;
  StrongRef<CATextLayer> elapsed_;
  StrongRef<CATextLayer> remaining_;
};

}  // namespace screen
