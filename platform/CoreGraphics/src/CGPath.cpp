#include "CoreGraphics/CGPath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

// ---- Blocks ----

namespace {

// A plot drops a frame's paths and makes as many for the next frame; the C library's allocator
// keeps only a few freed blocks of one size at hand and sorts the rest into its bins, and takes
// them out again, at several times the cost. So each thread keeps the path blocks it freed, up
// to a bound, and hands them out again last freed first (the warmest). Not under the address
// sanitizer, which is to see every block's use after its release.
#if defined(__SANITIZE_ADDRESS__)
#define CG_PATH_KEEPS_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CG_PATH_KEEPS_BLOCKS 0
#endif
#endif
#ifndef CG_PATH_KEEPS_BLOCKS
#define CG_PATH_KEEPS_BLOCKS 1
#endif

#if CG_PATH_KEEPS_BLOCKS
// Made at the thread's first kept block; its blocks go back to the allocator when the thread ends
// (BlocksReturned), and what is freed after that goes back at once. Only the pointer and the flag
// are thread-local, initial-exec: read in place through the thread pointer rather than found by a
// call per path, and small enough for the static room a library loaded later may take.
struct KeptBlocks {
  static constexpr std::size_t kKept = 512;  // two frames of the most bars
  void* blocks[kKept];
  std::size_t count = 0;
};
[[gnu::tls_model("initial-exec")]] thread_local KeptBlocks* keptBlocks = nullptr;
[[gnu::tls_model("initial-exec")]] thread_local bool keptBlocksEnded = false;

struct BlocksReturned {
  ~BlocksReturned() {
    KeptBlocks* kept = std::exchange(keptBlocks, nullptr);
    keptBlocksEnded = true;
    if (kept == nullptr) return;
    while (kept->count > 0) ::operator delete(kept->blocks[--kept->count]);
    delete kept;
  }
};
thread_local BlocksReturned blocksReturned;

void* takeKeptBlock() {
  KeptBlocks* kept = keptBlocks;
  return kept != nullptr && kept->count > 0 ? kept->blocks[--kept->count] : nullptr;
}

bool keepBlock(void* block) {
  KeptBlocks* kept = keptBlocks;
  if (kept == nullptr) {
    if (keptBlocksEnded) return false;
    kept = new (std::nothrow) KeptBlocks;
    if (kept == nullptr) return false;
    keptBlocks = kept;
    [[maybe_unused]] BlocksReturned* made = &blocksReturned;  // made, to end with the thread
  }
  if (kept->count == KeptBlocks::kKept) return false;
  kept->blocks[kept->count++] = block;
  return true;
}
#endif

}  // namespace

void* CGPath::operator new(std::size_t size) {
#if CG_PATH_KEEPS_BLOCKS
  if (size == sizeof(CGPath)) {
    if (void* block = takeKeptBlock()) return block;
  }
#endif
  return ::operator new(size);
}

void CGPath::operator delete(void* block, [[maybe_unused]] std::size_t size) noexcept {
#if CG_PATH_KEEPS_BLOCKS
  if (size == sizeof(CGPath) && keepBlock(block)) return;
#endif
  ::operator delete(block);
}

// ---- Paths ----

namespace {

// Both coordinates at once, in the order of CGPointApplyAffineTransform (no fused
// multiply-adds, also where the processor has them): the same values.
[[gnu::target_clones("avx2", "default")]] void mapPoints(const CGAffineTransform& t,
                                                         const CGPoint* points, std::size_t count,
                                                         CGPoint* out) {
  using Pair = double __attribute__((vector_size(16)));
  const Pair ab = {t.a, t.b}, cd = {t.c, t.d}, shift = {t.tx, t.ty};
  for (std::size_t i = 0; i < count; ++i) {
    const Pair x = {points[i].x, points[i].x}, y = {points[i].y, points[i].y};
    const Pair mapped = x * ab + y * cd + shift;
    std::memcpy(static_cast<void*>(out + i), &mapped, sizeof mapped);
  }
}

}  // namespace

CGPath::CGPath(const CGPath& other)
    : afterClose_(other.afterClose_),
      first_(other.first_),
      subpathCount_(other.subpathCount_),
      more_(other.more_) {
  growTo(other.pointCount_);
  if (other.pointCount_ > 0)
    std::memcpy(points_, other.points_, other.pointCount_ * sizeof(CGPoint));
  pointCount_ = other.pointCount_;
}

CGPath::~CGPath() {
  if (points_ != inlinePoints_) ::operator delete[](points_);
}

void CGPath::growTo(std::size_t capacity) {
  if (capacity <= pointCapacity_) return;
  // Left unset: only the points written are read.
  auto* grown = static_cast<CGPoint*>(::operator new[](capacity * sizeof(CGPoint)));
  if (pointCount_ > 0) std::memcpy(grown, points_, pointCount_ * sizeof(CGPoint));
  if (points_ != inlinePoints_) ::operator delete[](points_);
  points_ = grown;
  pointCapacity_ = capacity;
}

CGRect CGPath::boundingBox() const {
  if (pointCount_ == 0) return CGRectZero;
  CGFloat x0 = std::numeric_limits<CGFloat>::infinity(), y0 = x0;
  CGFloat x1 = -x0, y1 = -x0;
  for (const CGPoint& p : points()) {
    x0 = std::min(x0, p.x);
    y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x);
    y1 = std::max(y1, p.y);
  }
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

void CGPath::reserve(std::size_t points) {
  const std::size_t needed = pointCount_ + points;
  if (needed > pointCapacity_) growTo(std::max(needed, pointCapacity_ * 2));
}

void CGPath::appendPoint(CGPoint point) {
  if (pointCount_ == pointCapacity_) reserve(std::max<std::size_t>(pointCount_, 8));
  points_[pointCount_++] = point;
  ++current().count;
}

void CGPath::beginSubpath(CGPoint point) {
  // A move right after a move replaces it, as on the platform.
  if (subpathCount_ > 0 && current().count == 1 && !current().closed && !afterClose_) {
    points_[pointCount_ - 1] = point;
    return;
  }
  const CGPathSubpath fresh{pointCount_, 0, false};
  if (subpathCount_ == 0) {
    first_ = fresh;
  } else {
    more_.push_back(fresh);
  }
  ++subpathCount_;
  afterClose_ = false;
  appendPoint(point);
}

void CGPath::moveTo(CGPoint point) {
  beginSubpath(point);
}

void CGPath::lineTo(CGPoint point) {
  if (subpathCount_ == 0) {
    // No current point: the line has nowhere to start, so it becomes one.
    beginSubpath(point);
    return;
  }
  if (afterClose_) {
    const CGPoint start = points_[current().first];
    beginSubpath(start);
  }
  appendPoint(point);
}

void CGPath::addLines(const CGAffineTransform* transform, const CGPoint* points,
                      std::size_t count) {
  if (points == nullptr || count == 0) return;
  // A lone move before the lines is replaced by the new subpath.
  if (subpathCount_ > 0 && current().count == 1 && !current().closed && !afterClose_) {
    --pointCount_;
    current().count = 0;
  } else {
    const CGPathSubpath fresh{pointCount_, 0, false};
    if (subpathCount_ == 0) {
      first_ = fresh;
    } else {
      more_.push_back(fresh);
    }
    ++subpathCount_;
  }
  afterClose_ = false;
  reserve(count);
  CGPoint* out = points_ + pointCount_;
  if (transform == nullptr) {
    // The points as they are, as on the platform (an identity applied would turn an infinite
    // coordinate's partner into a NaN).
    std::copy_n(points, count, out);
  } else {
    mapPoints(*transform, points, count, out);
  }
  pointCount_ += count;
  current().count = count;
}

void CGPath::addRect(const CGAffineTransform* transform, CGRect rect) {
  const CGRect r = CGRectStandardize(rect);
  const CGPoint corners[4] = {{r.origin.x, r.origin.y},
                              {r.origin.x + r.size.width, r.origin.y},
                              {r.origin.x + r.size.width, r.origin.y + r.size.height},
                              {r.origin.x, r.origin.y + r.size.height}};
  addLines(transform, corners, 4);
  closeSubpath();
}

void CGPath::addPath(const CGAffineTransform* transform, const CGPath& other) {
  if (&other == this) {
    // Its own subpaths as they are before the first is added (else they would be added without
    // end, read from storage that growing frees).
    const CGPath before(other);
    addPath(transform, before);
    return;
  }
  for (std::size_t i = 0; i < other.subpathCount(); ++i) {
    const auto pts = other.subpathPoints(i);
    addLines(transform, pts.data(), pts.size());
    if (other.subpath(i).closed) closeSubpath();
  }
}

void CGPath::closeSubpath() {
  if (subpathCount_ == 0 || afterClose_) return;
  current().closed = true;
  afterClose_ = true;
}

CGMutablePathRef CGPathCreateMutable() {
  return new CGPath();
}

CGMutablePathRef CGPathCreateMutableCopy(CGPathRef path) {
  return path != nullptr ? new CGPath(*path) : new CGPath();
}

CGPathRef CGPathCreateCopy(CGPathRef path) {
  return CGPathCreateMutableCopy(path);
}

CGPathRef CGPathCreateWithRect(CGRect rect, const CGAffineTransform* transform) {
  CGPath* path = new CGPath();
  path->addRect(transform, rect);
  return path;
}

CGPathRef CGPathRetain(CGPathRef path) {
  if (path != nullptr) const_cast<CGPath*>(path)->retain();
  return path;
}

void CGPathRelease(CGPathRef path) {
  if (path != nullptr) const_cast<CGPath*>(path)->release();
}

void CGPathMoveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y) {
  if (path == nullptr) return;
  const CGPoint p{x, y};
  path->moveTo(m != nullptr ? CGPointApplyAffineTransform(p, *m) : p);
}

void CGPathAddLineToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y) {
  if (path == nullptr) return;
  const CGPoint p{x, y};
  path->lineTo(m != nullptr ? CGPointApplyAffineTransform(p, *m) : p);
}

void CGPathAddLines(CGMutablePathRef path, const CGAffineTransform* m, const CGPoint* points,
                    std::size_t count) {
  if (path != nullptr) path->addLines(m, points, count);
}

void CGPathAddRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect) {
  if (path != nullptr) path->addRect(m, rect);
}

void CGPathAddPath(CGMutablePathRef path, const CGAffineTransform* m, CGPathRef other) {
  if (path != nullptr && other != nullptr) path->addPath(m, *other);
}

void CGPathCloseSubpath(CGMutablePathRef path) {
  if (path != nullptr) path->closeSubpath();
}

bool CGPathIsEmpty(CGPathRef path) {
  return path == nullptr || path->isEmpty();
}

bool CGPathEqualToPath(CGPathRef path1, CGPathRef path2) {
  if (path1 == path2) return true;
  if (path1 == nullptr || path2 == nullptr) return false;
  const auto points1 = path1->points(), points2 = path2->points();
  if (path1->subpathCount() != path2->subpathCount() ||
      !std::equal(points1.begin(), points1.end(), points2.begin(), points2.end()))
    return false;
  for (std::size_t i = 0; i < path1->subpathCount(); ++i) {
    const CGPathSubpath a = path1->subpath(i), b = path2->subpath(i);
    if (a.first != b.first || a.count != b.count || a.closed != b.closed) return false;
  }
  return true;
}

CGRect CGPathGetBoundingBox(CGPathRef path) {
  return path != nullptr ? path->boundingBox() : CGRectZero;
}
