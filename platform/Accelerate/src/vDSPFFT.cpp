// The packed real FFT on FFTW. A setup plans every size once (forward r2c and inverse c2r on
// its own aligned scratch), from the plans measured when the library was built where they
// apply, so a transform only gathers the packed pairs, runs the plan and scatters the result.

#include <fftw3.h>

#include <mutex>
#include <vector>

#include "Accelerate/vDSP.h"
#include "FFTPlanning.h"
#include "WideVectors.h"

extern const char kMeasuredFFTWisdom[];

struct OpaqueFFTSetup {
  vDSP_Length log2n = 0;
  float* real = nullptr;              // M floats
  fftwf_complex* spectrum = nullptr;  // M/2 + 1 bins
  std::vector<fftwf_plan> forward;    // index = log2 size
  std::vector<fftwf_plan> inverse;
};

namespace {

// FFTW's planner is not thread-safe; plans themselves may run concurrently.
std::mutex& plannerLock() {
  static std::mutex lock;
  return lock;
}

constexpr vDSP_Length kLargestLog2 = 24;

// With the planner's lock held. Wisdom from another machine (or none) only leaves the
// estimated plans.
void importMeasuredPlansOnce() {
  static const bool imported = fftwf_import_wisdom_from_string(kMeasuredFFTWisdom) != 0;
  (void)imported;
}

// The measured plan where the wisdom has one, else an estimated one: a setup never measures.
template <class Plan>
fftwf_plan measuredOrEstimated(Plan plan) {
  fftwf_plan measured = plan(accelerate::kMeasuredFlags | FFTW_WISDOM_ONLY);
  return measured != nullptr ? measured : plan(accelerate::kEstimatedFlags);
}

}  // namespace

FFTSetup vDSP_create_fftsetup(vDSP_Length log2n, FFTRadix radix) {
  if (radix != kFFTRadix2 || log2n > kLargestLog2) return nullptr;
  auto* setup = new OpaqueFFTSetup();
  setup->log2n = log2n;
  const std::size_t m = std::size_t{1} << log2n;
  setup->real = fftwf_alloc_real(m);
  setup->spectrum = fftwf_alloc_complex(m / 2 + 1);
  setup->forward.assign(log2n + 1, nullptr);
  setup->inverse.assign(log2n + 1, nullptr);
  std::lock_guard guard(plannerLock());
  importMeasuredPlansOnce();
  for (vDSP_Length size = 1; size <= log2n; ++size) {
    const int points = 1 << size;
    setup->forward[size] = measuredOrEstimated([&](unsigned flags) {
      return accelerate::planForward(points, setup->real, setup->spectrum, flags);
    });
    setup->inverse[size] = measuredOrEstimated([&](unsigned flags) {
      return accelerate::planInverse(points, setup->spectrum, setup->real, flags);
    });
  }
  return setup;
}

void vDSP_destroy_fftsetup(FFTSetup setup) {
  if (setup == nullptr) return;
  {
    std::lock_guard guard(plannerLock());
    for (fftwf_plan plan : setup->forward) {
      if (plan != nullptr) fftwf_destroy_plan(plan);
    }
    for (fftwf_plan plan : setup->inverse) {
      if (plan != nullptr) fftwf_destroy_plan(plan);
    }
  }
  fftwf_free(setup->real);
  fftwf_free(setup->spectrum);
  delete setup;
}

namespace {

// Interleaved floats back into split pairs (each array written with `stride`), doubled as the
// packed forward transform scales: a stride-1 loop of its own vectorises.
VDSP_WIDE_VECTORS void deinterleaveDoubled(const float* __restrict in, std::size_t pairs, float* re,
                                           float* im, vDSP_Stride stride) {
  if (stride == 1) {
    for (std::size_t k = 0; k < pairs; ++k) {
      re[k] = 2.0f * in[2 * k];
      im[k] = 2.0f * in[2 * k + 1];
    }
    return;
  }
  for (std::size_t k = 0; k < pairs; ++k) {
    re[k * stride] = 2.0f * in[2 * k];
    im[k * stride] = 2.0f * in[2 * k + 1];
  }
}

void forwardTransform(FFTSetup setup, const DSPSplitComplex* c, vDSP_Stride stride,
                      vDSP_Length log2n) {
  const std::size_t half = std::size_t{1} << (log2n - 1);
  vDSP_ztoc(c, stride, reinterpret_cast<DSPComplex*>(setup->real), 2, half);
  fftwf_execute(setup->forward[log2n]);
  const float* bins = &setup->spectrum[0][0];
  const float nyquist = bins[2 * half];
  deinterleaveDoubled(bins, half, c->realp, c->imagp, stride);
  c->imagp[0] = 2.0f * nyquist;
}

void inverseTransform(FFTSetup setup, const DSPSplitComplex* c, vDSP_Stride stride,
                      vDSP_Length log2n) {
  const std::size_t half = std::size_t{1} << (log2n - 1);
  float* bins = &setup->spectrum[0][0];
  vDSP_ztoc(c, stride, reinterpret_cast<DSPComplex*>(bins), 2, half);
  bins[1] = 0;  // DC and Nyquist are real; the Nyquist term travels in im[0]
  bins[2 * half] = c->imagp[0];
  bins[2 * half + 1] = 0;
  fftwf_execute(setup->inverse[log2n]);
  vDSP_ctoz(reinterpret_cast<const DSPComplex*>(setup->real), 2, c, stride, half);
}

}  // namespace

void vDSP_fft_zrip(FFTSetup setup, const DSPSplitComplex* c, vDSP_Stride stride, vDSP_Length log2n,
                   FFTDirection direction) {
  if (setup == nullptr || c == nullptr || log2n == 0 || log2n > setup->log2n || stride < 1) {
    return;
  }
  if (direction == kFFTDirection_Forward) {
    forwardTransform(setup, c, stride, log2n);
  } else if (direction == kFFTDirection_Inverse) {
    inverseTransform(setup, c, stride, log2n);
  }
}
