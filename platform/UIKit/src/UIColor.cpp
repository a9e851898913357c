#include "UIKit/UIColor.h"

#include <cstdio>

#include "objc/message.h"

StrongRef<UIColor> UIColor::colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  return objc::make<UIColor>(red, green, blue, alpha);
}

StrongRef<UIColor> UIColor::colorWithWhite(CGFloat white, CGFloat alpha) {
  return objc::make<UIColor>(white, white, white, alpha);
}

StrongRef<UIColor> UIColor::colorWithCGColor(CGColorRef color) {
  if (color == nullptr) return nullptr;
  return objc::make<UIColor>(color->red(), color->green(), color->blue(), color->alpha());
}

namespace {
UIColor* systemColor(CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
  // Shared for the process's life, as the platform's system colours are.
  return new UIColor(r, g, b, a);
}
}  // namespace

UIColor* UIColor::redColor() {
  static UIColor* const color = systemColor(1, 0, 0, 1);
  return color;
}
UIColor* UIColor::yellowColor() {
  static UIColor* const color = systemColor(1, 1, 0, 1);
  return color;
}
UIColor* UIColor::greenColor() {
  static UIColor* const color = systemColor(0, 1, 0, 1);
  return color;
}
UIColor* UIColor::blueColor() {
  static UIColor* const color = systemColor(0, 0, 1, 1);
  return color;
}
UIColor* UIColor::blackColor() {
  static UIColor* const color = systemColor(0, 0, 0, 1);
  return color;
}
UIColor* UIColor::whiteColor() {
  static UIColor* const color = systemColor(1, 1, 1, 1);
  return color;
}
UIColor* UIColor::clearColor() {
  static UIColor* const color = systemColor(0, 0, 0, 0);
  return color;
}

StrongRef<UIColor> UIColor::colorWithAlphaComponent(CGFloat alpha) const {
  return objc::make<UIColor>(red(), green(), blue(), alpha);
}

bool UIColor::getRed(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const {
  if (red != nullptr) *red = this->red();
  if (green != nullptr) *green = this->green();
  if (blue != nullptr) *blue = this->blue();
  if (alpha != nullptr) *alpha = this->alpha();
  return true;
}

std::string UIColor::description() const {
  char text[96];
  std::snprintf(text, sizeof text, "UIColor(%g %g %g %g)", red(), green(), blue(), alpha());
  return text;
}

bool UIColor::isEqual(const NSObject* other) const {
  const auto* color = objc::cast<UIColor>(other);
  return color != nullptr && color->color_ == color_;
}

void UIColor::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "getRed:green:blue:alpha:",
      +[](id self, SEL, CGFloat* r, CGFloat* g, CGFloat* b, CGFloat* a) {
        return static_cast<UIColor*>(self)->getRed(r, g, b, a);
      });
  objc::addMethod(
      cls, "alpha", +[](id self, SEL) { return static_cast<UIColor*>(self)->alpha(); });
}
