#pragma once
// What the apps' now-playing screens draw around the artwork, with the platform's layers: lines
// of text, the player's glyphs (play, pause, previous, next, shuffle, repeat, speaker) as shape
// layers, and a progress bar with the elapsed and remaining times. Main thread only.

#include <CoreGraphics/CGColor.h>
#include <CoreGraphics/CGPath.h>
#include <HostControl/NowPlayingInfo.h>
#include <QuartzCore/CAShapeLayer.h>
#include <QuartzCore/CATextLayer.h>
#include <UIKit/UIView.h>
#include <objc/StrongRef.h>

#include <optional>

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

// The play-pause control shows what a tap would do: play while paused, pause while playing.
inline Glyph playPauseGlyph(bool paused) {
  return paused ? Glyph::play : Glyph::pause;
}

// A play-pause glyph in `box` that follows the audio's pause; playing (pause shown) at first.
class PlayPauseGlyph {
 public:
  PlayPauseGlyph(CALayer* parent, CGRect box, CGColor colour);
  void show(bool paused);

 private:
  CGRect box_;
  bool paused_ = false;
  StrongRef<CAShapeLayer> shape_;
};

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

// A now-playing screen's own drawing: a view over the whole screen whose layers show the track's
// title and artist and its progress, over what `backdrop` drew first and beside whatever else
// the app draws into `layer()`.
class TrackChrome {
 public:
  struct Line {
    CGRect frame;
    CGFloat size;
    bool bold;
    CGColor colour;
  };
  struct Style {
    Line title;
    Line artist;
    CGRect progress;
    ProgressBar::Colours progressColours;
    CGRect playPause;  // empty: the app draws its own
    CGColor playPauseColour;
  };
  explicit TrackChrome(const Style& style, void (*backdrop)(CALayer*) = nullptr);

  UIView* view() const { return view_.get(); }
  CALayer* layer() const { return view_->layer(); }
  void show(const control::NowPlayingInfo& info);

 private:
  StrongRef<UIView> view_;
  StrongRef<CATextLayer> title_, artist_;
  ProgressBar progress_;
  std::optional<PlayPauseGlyph> playPause_;
};

}  // namespace screen
