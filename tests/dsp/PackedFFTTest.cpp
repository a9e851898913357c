// The packed real FFT against a plain DFT in double precision.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "Accelerate/Accelerate.h"

namespace {

struct Block {
  std::vector<float> samples;
  std::vector<float> re, im;
  DSPSplitComplex split;

  explicit Block(std::size_t m, unsigned seed) : samples(m), re(m / 2), im(m / 2) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (float& s : samples) s = value(random);
    split = {re.data(), im.data()};
    vDSP_ctoz(reinterpret_cast<const DSPComplex*>(samples.data()), 2, &split, 1, m / 2);
  }
};

std::complex<double> plainDft(const std::vector<float>& x, std::size_t bin) {
  const std::size_t m = x.size();
  std::complex<double> sum = 0;
  for (std::size_t n = 0; n < m; ++n) {
    const double angle =
        -2.0 * std::numbers::pi * static_cast<double>((bin * n) % m) / static_cast<double>(m);
    sum += static_cast<double>(x[n]) * std::polar(1.0, angle);
  }
  return sum;
}

// The bins to check: all of them for small sizes, a spread sample for large ones.
std::vector<std::size_t> binsToCheck(std::size_t m) {
  std::vector<std::size_t> bins;
  const std::size_t half = m / 2;
  if (m <= 1024) {
    for (std::size_t k = 1; k < half; ++k) bins.push_back(k);
  } else {
    for (std::size_t k :
         {std::size_t{1}, std::size_t{2}, std::size_t{3}, half / 3, half / 2, half - 2, half - 1}) {
      bins.push_back(k);
    }
  }
  return bins;
}

class PackedFFT : public ::testing::TestWithParam<vDSP_Length> {
 protected:
  void SetUp() override { setup_ = vDSP_create_fftsetup(17, FFT_RADIX2); }
  void TearDown() override { vDSP_destroy_fftsetup(setup_); }
  double tolerance(std::size_t m) const {
    return 1e-5 * std::sqrt(static_cast<double>(m)) * static_cast<double>(GetParam() + 1);
  }
  FFTSetup setup_ = nullptr;
};

TEST_P(PackedFFT, ForwardIsTwiceThePlainSumInPackedPairs) {
  const vDSP_Length log2n = GetParam();
  const std::size_t m = std::size_t{1} << log2n;
  Block block(m, static_cast<unsigned>(log2n));
  vDSP_fft_zrip(setup_, &block.split, 1, log2n, FFT_FORWARD);

  const double tol = tolerance(m);
  EXPECT_NEAR(block.re[0], 2.0 * plainDft(block.samples, 0).real(), tol) << "DC";
  EXPECT_NEAR(block.im[0], 2.0 * plainDft(block.samples, m / 2).real(), tol) << "Nyquist";
  for (std::size_t k : binsToCheck(m)) {
    const std::complex<double> expected = 2.0 * plainDft(block.samples, k);
    EXPECT_NEAR(block.re[k], expected.real(), tol) << "bin " << k;
    EXPECT_NEAR(block.im[k], expected.imag(), tol) << "bin " << k;
  }
}

TEST_P(PackedFFT, ForwardThenInverseGivesTwiceMTimesTheInput) {
  const vDSP_Length log2n = GetParam();
  const std::size_t m = std::size_t{1} << log2n;
  Block block(m, 100 + static_cast<unsigned>(log2n));
  vDSP_fft_zrip(setup_, &block.split, 1, log2n, FFT_FORWARD);
  vDSP_fft_zrip(setup_, &block.split, 1, log2n, FFT_INVERSE);

  std::vector<float> back(m);
  vDSP_ztoc(&block.split, 1, reinterpret_cast<DSPComplex*>(back.data()), 2, m / 2);
  const double scale = 2.0 * static_cast<double>(m);
  for (std::size_t n = 0; n < m; ++n) {
    ASSERT_NEAR(back[n] / scale, block.samples[n], 1e-5 * (log2n + 1)) << "sample " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PackedFFT, ::testing::Range<vDSP_Length>(1, 18),
                         [](const auto& info) {
                           std::string name = "M";
                           name += std::to_string(1u << info.param);
                           return name;
                         });

TEST(PackedFFTStrides, StridedPairsTransformLikeContiguousOnes) {
  FFTSetup setup = vDSP_create_fftsetup(4, FFT_RADIX2);
  Block block(16, 7);
  std::vector<float> re(16, -9.0f), im(16, -9.0f);
  for (std::size_t k = 0; k < 8; ++k) {
    re[2 * k] = block.re[k];
    im[2 * k] = block.im[k];
  }
  DSPSplitComplex strided{re.data(), im.data()};
  vDSP_fft_zrip(setup, &block.split, 1, 4, FFT_FORWARD);
  vDSP_fft_zrip(setup, &strided, 2, 4, FFT_FORWARD);
  for (std::size_t k = 0; k < 8; ++k) {
    EXPECT_FLOAT_EQ(re[2 * k], block.re[k]);
    EXPECT_FLOAT_EQ(im[2 * k], block.im[k]);
    EXPECT_EQ(re[2 * k + 1], -9.0f) << "a value between the strided pairs was touched";
  }
  vDSP_destroy_fftsetup(setup);
}

TEST(PackedFFTStrides, SizeBeyondTheSetupOrNoSetupLeavesTheDataAlone) {
  FFTSetup setup = vDSP_create_fftsetup(3, FFT_RADIX2);
  Block block(16, 3);
  const std::vector<float> before = block.re;
  vDSP_fft_zrip(setup, &block.split, 1, 4, FFT_FORWARD);
  vDSP_fft_zrip(nullptr, &block.split, 1, 4, FFT_FORWARD);
  EXPECT_EQ(block.re, before);
  vDSP_destroy_fftsetup(setup);
  EXPECT_EQ(vDSP_create_fftsetup(4, 1), nullptr) << "only radix 2 is offered";
}

}  // namespace
