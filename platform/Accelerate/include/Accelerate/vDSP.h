#pragma once
// vDSP: single-precision vector operations with the platform's signatures. Strides count
// elements of the array they apply to (floats, or floats of each split array); the interleaved
// side of vDSP_ctoz / vDSP_ztoc counts floats, so 2 reads consecutive pairs.
//
// The packed real FFT (vDSP_fft_zrip) of M = 2^log2n samples held as M/2 pairs (even samples
// in realp, odd in imagp): forward leaves DC in realp[0], Nyquist in imagp[0] and bin k in
// pair k, every value twice the plain DFT sum of x[m]·e^(−2πikm/M); the inverse takes the same
// packed form and sums without 1/M, so forward then inverse gives 2M times the input.

#include <cstddef>

using vDSP_Length = unsigned long;
using vDSP_Stride = long;

struct DSPComplex {
  float real;
  float imag;
};

struct DSPSplitComplex {
  float* realp;
  float* imagp;
};

using FFTDirection = int;
using FFTRadix = int;

inline constexpr FFTDirection kFFTDirection_Forward = +1;
inline constexpr FFTDirection kFFTDirection_Inverse = -1;
inline constexpr FFTDirection FFT_FORWARD = kFFTDirection_Forward;
inline constexpr FFTDirection FFT_INVERSE = kFFTDirection_Inverse;
inline constexpr FFTRadix kFFTRadix2 = 0;
inline constexpr FFTRadix FFT_RADIX2 = kFFTRadix2;

inline constexpr int vDSP_HANN_DENORM = 0;
inline constexpr int vDSP_HALF_WINDOW = 1;

struct OpaqueFFTSetup;
using FFTSetup = OpaqueFFTSetup*;

// A setup for every real FFT of 2^1 … 2^log2n points: plans and scratch are made here, so a
// transform never plans or allocates. Null for another radix or a size beyond 2^24.
FFTSetup vDSP_create_fftsetup(vDSP_Length log2n, FFTRadix radix);
void vDSP_destroy_fftsetup(FFTSetup setup);

// In place on `c` (stride in floats of each split array). A size beyond the setup's, a null
// setup or another direction leaves the data alone.
void vDSP_fft_zrip(FFTSetup setup, const DSPSplitComplex* c, vDSP_Stride stride, vDSP_Length log2n,
                   FFTDirection direction);

void vDSP_ctoz(const DSPComplex* c, vDSP_Stride ic, const DSPSplitComplex* z, vDSP_Stride iz,
               vDSP_Length n);
void vDSP_ztoc(const DSPSplitComplex* z, vDSP_Stride iz, DSPComplex* c, vDSP_Stride ic,
               vDSP_Length n);
// c = √(re² + im²) per pair.
void vDSP_zvabs(const DSPSplitComplex* a, vDSP_Stride ia, float* c, vDSP_Stride ic, vDSP_Length n);
// Every pair of c set to a's first pair.
void vDSP_zvfill(const DSPSplitComplex* a, const DSPSplitComplex* c, vDSP_Stride ic, vDSP_Length n);

void vDSP_vmul(const float* a, vDSP_Stride ia, const float* b, vDSP_Stride ib, float* c,
               vDSP_Stride ic, vDSP_Length n);
void vDSP_vsmul(const float* a, vDSP_Stride ia, const float* b, float* c, vDSP_Stride ic,
                vDSP_Length n);
// d = a·b + c with scalars b and c.
void vDSP_vsmsa(const float* a, vDSP_Stride ia, const float* b, const float* c, float* d,
                vDSP_Stride id, vDSP_Length n);
// c = 20·log10(a / b) with flag 1 (amplitude), 10·log10(a / b) with flag 0 (power); a zero
// gives minus infinity.
void vDSP_vdbcon(const float* a, vDSP_Stride ia, const float* b, float* c, vDSP_Stride ic,
                 vDSP_Length n, unsigned int flag);
// d = each value limited to low … high.
void vDSP_vclip(const float* a, vDSP_Stride ia, const float* low, const float* high, float* d,
                vDSP_Stride id, vDSP_Length n);
void vDSP_vabs(const float* a, vDSP_Stride ia, float* c, vDSP_Stride ic, vDSP_Length n);
// *c = the sum (0 for no values).
void vDSP_sve(const float* a, vDSP_Stride ia, float* c, vDSP_Length n);
// *c = the largest value, signed (minus infinity for no values).
void vDSP_maxv(const float* a, vDSP_Stride ia, float* c, vDSP_Length n);
// c[i] = a[i] + … + a[i + p − 1] for i below n: reads n + p − 1 values.
void vDSP_vswsum(const float* a, vDSP_Stride ia, float* c, vDSP_Stride ic, vDSP_Length n,
                 vDSP_Length p);
// Hamming window of length n, w[k] = 0.54 − 0.46·cos(2πk/n): the full window with flag 0
// (w[0] = 0.08, w[n/2] = 1), only its first (n + 1)/2 values with vDSP_HALF_WINDOW.
void vDSP_hamm_window(float* c, vDSP_Length n, int flag);
