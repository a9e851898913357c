// The element-wise, reducing and window operations against plain loops.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "Accelerate/Accelerate.h"

namespace {

const std::vector<float> kValues = {0.5f, -1.25f, 3.0f, 0.0f, -0.75f, 2.5f, -4.0f, 1.0f};
constexpr vDSP_Length kCount = 8;

TEST(SplitComplex, CtozSplitsEvenAndOddFloatsAndZtocRestoresThem) {
  std::vector<float> re(4), im(4), back(8, 0.0f);
  DSPSplitComplex split{re.data(), im.data()};
  vDSP_ctoz(reinterpret_cast<const DSPComplex*>(kValues.data()), 2, &split, 1, 4);
  EXPECT_EQ(re, (std::vector<float>{0.5f, 3.0f, -0.75f, -4.0f}));
  EXPECT_EQ(im, (std::vector<float>{-1.25f, 0.0f, 2.5f, 1.0f}));
  vDSP_ztoc(&split, 1, reinterpret_cast<DSPComplex*>(back.data()), 2, 4);
  EXPECT_EQ(back, kValues);
}

TEST(SplitComplex, AbsoluteValuesAndFillWithStrides) {
  std::vector<float> re{3.0f, 0.0f, -5.0f}, im{4.0f, -2.0f, 12.0f};
  DSPSplitComplex split{re.data(), im.data()};
  std::vector<float> magnitudes(6, -1.0f);
  vDSP_zvabs(&split, 1, magnitudes.data(), 2, 3);
  EXPECT_EQ(magnitudes, (std::vector<float>{5.0f, -1.0f, 2.0f, -1.0f, 13.0f, -1.0f}));

  float zeroRe = 0.0f, zeroIm = 0.0f;
  DSPSplitComplex zero{&zeroRe, &zeroIm};
  vDSP_zvfill(&zero, &split, 1, 2);
  EXPECT_EQ(re, (std::vector<float>{0.0f, 0.0f, -5.0f}));
  EXPECT_EQ(im, (std::vector<float>{0.0f, 0.0f, 12.0f}));
}

// Long enough to cross the blocks of a strided output; extremes that a plain float sum of
// squares would overflow or flush to zero.
class Magnitudes : public ::testing::TestWithParam<vDSP_Stride> {};

TEST_P(Magnitudes, FollowHypotForEveryOutputStride) {
  const vDSP_Stride stride = GetParam();
  std::vector<float> re, im;
  for (int i = 0; i < 700; ++i) {
    re.push_back(std::ldexp(static_cast<float>(i % 13) - 6.5f, (i % 61) * 4 - 140));
    im.push_back(std::ldexp(static_cast<float>(i % 7) + 0.25f, (i % 53) * 4 - 130));
  }
  re.insert(re.end(), {3e38f, -2e-45f, 0.0f});
  im.insert(im.end(), {3e38f, 1e-45f, -0.0f});
  DSPSplitComplex split{re.data(), im.data()};
  std::vector<float> out(re.size() * static_cast<std::size_t>(stride), -1.0f);
  vDSP_zvabs(&split, 1, out.data(), stride, re.size());
  for (std::size_t k = 0; k < re.size(); ++k) {
    EXPECT_FLOAT_EQ(out[k * static_cast<std::size_t>(stride)], std::hypot(re[k], im[k])) << k;
    if (stride > 1) {
      EXPECT_EQ(out[k * static_cast<std::size_t>(stride) + 1], -1.0f) << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Strides, Magnitudes, ::testing::Values(1, 2, 3));

TEST(ElementWise, ProductsScalesAndClipsMatchPlainArithmetic) {
  std::vector<float> out(kCount);
  std::vector<float> product = kValues;
  vDSP_vmul(product.data(), 1, kValues.data(), 1, product.data(), 1, kCount);  // in place
  const float two = 2.0f, half = 0.5f, low = -1.0f, high = 1.0f;
  std::vector<float> scaled(kCount), affine(kCount), clipped(kCount), absolute(kCount);
  vDSP_vsmul(kValues.data(), 1, &two, scaled.data(), 1, kCount);
  vDSP_vsmsa(kValues.data(), 1, &two, &half, affine.data(), 1, kCount);
  vDSP_vclip(kValues.data(), 1, &low, &high, clipped.data(), 1, kCount);
  vDSP_vabs(kValues.data(), 1, absolute.data(), 1, kCount);
  for (std::size_t i = 0; i < kCount; ++i) {
    const float v = kValues[i];
    EXPECT_FLOAT_EQ(product[i], v * v);
    EXPECT_FLOAT_EQ(scaled[i], 2.0f * v);
    EXPECT_FLOAT_EQ(affine[i], 2.0f * v + 0.5f);
    EXPECT_FLOAT_EQ(clipped[i], std::fmin(1.0f, std::fmax(-1.0f, v)));
    EXPECT_FLOAT_EQ(absolute[i], std::fabs(v));
  }
  // Strided: every second value of A into every third slot of C.
  std::vector<float> sparse(12, 7.0f);
  vDSP_vsmul(kValues.data(), 2, &two, sparse.data(), 3, 4);
  EXPECT_EQ(sparse, (std::vector<float>{1.0f, 7, 7, 6.0f, 7, 7, -1.5f, 7, 7, -8.0f, 7, 7}));
}

TEST(ElementWise, DecibelsOfZeroAreMinusInfinity) {
  const std::vector<float> levels{1.0f, 10.0f, 0.1f, 0.0f};
  std::vector<float> amplitude(4), power(4);
  const float reference = 1.0f;
  vDSP_vdbcon(levels.data(), 1, &reference, amplitude.data(), 1, 4, 1);
  vDSP_vdbcon(levels.data(), 1, &reference, power.data(), 1, 4, 0);
  EXPECT_FLOAT_EQ(amplitude[0], 0.0f);
  EXPECT_FLOAT_EQ(amplitude[1], 20.0f);
  EXPECT_FLOAT_EQ(amplitude[2], -20.0f);
  EXPECT_EQ(amplitude[3], -std::numeric_limits<float>::infinity());
  EXPECT_FLOAT_EQ(power[1], 10.0f);
  const float ten = 10.0f;
  vDSP_vdbcon(levels.data(), 1, &ten, amplitude.data(), 1, 2, 1);
  EXPECT_FLOAT_EQ(amplitude[0], -20.0f);
  EXPECT_FLOAT_EQ(amplitude[1], 0.0f);
}

TEST(ElementWise, DecibelsFollowTheLibraryLogarithmOverEveryBinade) {
  // Every binade, subnormals included, in place and strided; negatives and NaN give NaN.
  std::vector<float> values;
  for (int exponent = -149; exponent < 128; ++exponent) {
    for (float mantissa : {1.0f, 1.2f, 1.4142f, 1.4143f, 1.9f}) {
      values.push_back(std::ldexp(mantissa, exponent));
    }
  }
  values.insert(values.end(), {std::numeric_limits<float>::infinity(), -0.5f,
                               std::numeric_limits<float>::quiet_NaN(), 0.0f, -0.0f});
  std::vector<float> decibels = values;
  const float reference = 1.0f;
  vDSP_vdbcon(decibels.data(), 1, &reference, decibels.data(), 1, decibels.size(), 1);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const float expected = 20.0f * std::log10(values[i]);
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(decibels[i])) << values[i];
    } else if (std::isinf(expected)) {
      EXPECT_EQ(decibels[i], expected) << values[i];
    } else {
      EXPECT_NEAR(decibels[i], expected, 4e-7 * std::max(1.0f, std::fabs(expected))) << values[i];
    }
  }
  std::vector<float> strided(2 * values.size(), 5.0f);
  vDSP_vdbcon(values.data(), 1, &reference, strided.data(), 2, values.size(), 1);
  EXPECT_EQ(strided[0], decibels[0]);
  EXPECT_EQ(strided[1], 5.0f);
}

TEST(Reductions, SumAndSignedMaximum) {
  float sum = -1.0f, largest = 0.0f;
  vDSP_sve(kValues.data(), 1, &sum, kCount);
  EXPECT_FLOAT_EQ(sum, 1.0f);
  vDSP_maxv(kValues.data(), 1, &largest, kCount);
  EXPECT_FLOAT_EQ(largest, 3.0f);
  const std::vector<float> negative{-3.0f, -0.5f, -7.0f};
  vDSP_maxv(negative.data(), 1, &largest, 3);
  EXPECT_FLOAT_EQ(largest, -0.5f) << "the maximum is signed, not of magnitudes";
  vDSP_sve(kValues.data(), 2, &sum, 4);
  EXPECT_FLOAT_EQ(sum, 0.5f + 3.0f - 0.75f - 4.0f);
  vDSP_sve(kValues.data(), 1, &sum, 0);
  EXPECT_EQ(sum, 0.0f);
  vDSP_maxv(kValues.data(), 1, &largest, 0);
  EXPECT_EQ(largest, -std::numeric_limits<float>::infinity());
}

TEST(Reductions, SlidingWindowSumReadsPMinusOneValuesPastN) {
  std::vector<float> input(1000);
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = std::sin(0.1f * i) + 0.001f * i;
  constexpr vDSP_Length window = 37;
  const vDSP_Length n = input.size() - window + 1;
  std::vector<float> out(n + 1, 123.0f);
  vDSP_vswsum(input.data(), 1, out.data(), 1, n, window);
  for (vDSP_Length i = 0; i < n; ++i) {
    double expected = 0;
    for (vDSP_Length j = 0; j < window; ++j) expected += input[i + j];
    ASSERT_NEAR(out[i], expected, 1e-4) << "window at " << i;
  }
  EXPECT_EQ(out[n], 123.0f) << "wrote past N outputs";
}

TEST(Window, HammingIsTheFullWindowFrom008ToOneAtTheMiddle) {
  for (vDSP_Length n : {vDSP_Length{8}, vDSP_Length{1024}, vDSP_Length{4096}}) {
    std::vector<float> window(n);
    vDSP_hamm_window(window.data(), n, 0);
    EXPECT_FLOAT_EQ(window[0], 0.08f);
    EXPECT_FLOAT_EQ(window[n / 2], 1.0f);
    for (vDSP_Length k = 0; k < n; ++k) {
      const double expected = 0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * k / n);
      ASSERT_NEAR(window[k], expected, 1e-6) << "n = " << n << ", k = " << k;
    }
    EXPECT_FLOAT_EQ(window[1], window[n - 1]) << "symmetric about n/2";
  }
  std::vector<float> half(9, -1.0f);
  vDSP_hamm_window(half.data(), 8, vDSP_HALF_WINDOW);
  EXPECT_FLOAT_EQ(half[0], 0.08f);
  EXPECT_EQ(half[4], -1.0f) << "a half window has (N + 1) / 2 values";
}

}  // namespace
