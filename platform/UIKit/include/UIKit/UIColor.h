#pragma once
// An immutable colour: red, green, blue and alpha from 0 to 1, kept as given (a renderer limits
// them when it draws).

#include <string>

#include "CoreGraphics/CoreGraphics.h"
#include "objc/StrongRef.h"
#include "objc/runtime.h"

class UIColor : public NSObject {
  OBJC_NATIVE_CLASS(UIColor, NSObject)
 public:
  UIColor() = default;
  UIColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
      : color_(CGColorMakeRGBA(red, green, blue, alpha)) {}

  static StrongRef<UIColor> colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
  static StrongRef<UIColor> colorWithWhite(CGFloat white, CGFloat alpha);
  static StrongRef<UIColor> colorWithCGColor(CGColorRef color);
  // The system colours: shared, opaque, pure.
  static UIColor* redColor();     // (1, 0, 0, 1)
  static UIColor* yellowColor();  // (1, 1, 0, 1)
  static UIColor* greenColor();   // (0, 1, 0, 1)
  static UIColor* blueColor();    // (0, 0, 1, 1)
  static UIColor* blackColor();   // (0, 0, 0, 1)
  static UIColor* whiteColor();   // (1, 1, 1, 1)
  static UIColor* clearColor();   // (0, 0, 0, 0)

  // The same colour with its alpha replaced.
  StrongRef<UIColor> colorWithAlphaComponent(CGFloat alpha) const;
  // Each pointer may be null; always succeeds for these RGB colours.
  bool getRed(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const;

  CGFloat red() const { return color_.red(); }
  CGFloat green() const { return color_.green(); }
  CGFloat blue() const { return color_.blue(); }
  CGFloat alpha() const { return color_.alpha(); }
  // Valid as long as this colour lives; layers copy the value when they take it.
  CGColorRef CGColor() const { return &color_; }

  std::string description() const override;
  bool isEqual(const NSObject* other) const override;
  static void registerMethods_(Class cls);

 private:
  ::CGColor color_ = CGColorMakeRGBA(0, 0, 0, 1);
};

// The colour behind `color` for a layer property: null (none) when there is no colour.
inline CGColorRef CGColorOf(const UIColor* color) {
  return color != nullptr ? color->CGColor() : nullptr;
}
