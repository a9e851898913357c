#pragma once
// The one percentile of the commands' printed figures and the benchmarks' counters.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace figures {

// The nearest-rank percentile: the value of rank ⌈percent × n / 100⌉ (at least 1) among the n
// values in ascending order, so that `percent` % of them are at or below it; 0 when there are
// none. Reorders `values`.
inline double percentile(std::vector<double>& values, int percent) {
  if (values.empty()) return 0;
  const std::size_t n = values.size();
  const auto share = static_cast<std::size_t>(std::clamp(percent, 0, 100));
  const std::size_t rank = std::max<std::size_t>((share * n + 99) / 100, 1);
  const auto at = values.begin() + static_cast<std::ptrdiff_t>(rank - 1);
  std::nth_element(values.begin(), at, values.end());
  return *at;
}

}  // namespace figures
