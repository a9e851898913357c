#pragma once
// A layer that shows one line of text in the system font (DejaVu Sans), aligned in its bounds
// and vertically centred; a line too long for the bounds is cut at them.

#include <string>

#include "CoreGraphics/CoreGraphics.h"
#include "QuartzCore/CALayer.h"

using CATextLayerAlignmentMode = const char*;

inline constexpr CATextLayerAlignmentMode kCAAlignmentLeft = "left";
inline constexpr CATextLayerAlignmentMode kCAAlignmentCenter = "center";
inline constexpr CATextLayerAlignmentMode kCAAlignmentRight = "right";

class CATextLayer : public CALayer {
  OBJC_NATIVE_CLASS(CATextLayer, CALayer)
 public:
  enum class Alignment { left, center, right };

  CATextLayer() = default;
  static StrongRef<CATextLayer> layer() { return objc::make<CATextLayer>(); }

  // UTF-8.
  const std::string& string() const { return string_; }
  void setString(std::string text) { setDrawn(string_, text); }

  CGFloat fontSize() const { return fontSize_; }
  void setFontSize(CGFloat size) { setDrawn(fontSize_, size); }
  // The bold face of the system font.
  bool isBold() const { return bold_; }
  void setBold(bool bold) { setDrawn(bold_, bold); }

  // Opaque white by default.
  CGColorRef foregroundColor() const { return &foreground_; }
  void setForegroundColor(CGColorRef color) {
    if (color != nullptr) setDrawn(foreground_, *color);
  }

  // The platform's named constants; an unknown name keeps the current value.
  void setAlignmentMode(CATextLayerAlignmentMode mode);
  Alignment alignment() const { return alignment_; }

 private:
  std::string string_;
  CGFloat fontSize_ = 36;
  bool bold_ = false;
  CGColor foreground_ = CGColorMakeRGBA(1, 1, 1, 1);
  Alignment alignment_ = Alignment::left;
};
