// Percentiles by nearest rank: the value of rank ⌈p × n / 100⌉ in ascending order.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <ostream>
#include <vector>

#include "Percentile.h"

namespace {

struct Case {
  int count;  // of the values 1 … count, shuffled
  int percent;
  double expected;
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << "p" << c.percent << " of 1…" << c.count;
}

class NearestRank : public ::testing::TestWithParam<Case> {};

TEST_P(NearestRank, IsTheValueOfTheRankRoundedUp) {
  std::vector<double> values(static_cast<std::size_t>(GetParam().count));
  std::iota(values.begin(), values.end(), 1.0);
  std::reverse(values.begin(), values.end());
  std::rotate(values.begin(), values.begin() + static_cast<long>(values.size() / 3), values.end());
  EXPECT_EQ(figures::percentile(values, GetParam().percent), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Figures, NearestRank,
                         ::testing::Values(Case{0, 50, 0}, Case{1, 99, 1}, Case{4, 50, 2},
                                           Case{5, 50, 3}, Case{10, 99, 10}, Case{100, 99, 99},
                                           Case{150, 99, 149}, Case{100, 0, 1}, Case{7, 100, 7}));

}  // namespace
