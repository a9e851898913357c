// The packed real FFT beside a bare FFTW real transform of the same size, in the same run.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <vector>

#include "Accelerate/Accelerate.h"

namespace {

void BM_Dsp_FFT_Packed(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const auto log2n = static_cast<vDSP_Length>(std::log2(static_cast<double>(m)));
  FFTSetup setup = vDSP_create_fftsetup(17, FFT_RADIX2);
  std::vector<float> re(m / 2), im(m / 2);
  for (std::size_t k = 0; k < m / 2; ++k) {
    re[k] = std::sin(0.01f * k);
    im[k] = std::cos(0.013f * k);
  }
  DSPSplitComplex split{re.data(), im.data()};
  for (auto _ : state) {
    vDSP_fft_zrip(setup, &split, 1, log2n, FFT_FORWARD);
    benchmark::DoNotOptimize(re.data());
    benchmark::ClobberMemory();
  }
  vDSP_destroy_fftsetup(setup);
}

void BM_Dsp_FFT_BareFFTW(benchmark::State& state) {
  const auto m = static_cast<int>(state.range(0));
  float* in = fftwf_alloc_real(m);
  fftwf_complex* out = fftwf_alloc_complex(m / 2 + 1);
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(m, in, out, FFTW_ESTIMATE);
  for (int k = 0; k < m; ++k) in[k] = std::sin(0.01f * k);
  for (auto _ : state) {
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
}

void BM_Dsp_FFT_Inverse(benchmark::State& state) {
  const auto m = static_cast<std::size_t>(state.range(0));
  const auto log2n = static_cast<vDSP_Length>(std::log2(static_cast<double>(m)));
  FFTSetup setup = vDSP_create_fftsetup(17, FFT_RADIX2);
  std::vector<float> re(m / 2, 0.25f), im(m / 2, -0.5f);
  DSPSplitComplex split{re.data(), im.data()};
  for (auto _ : state) {
    vDSP_fft_zrip(setup, &split, 1, log2n, FFT_INVERSE);
    benchmark::DoNotOptimize(re.data());
    benchmark::ClobberMemory();
  }
  vDSP_destroy_fftsetup(setup);
}

void BM_Dsp_CreateSetup(benchmark::State& state) {
  for (auto _ : state) {
    FFTSetup setup = vDSP_create_fftsetup(17, FFT_RADIX2);
    benchmark::DoNotOptimize(setup);
    vDSP_destroy_fftsetup(setup);
  }
}

BENCHMARK(BM_Dsp_FFT_Packed)->Arg(4096)->Arg(16384)->Arg(65536);
BENCHMARK(BM_Dsp_FFT_BareFFTW)->Arg(4096)->Arg(16384)->Arg(65536);
BENCHMARK(BM_Dsp_FFT_Inverse)->Arg(4096)->Arg(16384)->Arg(65536);
BENCHMARK(BM_Dsp_CreateSetup)->Unit(benchmark::kMillisecond);

}  // namespace
