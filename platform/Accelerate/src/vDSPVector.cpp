// The element-wise and reducing operations: plain loops the compiler vectorises for stride 1
// (each has a stride-1 loop of its own, as strided accesses keep the vectoriser out).

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "Accelerate/vDSP.h"
#include "WideVectors.h"

VDSP_WIDE_VECTORS void vDSP_ctoz(const DSPComplex* c, vDSP_Stride ic, const DSPSplitComplex* z,
                                 vDSP_Stride iz, vDSP_Length n) {
  const float* in = reinterpret_cast<const float*>(c);
  float* re = z->realp;
  float* im = z->imagp;
  if (ic == 2 && iz == 1) {
    // Consecutive pairs into contiguous arrays: constant strides let the loop vectorise.
    for (vDSP_Length k = 0; k < n; ++k) {
      re[k] = in[2 * k];
      im[k] = in[2 * k + 1];
    }
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) {
    re[k * iz] = in[k * ic];
    im[k * iz] = in[k * ic + 1];
  }
}

VDSP_WIDE_VECTORS void vDSP_ztoc(const DSPSplitComplex* z, vDSP_Stride iz, DSPComplex* c,
                                 vDSP_Stride ic, vDSP_Length n) {
  float* out = reinterpret_cast<float*>(c);
  const float* re = z->realp;
  const float* im = z->imagp;
  if (iz == 1 && ic == 2) {
    for (vDSP_Length k = 0; k < n; ++k) {
      out[2 * k] = re[k];
      out[2 * k + 1] = im[k];
    }
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) {
    out[k * ic] = re[k * iz];
    out[k * ic + 1] = im[k * iz];
  }
}

namespace {

// √(re² + im²) in double: a float's square is exact there and the sum can neither overflow nor
// underflow, so this rounds as hypot does, in a loop the vectoriser takes (hypot is a call).
inline float magnitude(float re, float im) {
  const double r = re;
  const double i = im;
  return static_cast<float>(std::sqrt(r * r + i * i));
}

}  // namespace

VDSP_WIDE_VECTORS void vDSP_zvabs(const DSPSplitComplex* a, vDSP_Stride ia, float* c,
                                  vDSP_Stride ic, vDSP_Length n) {
  const float* re = a->realp;
  const float* im = a->imagp;
  if (ia != 1) {
    for (vDSP_Length k = 0; k < n; ++k) c[k * ic] = magnitude(re[k * ia], im[k * ia]);
    return;
  }
  if (ic == 1) {
    for (vDSP_Length k = 0; k < n; ++k) c[k] = magnitude(re[k], im[k]);
    return;
  }
  // A strided output: the magnitudes of a block computed together, then stored one by one.
  constexpr vDSP_Length kBlock = 256;
  float block[kBlock];
  for (vDSP_Length start = 0; start < n; start += kBlock) {
    const vDSP_Length count = n - start < kBlock ? n - start : kBlock;
    for (vDSP_Length k = 0; k < count; ++k) block[k] = magnitude(re[start + k], im[start + k]);
    for (vDSP_Length k = 0; k < count; ++k) c[(start + k) * ic] = block[k];
  }
}

void vDSP_zvfill(const DSPSplitComplex* a, const DSPSplitComplex* c, vDSP_Stride ic,
                 vDSP_Length n) {
  const float re = a->realp[0];
  const float im = a->imagp[0];
  if (ic == 1) {
    std::fill_n(c->realp, n, re);
    std::fill_n(c->imagp, n, im);
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) {
    c->realp[k * ic] = re;
    c->imagp[k * ic] = im;
  }
}

VDSP_WIDE_VECTORS void vDSP_vmul(const float* a, vDSP_Stride ia, const float* b, vDSP_Stride ib,
                                 float* c, vDSP_Stride ic, vDSP_Length n) {
  if (ia == 1 && ib == 1 && ic == 1) {
    for (vDSP_Length k = 0; k < n; ++k) c[k] = a[k] * b[k];
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) c[k * ic] = a[k * ia] * b[k * ib];
}

VDSP_WIDE_VECTORS void vDSP_vsmul(const float* a, vDSP_Stride ia, const float* b, float* c,
                                  vDSP_Stride ic, vDSP_Length n) {
  const float s = *b;
  if (ia == 1 && ic == 1) {
    for (vDSP_Length k = 0; k < n; ++k) c[k] = a[k] * s;
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) c[k * ic] = a[k * ia] * s;
}

VDSP_WIDE_VECTORS void vDSP_vsmsa(const float* a, vDSP_Stride ia, const float* b, const float* c,
                                  float* d, vDSP_Stride id, vDSP_Length n) {
  const float scale = *b;
  const float add = *c;
  if (ia == 1 && id == 1) {
    for (vDSP_Length k = 0; k < n; ++k) d[k] = a[k] * scale + add;
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) d[k * id] = a[k * ia] * scale + add;
}

namespace {

// One of two bit patterns by a mask rather than a branch: with a branch the compiler moves the
// computing of the unused value inside it, and a float operation that may trap stops the loop
// from vectorising.
inline std::uint32_t pick(bool condition, std::uint32_t whenTrue, std::uint32_t whenFalse) {
  const std::uint32_t mask = 0u - static_cast<std::uint32_t>(condition);
  return (whenTrue & mask) | (whenFalse & ~mask);
}

// ln(x) for every float, in straight-line code the vectoriser takes whole: the exponent and the
// mantissa in √½ … √2 from the bits, then the minimax polynomial of ln(1 + f) (within 2 ulp of
// the C library's). Zero gives minus infinity, a negative value or NaN gives NaN, +∞ gives +∞.
inline float naturalLog(float x) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  const std::uint32_t magnitude = bits & 0x7fffffffu;
  const bool subnormal = magnitude < 0x00800000u;
  // 2^23 lifts a subnormal to a normal.
  const std::uint32_t normal = pick(subnormal, std::bit_cast<std::uint32_t>(x * 8388608.0f), bits);
  const std::uint32_t mantissa = normal & 0x007fffffu;
  const bool high = mantissa > 0x003504f3u;  // above √2
  const int exponent = static_cast<int>((normal >> 23) & 0xffu) - 127 -
                       static_cast<int>(pick(subnormal, 23, 0)) + static_cast<int>(high);
  // 1 … √2, or ½ … √½ for the mantissas above √2.
  const float m = std::bit_cast<float>(mantissa | pick(high, 0x3f000000u, 0x3f800000u));
  const float f = m - 1.0f;
  const float z = f * f;
  float y = 7.0376836292e-2f;
  y = y * f - 1.1514610310e-1f;
  y = y * f + 1.1676998740e-1f;
  y = y * f - 1.2420140846e-1f;
  y = y * f + 1.4249322787e-1f;
  y = y * f - 1.6668057665e-1f;
  y = y * f + 2.0000714765e-1f;
  y = y * f - 2.4999993993e-1f;
  y = y * f + 3.3333331174e-1f;
  y = y * f * z;
  const float e = static_cast<float>(exponent);
  y += -2.12194440e-4f * e;
  y += -0.5f * z;
  std::uint32_t result = std::bit_cast<std::uint32_t>(f + y + 0.693359375f * e);
  constexpr std::uint32_t kInfinity = 0x7f800000u;
  constexpr std::uint32_t kMinusInfinity = 0xff800000u;
  constexpr std::uint32_t kNotANumber = 0x7fc00000u;
  result = pick(magnitude == kInfinity, kInfinity, result);
  result = pick(magnitude > kInfinity || (bits >> 31) != 0, kNotANumber, result);
  result = pick(magnitude == 0, kMinusInfinity, result);
  return std::bit_cast<float>(result);
}

}  // namespace

VDSP_WIDE_VECTORS void vDSP_vdbcon(const float* a, vDSP_Stride ia, const float* b, float* c,
                                   vDSP_Stride ic, vDSP_Length n, unsigned int flag) {
  const float factor = (flag == 1 ? 20.0f : 10.0f) / std::numbers::ln10_v<float>;
  // A product instead of a quotient per value: a division costs as much as the logarithm.
  const float inverse = 1.0f / *b;
  if (ia == 1 && ic == 1) {
    for (vDSP_Length k = 0; k < n; ++k) c[k] = factor * naturalLog(a[k] * inverse);
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) c[k * ic] = factor * naturalLog(a[k * ia] * inverse);
}

VDSP_WIDE_VECTORS void vDSP_vclip(const float* a, vDSP_Stride ia, const float* low,
                                  const float* high, float* d, vDSP_Stride id, vDSP_Length n) {
  const float lo = *low;
  const float hi = *high;
  if (ia == 1 && id == 1) {
    for (vDSP_Length k = 0; k < n; ++k) {
      const float v = a[k];
      d[k] = v < lo ? lo : (v > hi ? hi : v);
    }
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) {
    const float v = a[k * ia];
    d[k * id] = v < lo ? lo : (v > hi ? hi : v);
  }
}

void vDSP_vabs(const float* a, vDSP_Stride ia, float* c, vDSP_Stride ic, vDSP_Length n) {
  if (ia == 1 && ic == 1) {
    for (vDSP_Length k = 0; k < n; ++k) c[k] = std::fabs(a[k]);
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) c[k * ic] = std::fabs(a[k * ia]);
}

void vDSP_sve(const float* a, vDSP_Stride ia, float* c, vDSP_Length n) {
  if (ia == 1) {
    // Sixteen running sums, so that the adds do not wait on each other (and vectorise).
    constexpr vDSP_Length kLanes = 16;
    if (n < kLanes) {
      // Too short for a lane: the same adds in the same order, less the lanes' setting up (their
      // zeros change no sum that starts from +0).
      float sum = 0;
      for (vDSP_Length k = 0; k < n; ++k) sum += a[k];
      *c = sum;
      return;
    }
    float lanes[kLanes] = {};
    vDSP_Length k = 0;
    for (; k + kLanes <= n; k += kLanes) {
      for (vDSP_Length j = 0; j < kLanes; ++j) lanes[j] += a[k + j];
    }
    float sum = 0;
    for (; k < n; ++k) sum += a[k];
    for (float lane : lanes) sum += lane;
    *c = sum;
    return;
  }
  float sum = 0;
  for (vDSP_Length k = 0; k < n; ++k) sum += a[k * ia];
  *c = sum;
}

void vDSP_maxv(const float* a, vDSP_Stride ia, float* c, vDSP_Length n) {
  float best = -std::numeric_limits<float>::infinity();
  for (vDSP_Length k = 0; k < n; ++k) {
    if (a[k * ia] > best) best = a[k * ia];
  }
  *c = best;
}

void vDSP_vswsum(const float* a, vDSP_Stride ia, float* c, vDSP_Stride ic, vDSP_Length n,
                 vDSP_Length p) {
  if (n == 0) return;
  // A running sum in double keeps the drift of add-one-drop-one far below float resolution.
  double sum = 0;
  for (vDSP_Length k = 0; k < p; ++k) sum += a[k * ia];
  c[0] = static_cast<float>(sum);
  for (vDSP_Length i = 1; i < n; ++i) {
    sum += static_cast<double>(a[(i + p - 1) * ia]) - static_cast<double>(a[(i - 1) * ia]);
    c[i * ic] = static_cast<float>(sum);
  }
}

void vDSP_hamm_window(float* c, vDSP_Length n, int flag) {
  if (n == 0) return;
  const vDSP_Length count = (flag & vDSP_HALF_WINDOW) != 0 ? (n + 1) / 2 : n;
  const double step = 2.0 * std::numbers::pi / static_cast<double>(n);
  for (vDSP_Length k = 0; k < count; ++k) {
    c[k] = static_cast<float>(0.54 - 0.46 * std::cos(step * static_cast<double>(k)));
  }
}
