// The Cairo backend: an ARGB32 image surface kept between frames, paths appended as prebuilt
// path data from a reused buffer, groups for opacity and masks.

#include <agg_conv_stroke.h>
#include <agg_path_storage.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_scanline_p.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Canvas.h"
#include "CoverageRasterizer.h"
#include "KeptGradients.h"
#include "Renderer/PathDecimation.h"
#include "Renderer/PolylineStroker.h"
#include "StrokeEnvelope.h"

namespace render {

CGColor clampedColor(const CGColor& color) {
  CGColor c;
  for (int k = 0; k < 4; ++k) {
    const CGFloat v = color.components[k];
    c.components[k] = std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
  }
  return c;
}

namespace {

bool finite(CGPoint p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

void setColor(cairo_t* cr, const CGColor& color) {
  const CGColor c = clampedColor(color);
  cairo_set_source_rgba(cr, c.red(), c.green(), c.blue(), c.alpha());
}

class CairoCanvas final : public Canvas {
  // One subpath of the device path: devicePoints_[start, end).
  struct Subpath {
    std::size_t start, end;
    bool closed;
  };

 public:
  CairoCanvas(CanvasKind kind, bool decimate, bool helperThread)
      : coverage_(helperThread),
        fastStrokes_(kind == CanvasKind::cairoFast),
        agg_(kind == CanvasKind::aggOnCairo || kind == CanvasKind::spansOnCairo ||
             kind == CanvasKind::envelopesOnCairo),
        spans_(kind == CanvasKind::spansOnCairo || kind == CanvasKind::envelopesOnCairo),
        envelopes_(kind == CanvasKind::envelopesOnCairo),
        decimate_(decimate) {}

  ~CairoCanvas() override {
    if (cr_ != nullptr) cairo_destroy(cr_);
    if (surface_ != nullptr) cairo_surface_destroy(surface_);
    if (kept_ != nullptr) cairo_surface_destroy(kept_);
    dropImageCache();
  }

  void begin(std::size_t widthPixels, std::size_t heightPixels, double scale) override {
    const int w = static_cast<int>(std::max<std::size_t>(widthPixels, 1));
    const int h = static_cast<int>(std::max<std::size_t>(heightPixels, 1));
    if (surface_ == nullptr || w != width_ || h != height_) {
      if (cr_ != nullptr) cairo_destroy(cr_);
      if (surface_ != nullptr) cairo_surface_destroy(surface_);
      surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
      cr_ = cairo_create(surface_);
      width_ = w;
      height_ = h;
    }
    cairo_reset_clip(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    cairo_scale(cr_, scale, scale);
    scale_ = scale;
    builtFor_ = nullptr;
    clipped_.clear();
    gradients_.beginFrame();
    empty_ = widthPixels == 0 || heightPixels == 0;
  }

  void save() override {
    cairo_save(cr_);
    clipped_.push_back(clipped_.empty() ? false : clipped_.back());
  }
  void restore() override {
    cairo_restore(cr_);
    if (!clipped_.empty()) clipped_.pop_back();
  }
  void translate(CGFloat dx, CGFloat dy) override {
    if (std::isfinite(dx) && std::isfinite(dy)) cairo_translate(cr_, dx, dy);
  }

  void clipToRect(CGRect rect) override {
    cairo_rectangle(cr_, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr_);
    if (!clipped_.empty()) clipped_.back() = true;
  }

  bool hides(CGRect cover, CGRect rect) const override {
    if (!clipped_.empty() && clipped_.back()) return false;
    double cx0 = cover.origin.x, cy0 = cover.origin.y;
    double cx1 = cx0 + cover.size.width, cy1 = cy0 + cover.size.height;
    double x0 = rect.origin.x, y0 = rect.origin.y;
    double x1 = x0 + rect.size.width, y1 = y0 + rect.size.height;
    // Translations and a positive scale only: corners stay corners.
    cairo_user_to_device(cr_, &cx0, &cy0);
    cairo_user_to_device(cr_, &cx1, &cy1);
    cairo_user_to_device(cr_, &x0, &y0);
    cairo_user_to_device(cr_, &x1, &y1);
    return cx0 <= std::floor(x0) && cy0 <= std::floor(y0) && cx1 >= std::ceil(x1) &&
           cy1 >= std::ceil(y1);
  }

  void fillRect(CGRect rect, const CGColor& color) override {
    if (clampedColor(color).alpha() <= 0) return;
    setColor(cr_, color);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_DEFAULT);
    cairo_rectangle(cr_, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_fill(cr_);
  }

  void drawImage(const CGImage& image, CGRect rect) override {
    if (rect.size.width <= 0 || rect.size.height <= 0) return;
    cairo_surface_t* source = surfaceFor(image);
    cairo_save(cr_);
    cairo_rectangle(cr_, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr_);
    cairo_translate(cr_, rect.origin.x, rect.origin.y);
    cairo_scale(cr_, rect.size.width / static_cast<double>(image.width()),
                rect.size.height / static_cast<double>(image.height()));
    cairo_set_source_surface(cr_, source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
    cairo_paint(cr_);
    cairo_restore(cr_);
  }

  void fillPath(const CGPath& path, const CGColor& color, bool evenOdd,
                const StrokeStyle* opaqueStrokeOver) override {
    if (clampedColor(color).alpha() <= 0 || path.isEmpty()) return;
    // A fill's edge shows, and thinning would move it; under a nearly opaque stroke of at least a
    // pixel, thinned runs stay inside the stroke and cost a few edges per column instead of a
    // climb through every point.
    const bool hidden =
        opaqueStrokeOver != nullptr && opaqueStrokeOver->width * deviceScale() >= 1.0;
    buildDevicePath(path, decimate_ && hidden);
    if (subpaths_.empty()) return;
    if (agg_ && aggFill(color, evenOdd, nullptr)) return;
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_new_path(cr_);
    appendData();
    setColor(cr_, color);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_DEFAULT);
    cairo_set_fill_rule(cr_, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr_);
    cairo_restore(cr_);
  }

  void strokePath(const CGPath& path, const CGColor& color, const StrokeStyle& style) override {
    if (clampedColor(color).alpha() <= 0 || path.isEmpty() || !(style.width > 0)) return;
    const double deviceScale = buildDevicePath(path, decimate_);
    if (subpaths_.empty()) return;
    if (agg_) {
      StrokeStyle device = style;
      device.width = style.width * deviceScale;
      if (aggFill(color, false, &device)) return;
    }
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_new_path(cr_);
    appendData();
    setColor(cr_, color);
    cairo_set_antialias(cr_, fastStrokes_ ? CAIRO_ANTIALIAS_FAST : CAIRO_ANTIALIAS_DEFAULT);
    cairo_set_line_width(cr_, style.width * deviceScale);
    cairo_set_line_join(cr_, style.join == StrokeStyle::Join::round   ? CAIRO_LINE_JOIN_ROUND
                             : style.join == StrokeStyle::Join::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                                      : CAIRO_LINE_JOIN_MITER);
    cairo_set_line_cap(cr_, style.cap == StrokeStyle::Cap::round    ? CAIRO_LINE_CAP_ROUND
                            : style.cap == StrokeStyle::Cap::square ? CAIRO_LINE_CAP_SQUARE
                                                                    : CAIRO_LINE_CAP_BUTT);
    cairo_set_miter_limit(cr_, style.miterLimit);
    cairo_stroke(cr_);
    cairo_restore(cr_);
  }

  void fillLinearGradient(CGRect rect, CGPoint start, CGPoint end,
                          const GradientStops& stops) override {
    if (stops.colors == nullptr || stops.colors->empty()) return;
    if (gradients_.draw(cr_, width_, height_, rect, start, end, stops)) return;
    render::fillLinearGradient(cr_, rect, start, end, stops);
  }

  void drawText(const std::string& text, CGRect rect, CGFloat size, bool bold, const CGColor& color,
                LayerSnapshot::Alignment alignment) override {
    if (text.empty() || !(size > 0) || clampedColor(color).alpha() <= 0) return;
    cairo_save(cr_);
    cairo_rectangle(cr_, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr_);
    cairo_select_font_face(cr_, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr_, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr_, text.c_str(), &extents);
    cairo_font_extents_t font;
    cairo_font_extents(cr_, &font);
    double x = rect.origin.x - extents.x_bearing;
    if (alignment == LayerSnapshot::Alignment::center)
      x = rect.origin.x + (rect.size.width - extents.width) / 2 - extents.x_bearing;
    else if (alignment == LayerSnapshot::Alignment::right)
      x = rect.origin.x + rect.size.width - extents.width - extents.x_bearing;
    const double y = rect.origin.y + (rect.size.height + font.ascent - font.descent) / 2;
    setColor(cr_, color);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_DEFAULT);
    cairo_move_to(cr_, x, y);
    cairo_show_text(cr_, text.c_str());
    cairo_restore(cr_);
  }

  void beginGroup() override { cairo_push_group(cr_); }

  void endGroup(double opacity) override {
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, std::clamp(opacity, 0.0, 1.0));
  }

  void endMaskedGroup(double opacity) override {
    cairo_pattern_t* mask = cairo_pop_group(cr_);
    cairo_pattern_t* content = cairo_pop_group(cr_);
    const double alpha = std::clamp(opacity, 0.0, 1.0);
    if (alpha < 1.0) cairo_push_group(cr_);
    cairo_set_source(cr_, content);
    cairo_mask(cr_, mask);
    if (alpha < 1.0) {
      cairo_pop_group_to_source(cr_);
      cairo_paint_with_alpha(cr_, alpha);
    }
    cairo_pattern_destroy(content);
    cairo_pattern_destroy(mask);
  }

  void keepPicture() override {
    if (empty_) return;
    if (!keptFits()) {
      if (kept_ != nullptr) cairo_surface_destroy(kept_);
      kept_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_, height_);
    }
    copyPixels(surface_, kept_);
  }

  bool takeUpKeptPicture() override {
    if (empty_ || !keptFits()) return false;
    copyPixels(kept_, surface_);
    return true;
  }

  void snapshot(Image& image) const override {
    if (surface_ == nullptr || empty_) {
      image.width = image.height = 0;
      image.rgba.clear();
      return;
    }
    cairo_surface_flush(surface_);
    image.width = static_cast<std::size_t>(width_);
    image.height = static_cast<std::size_t>(height_);
    image.rgba.resize(image.width * image.height * 4);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    for (int y = 0; y < height_; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
      std::uint8_t* out = image.rgba.data() + static_cast<std::size_t>(y) * width_ * 4;
      for (int x = 0; x < width_; ++x) {
        const std::uint32_t argb = row[x];
        const unsigned a = argb >> 24;
        unsigned r = (argb >> 16) & 0xff, g = (argb >> 8) & 0xff, b = argb & 0xff;
        if (a != 0 && a != 255) {  // undo the premultiplication, rounding to nearest
          r = (r * 255 + a / 2) / a;
          g = (g * 255 + a / 2) / a;
          b = (b * 255 + a / 2) / a;
        }
        out[4 * x] = static_cast<std::uint8_t>(std::min(r, 255u));
        out[4 * x + 1] = static_cast<std::uint8_t>(std::min(g, 255u));
        out[4 * x + 2] = static_cast<std::uint8_t>(std::min(b, 255u));
        out[4 * x + 3] = static_cast<std::uint8_t>(a);
      }
    }
  }

 private:
  // Solid fills and strokes drawn straight into the current target's pixels (premultiplied
  // BGRA, as Cairo keeps them) from the device path, strokes outlined by Anti-Grain
  // Geometry's stroker (round joins by ours, with spans): covered and blended by its scanline
  // rasteriser, or by accumulation with spans. False when a clip is active, which only Cairo
  // honours.
  bool aggFill(const CGColor& color, bool evenOdd, const StrokeStyle* stroke) {
    if (!clipped_.empty() && clipped_.back()) return false;
    cairo_surface_t* target = cairo_get_group_target(cr_);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE) return false;
    cairo_surface_flush(target);
    double ox = 0, oy = 0;
    cairo_surface_get_device_offset(target, &ox, &oy);
    const int width = cairo_image_surface_get_width(target);
    const int height = cairo_image_surface_get_height(target);
    agg::rendering_buffer buffer(cairo_image_surface_get_data(target), static_cast<unsigned>(width),
                                 static_cast<unsigned>(height),
                                 cairo_image_surface_get_stride(target));
    const CGColor c = clampedColor(color);
    agg::rgba8 solid(agg::rgba(c.red(), c.green(), c.blue(), c.alpha()));
    solid.premultiply();
    if (spans_ && !envelopes_ && stroke != nullptr && strokerFits(*stroke)) {
      coverage_.reset(width, height);
      outlineStroke(ox, oy, *stroke);
      coverage_.sweep(false, buffer.row_ptr(0), static_cast<std::size_t>(buffer.stride()),
                      argbOf(solid));
      cairo_surface_mark_dirty(target);
      return true;
    }
    if (spans_ && stroke == nullptr) {
      // A fill's subpaths, each closed, straight into the coverage.
      coverage_.reset(width, height);
      for (const Subpath& subpath : subpaths_) coverage_.addPolygon(offsetPoints(subpath, ox, oy));
      coverage_.sweep(evenOdd, buffer.row_ptr(0), static_cast<std::size_t>(buffer.stride()),
                      argbOf(solid));
      cairo_surface_mark_dirty(target);
      return true;
    }
    aggPath_.remove_all();
    const bool envelopes = envelopes_ && stroke != nullptr && envelopeFits(*stroke);
    if (envelopes) {
      coverage_.reset(width, height);
      addEnvelopes(ox, oy, stroke->width / 2, width);
    } else {
      for (const Subpath& subpath : subpaths_) {
        const auto points = offsetPoints(subpath, ox, oy);
        aggPath_.move_to(points[0].x, points[0].y);
        for (std::size_t k = 1; k < points.size(); ++k) aggPath_.line_to(points[k].x, points[k].y);
        if (subpath.closed) aggPath_.close_polygon();
      }
    }
    if (envelopes) {
      // The rest of the path, outlined in the same coverage so that overlaps count once.
      if (aggPath_.total_vertices() != 0) {
        agg::conv_stroke<agg::path_storage> outline(aggPath_);
        styleOutline(outline, *stroke);
        addToCoverage(outline);
      }
      coverage_.sweep(false, buffer.row_ptr(0), static_cast<std::size_t>(buffer.stride()),
                      argbOf(solid));
    } else if (stroke != nullptr) {
      agg::conv_stroke<agg::path_storage> outline(aggPath_);
      styleOutline(outline, *stroke);
      cover(outline, false, buffer, solid);
    } else {
      cover(aggPath_, evenOdd, buffer, solid);
    }
    cairo_surface_mark_dirty(target);
    return true;
  }

  template <class VertexSource>
  void cover(VertexSource& source, bool evenOdd, agg::rendering_buffer& buffer,
             const agg::rgba8& color) {
    if (!spans_) {
      agg::pixfmt_bgra32_pre pixels(buffer);
      agg::renderer_base<agg::pixfmt_bgra32_pre> base(pixels);
      aggRasterizer_.reset();
      aggRasterizer_.filling_rule(evenOdd ? agg::fill_even_odd : agg::fill_non_zero);
      aggRasterizer_.add_path(source);
      agg::render_scanlines_aa_solid(aggRasterizer_, aggScanline_, base, color);
      return;
    }
    coverage_.reset(static_cast<int>(buffer.width()), static_cast<int>(buffer.height()));
    addToCoverage(source);
    coverage_.sweep(evenOdd, buffer.row_ptr(0), static_cast<std::size_t>(buffer.stride()),
                    argbOf(color));
  }

  static std::uint32_t argbOf(const agg::rgba8& color) {
    return (std::uint32_t{color.a} << 24) | (std::uint32_t{color.r} << 16) |
           (std::uint32_t{color.g} << 8) | color.b;
  }

  template <class VertexSource>
  void addToCoverage(VertexSource& source) {
    source.rewind(0);
    double x = 0, y = 0;
    for (unsigned command = source.vertex(&x, &y); !agg::is_stop(command);
         command = source.vertex(&x, &y)) {
      if (agg::is_move_to(command)) {
        coverage_.moveTo(x, y);
      } else if (agg::is_vertex(command)) {
        coverage_.lineTo(x, y);
      } else if (agg::is_close(command)) {
        coverage_.closePolygon();
      }
    }
  }

  static void styleOutline(agg::conv_stroke<agg::path_storage>& outline, const StrokeStyle& style) {
    outline.width(style.width);
    outline.line_join(style.join == StrokeStyle::Join::round   ? agg::round_join
                      : style.join == StrokeStyle::Join::bevel ? agg::bevel_join
                                                               : agg::miter_join);
    outline.line_cap(style.cap == StrokeStyle::Cap::round    ? agg::round_cap
                     : style.cap == StrokeStyle::Cap::square ? agg::square_cap
                                                             : agg::butt_cap);
    outline.miter_limit(style.miterLimit);
  }

  // A subpath's device points moved by the target's offset: in place when there is none, else
  // copied into run_.
  std::span<const CGPoint> offsetPoints(const Subpath& subpath, double ox, double oy) {
    const std::span<const CGPoint> points(devicePoints_.data() + subpath.start,
                                          subpath.end - subpath.start);
    if (ox == 0 && oy == 0) return points;
    run_.clear();
    for (const CGPoint& p : points) run_.push_back({p.x + ox, p.y + oy});
    return run_;
  }

  // Round joins with butt or square caps: the outline of our own stroker, the same as Anti-Grain
  // Geometry's.
  static bool strokerFits(const StrokeStyle& device) {
    return device.join == StrokeStyle::Join::round && device.cap != StrokeStyle::Cap::round;
  }

  // The device path, outlined by subpaths into coverage_.
  void outlineStroke(double ox, double oy, const StrokeStyle& device) {
    stroker_.begin(device.width, device.cap == StrokeStyle::Cap::square
                                     ? PolylineStroker::Cap::square
                                     : PolylineStroker::Cap::butt);
    for (const Subpath& subpath : subpaths_)
      stroker_.addPolyline(offsetPoints(subpath, ox, oy), subpath.closed);
    const auto vertices = stroker_.vertices();
    std::size_t start = 0;
    for (const std::size_t end : stroker_.polygonEnds()) {
      coverage_.addPolygon(vertices.subspan(start, end - start));
      start = end;
    }
  }

  // Envelopes model round joins; a butt end differs from the round one by a half disc, a few
  // pixels at the end of a waveform. Lines thinner than a pixel, or wide enough that sampling
  // their discs costs more than outlining, stay with the stroker.
  static bool envelopeFits(const StrokeStyle& device) {
    return device.join == StrokeStyle::Join::round && device.cap != StrokeStyle::Cap::square &&
           device.width >= 1.0 && device.width <= 16.0;
  }

  // Dense x-monotonic runs of the device path as envelopes into coverage_; the rest, as open
  // polylines joined where they meet, into aggPath_ for the stroker. A run's discs make the
  // round join where it meets the rest.
  void addEnvelopes(double ox, double oy, double halfWidth, int width) {
    for (const Subpath& subpath : subpaths_) {
      // One subpath: its points, the first again when closed.
      const bool closed = subpath.closed;
      const auto points = offsetPoints(subpath, ox, oy);
      if (points.data() != run_.data()) run_.assign(points.begin(), points.end());
      if (closed && run_.size() > 1) run_.push_back(run_.front());
      StrokeEnvelope::split(run_, pieces_);
      const bool anyDense = std::any_of(pieces_.begin(), pieces_.end(),
                                        [](const StrokeEnvelope::Piece& p) { return p.dense; });
      if (!anyDense) {
        const std::size_t end = closed && run_.size() > 1 ? run_.size() - 1 : run_.size();
        for (std::size_t k = 0; k < end; ++k) {
          if (k == 0)
            aggPath_.move_to(run_[k].x, run_[k].y);
          else
            aggPath_.line_to(run_[k].x, run_[k].y);
        }
        if (closed) aggPath_.close_polygon();
        continue;
      }
      // A closed subpath whose first and last pieces are both sparse strokes the sparse pieces
      // at its start after those at its end, as one polyline.
      const bool wrap = closed && !pieces_.front().dense && !pieces_.back().dense;
      std::size_t p = 0;
      while (wrap && !pieces_[p].dense) ++p;
      const std::size_t wrapLast = p == 0 ? 0 : pieces_[p - 1].last;
      while (p < pieces_.size()) {
        const StrokeEnvelope::Piece& piece = pieces_[p];
        if (piece.dense) {
          envelope_.addRun(std::span(run_).subspan(piece.first, piece.last - piece.first + 1),
                           halfWidth, width, coverage_);
          ++p;
          continue;
        }
        std::size_t q = p;
        while (q + 1 < pieces_.size() && !pieces_[q + 1].dense) ++q;
        aggPath_.move_to(run_[piece.first].x, run_[piece.first].y);
        for (std::size_t k = piece.first + 1; k <= pieces_[q].last; ++k)
          aggPath_.line_to(run_[k].x, run_[k].y);
        if (wrap && q + 1 == pieces_.size())
          for (std::size_t k = 1; k <= wrapLast; ++k) aggPath_.line_to(run_[k].x, run_[k].y);
        p = q + 1;
      }
    }
  }

  // Pixels per unit of the current space.
  double deviceScale() const {
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    return std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
  }

  // The path in device pixels, so that dense runs can be thinned per pixel column; returns the
  // device scale (pixels per unit of the current space). A fill and the stroke over it, thinned
  // alike, build it once: paths drawn are not changed during a frame.
  double buildDevicePath(const CGPath& path, bool thin) {
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    if (builtFor_ == &path && builtThin_ == thin && std::memcmp(&builtMatrix_, &m, sizeof m) == 0)
      return deviceScale();
    builtFor_ = &path;
    builtThin_ = thin;
    builtMatrix_ = m;
    subpaths_.clear();
    std::size_t used = 0;
    for (std::size_t s = 0; s < path.subpathCount(); ++s) {
      const auto points = path.subpathPoints(s);
      if (points.empty()) continue;
      // Room for every point, made once for the largest path: nothing to clear per frame.
      if (devicePoints_.size() < used + points.size()) devicePoints_.resize(used + points.size());
      CGPoint* const start = devicePoints_.data() + used;
      // The matrix in locals, which the points' stores cannot be taken to change.
      const double xx = m.xx, xy = m.xy, x0 = m.x0, yx = m.yx, yy = m.yy, y0 = m.y0;
      auto device = [=](CGPoint p) {
        return CGPoint{xx * p.x + xy * p.y + x0, yx * p.x + yy * p.y + y0};
      };
      ThinnedPoints made{start, true};
      if (thin && points.size() > 8) {
        made = thinDeviceColumns(points, {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0}, start);
      } else {
        for (const CGPoint& p : points) {
          *made.end = device(p);
          made.finite &= finite(*made.end++);
        }
      }
      // A subpath with a coordinate that is not a number would poison the whole fill.
      if (!made.finite) continue;
      const std::size_t end = static_cast<std::size_t>(made.end - devicePoints_.data());
      subpaths_.push_back({used, end, path.subpath(s).closed});
      used = end;
    }
    return deviceScale();
  }

  // The device path handed to Cairo.
  void appendData() {
    data_.clear();
    cairo_path_data_t header, point;
    for (const Subpath& subpath : subpaths_) {
      for (std::size_t i = subpath.start; i < subpath.end; ++i) {
        header.header.type = i == subpath.start ? CAIRO_PATH_MOVE_TO : CAIRO_PATH_LINE_TO;
        header.header.length = 2;
        data_.push_back(header);
        point.point.x = devicePoints_[i].x;
        point.point.y = devicePoints_[i].y;
        data_.push_back(point);
      }
      if (subpath.closed) {
        header.header.type = CAIRO_PATH_CLOSE_PATH;
        header.header.length = 1;
        data_.push_back(header);
      }
    }
    cairo_path_t path{CAIRO_STATUS_SUCCESS, data_.data(), static_cast<int>(data_.size())};
    cairo_append_path(cr_, &path);
  }

  // The contents image as a premultiplied surface, made once per image.
  cairo_surface_t* surfaceFor(const CGImage& image) {
    if (cachedImage_.get() == &image && cachedSurface_ != nullptr) return cachedSurface_;
    dropImageCache();
    const int w = static_cast<int>(image.width()), h = static_cast<int>(image.height());
    cachedSurface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    unsigned char* data = cairo_image_surface_get_data(cachedSurface_);
    const int stride = cairo_image_surface_get_stride(cachedSurface_);
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
      const std::uint8_t* in = image.rgba() + static_cast<std::size_t>(y) * image.bytesPerRow();
      for (int x = 0; x < w; ++x) {
        const unsigned a = in[4 * x + 3];
        const unsigned r = (in[4 * x] * a + 127) / 255, g = (in[4 * x + 1] * a + 127) / 255,
                       b = (in[4 * x + 2] * a + 127) / 255;
        row[x] = (a << 24) | (r << 16) | (g << 8) | b;
      }
    }
    cairo_surface_mark_dirty(cachedSurface_);
    cachedImage_ = cg::ImageRef(&image);
    return cachedSurface_;
  }

  // A kept picture of the current picture's size.
  bool keptFits() const {
    return kept_ != nullptr && cairo_image_surface_get_width(kept_) == width_ &&
           cairo_image_surface_get_height(kept_) == height_;
  }

  // Between two image surfaces of one size and format.
  static void copyPixels(cairo_surface_t* from, cairo_surface_t* to) {
    cairo_surface_flush(from);
    cairo_surface_flush(to);
    std::memcpy(cairo_image_surface_get_data(to), cairo_image_surface_get_data(from),
                static_cast<std::size_t>(cairo_image_surface_get_stride(from)) *
                    cairo_image_surface_get_height(from));
    cairo_surface_mark_dirty(to);
  }

  void dropImageCache() {
    if (cachedSurface_ != nullptr) cairo_surface_destroy(cachedSurface_);
    cachedSurface_ = nullptr;
    cachedImage_.reset();
  }

  CoverageRasterizer coverage_;
  bool fastStrokes_;
  bool agg_;
  bool spans_;
  bool envelopes_;
  bool decimate_;
  std::vector<bool> clipped_;  // per save level: a clip is active
  agg::path_storage aggPath_;
  agg::rasterizer_scanline_aa<> aggRasterizer_;
  agg::scanline_p8 aggScanline_;
  StrokeEnvelope envelope_;
  PolylineStroker stroker_;
  std::vector<CGPoint> run_;
  std::vector<StrokeEnvelope::Piece> pieces_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  double scale_ = 1;
  bool empty_ = true;
  // The device path: its points, subpath after subpath (and room after them), and for which
  // path and matrix.
  std::vector<CGPoint> devicePoints_;
  std::vector<Subpath> subpaths_;
  const CGPath* builtFor_ = nullptr;
  cairo_matrix_t builtMatrix_{};
  bool builtThin_ = false;
  std::vector<cairo_path_data_t> data_;
  cg::ImageRef cachedImage_;
  cairo_surface_t* cachedSurface_ = nullptr;
  KeptGradients gradients_;
  cairo_surface_t* kept_ = nullptr;  // a kept picture, as the surface held it
};

}  // namespace

std::unique_ptr<Canvas> makeCairoCanvas(CanvasKind kind, bool decimate, bool helperThread) {
  return std::make_unique<CairoCanvas>(kind, decimate, helperThread);
}

}  // namespace render
