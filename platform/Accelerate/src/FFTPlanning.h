#pragma once
// How a setup plans its transforms, shared with the build step that measures them: FFTW's
// measured plans run the large transforms in about 60 % of the time of its estimated ones, but
// measuring every size takes seconds, so the build measures once and a setup plans from that
// wisdom, falling back to estimated plans for what it does not cover.

#include <fftw3.h>

namespace accelerate {

// Every setup of the plots plans up to 2^17 points; the wisdom covers 2^1 … 2^17.
inline constexpr unsigned kMeasuredLargestLog2 = 17;
inline constexpr unsigned kMeasuredFlags = FFTW_MEASURE | FFTW_DESTROY_INPUT;
inline constexpr unsigned kEstimatedFlags = FFTW_ESTIMATE | FFTW_DESTROY_INPUT;

// The transforms of one size as a setup makes them: out of place between FFTW's aligned arrays.
inline fftwf_plan planForward(int points, float* real, fftwf_complex* spectrum, unsigned flags) {
  return fftwf_plan_dft_r2c_1d(points, real, spectrum, flags);
}
inline fftwf_plan planInverse(int points, fftwf_complex* spectrum, float* real, unsigned flags) {
  return fftwf_plan_dft_c2r_1d(points, spectrum, real, flags);
}

}  // namespace accelerate
