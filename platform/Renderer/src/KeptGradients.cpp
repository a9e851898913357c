#include "KeptGradients.h"

#include <algorithm>
#include <cmath>

namespace render {

namespace {
// Enough for the gradients of one screen; more are drawn directly.
constexpr std::size_t kMaxKept = 4;
}  // namespace

void fillLinearGradient(cairo_t* cr, CGRect rect, CGPoint start, CGPoint end,
                        const GradientStops& stops) {
  cairo_pattern_t* pattern = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
  for (std::size_t i = 0; i < stops.colors->size(); ++i) {
    const CGColor c = clampedColor((*stops.colors)[i]);
    cairo_pattern_add_color_stop_rgba(pattern, stops.locations[i], c.red(), c.green(), c.blue(),
                                      c.alpha());
  }
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_set_source(cr, pattern);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
  cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
  cairo_fill(cr);
  cairo_pattern_destroy(pattern);
}

KeptGradients::~KeptGradients() {
  for (Kept& kept : kept_) release(kept);
}

void KeptGradients::release(Kept& kept) {
  if (kept.picture != nullptr) cairo_surface_destroy(kept.picture);
  kept.picture = nullptr;
}

bool KeptGradients::draw(cairo_t* cr, int width, int height, CGRect rect, CGPoint start,
                         CGPoint end, const GradientStops& stops) {
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  if (m.xy != 0 || m.yx != 0) return false;
  // The device pixels the rect touches, within those that can show.
  const double x0 = m.xx * rect.origin.x + m.x0, x1 = x0 + m.xx * rect.size.width;
  const double y0 = m.yy * rect.origin.y + m.y0, y1 = y0 + m.yy * rect.size.height;
  if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1))
    return false;
  const double left = std::max(std::floor(std::min(x0, x1)), 0.0);
  const double top = std::max(std::floor(std::min(y0, y1)), 0.0);
  const double right = std::min(std::ceil(std::max(x0, x1)), static_cast<double>(width));
  const double bottom = std::min(std::ceil(std::max(y0, y1)), static_cast<double>(height));
  if (right <= left || bottom <= top) return true;  // nothing of it shows

  key_.clear();
  for (double v : {m.xx, m.yy, m.x0, m.y0, rect.origin.x, rect.origin.y, rect.size.width,
                   rect.size.height, start.x, start.y, end.x, end.y, left, top, right, bottom})
    key_.push_back(v);
  for (std::size_t i = 0; i < stops.colors->size(); ++i) {
    const CGColor c = clampedColor((*stops.colors)[i]);
    for (double v : c.components) key_.push_back(v);
    key_.push_back(stops.locations[i]);
  }

  auto same =
      std::find_if(kept_.begin(), kept_.end(), [&](const Kept& k) { return k.key == key_; });
  if (same == kept_.end()) {
    // Seen once: drawn directly, remembered in case the next frame draws it again.
    auto spare =
        std::find_if(kept_.begin(), kept_.end(), [](const Kept& k) { return k.key.empty(); });
    if (spare == kept_.end()) {
      if (kept_.size() >= kMaxKept) return false;
      spare = kept_.emplace(kept_.end());
    }
    release(*spare);
    spare->key.assign(key_.begin(), key_.end());
    spare->drawn = true;
    return false;
  }
  same->drawn = true;
  if (same->picture == nullptr) {
    same->picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(right - left),
                                               static_cast<int>(bottom - top));
    // The same user space, moved by whole pixels: the same pixels as a direct fill.
    cairo_t* picture = cairo_create(same->picture);
    cairo_matrix_t moved = m;
    moved.x0 -= left;
    moved.y0 -= top;
    cairo_set_matrix(picture, &moved);
    fillLinearGradient(picture, rect, start, end, stops);
    cairo_destroy(picture);
    cairo_surface_flush(same->picture);
  }
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_set_source_surface(cr, same->picture, left, top);
  cairo_paint(cr);
  cairo_restore(cr);
  return true;
}

void KeptGradients::beginFrame() {
  for (Kept& kept : kept_) {
    if (!kept.drawn) {
      release(kept);
      kept.key.clear();
    }
    kept.drawn = false;
  }
}

}  // namespace render
