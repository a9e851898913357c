// The element-wise and reducing operations: plain loops the compiler vectorises for stride 1.

#include <cmath>
#include <limits>
#include <numbers>

#include "Accelerate/vDSP.h"

void vDSP_ctoz(const DSPComplex* c, vDSP_Stride ic, const DSPSplitComplex* z, vDSP_Stride iz,
               vDSP_Length n) {
  const float* in = reinterpret_cast<const float*>(c);
  float* re = z->realp;
  float* im = z->imagp;
  for (vDSP_Length k = 0; k < n; ++k) {
    re[k * iz] = in[k * ic];
    im[k * iz] = in[k * ic + 1];
  }
}

void vDSP_ztoc(const DSPSplitComplex* z, vDSP_Stride iz, DSPComplex* c, vDSP_Stride ic,
               vDSP_Length n) {
  float* out = reinterpret_cast<float*>(c);
  const float* re = z->realp;
  const float* im = z->imagp;
  for (vDSP_Length k = 0; k < n; ++k) {
    out[k * ic] = re[k * iz];
    out[k * ic + 1] = im[k * iz];
  }
}

void vDSP_zvabs(const DSPSplitComplex* a, vDSP_Stride ia, float* c, vDSP_Stride ic, vDSP_Length n) {
  for (vDSP_Length k = 0; k < n; ++k) c[k * ic] = std::hypot(a->realp[k * ia], a->imagp[k * ia]);
}

void vDSP_zvfill(const DSPSplitComplex* a, const DSPSplitComplex* c, vDSP_Stride ic,
                 vDSP_Length n) {
  const float re = a->realp[0];
  const float im = a->imagp[0];
  for (vDSP_Length k = 0; k < n; ++k) {
    c->realp[k * ic] = re;
    c->imagp[k * ic] = im;
  }
}

void vDSP_vmul(const float* a, vDSP_Stride ia, const float* b, vDSP_Stride ib, float* c,
               vDSP_Stride ic, vDSP_Length n) {
  if (ia == 1 && ib == 1 && ic == 1) {
    for (vDSP_Length k = 0; k < n; ++k) c[k] = a[k] * b[k];
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) c[k * ic] = a[k * ia] * b[k * ib];
}

void vDSP_vsmul(const float* a, vDSP_Stride ia, const float* b, float* c, vDSP_Stride ic,
                vDSP_Length n) {
  const float s = *b;
  if (ia == 1 && ic == 1) {
    for (vDSP_Length k = 0; k < n; ++k) c[k] = a[k] * s;
    return;
  }
  for (vDSP_Length k = 0; k < n; ++k) c[k * ic] = a[k * ia] * s;
}

void vDSP_vsmsa(const float* a, vDSP_Stride ia, const float* b, const float* c, float* d,
                vDSP_Stride id, vDSP_Length n) {
  const float scale = *b;
  const float add = *c;
  for (vDSP_Length k = 0; k < n; ++k) d[k * id] = a[k * ia] * scale + add;
}

void vDSP_vdbcon(const float* a, vDSP_Stride ia, const float* b, float* c, vDSP_Stride ic,
                 vDSP_Length n, unsigned int flag) {
  const float factor = flag == 1 ? 20.0f : 10.0f;
  const float reference = *b;
  for (vDSP_Length k = 0; k < n; ++k) c[k * ic] = factor * std::log10(a[k * ia] / reference);
}

void vDSP_vclip(const float* a, vDSP_Stride ia, const float* low, const float* high, float* d,
                vDSP_Stride id, vDSP_Length n) {
  const float lo = *low;
  const float hi = *high;
  for (vDSP_Length k = 0; k < n; ++k) {
    const float v = a[k * ia];
    d[k * id] = v < lo ? lo : (v > hi ? hi : v);
  }
}

void vDSP_vabs(const float* a, vDSP_Stride ia, float* c, vDSP_Stride ic, vDSP_Length n) {
  for (vDSP_Length k = 0; k < n; ++k) c[k * ic] = std::fabs(a[k * ia]);
}

void vDSP_sve(const float* a, vDSP_Stride ia, float* c, vDSP_Length n) {
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
