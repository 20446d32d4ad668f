#include "bench/Statistics.h"

#include <algorithm>

namespace velmora_bench {

double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double rank = q * static_cast<double>(values.size() - 1);
  const size_t below = static_cast<size_t>(rank);
  if (below + 1 >= values.size()) return values.back();
  const double fraction = rank - static_cast<double>(below);
  return values[below] + fraction * (values[below + 1] - values[below]);
}

double MedianOfRatios(const std::vector<double>& value, const std::vector<double>& reference) {
  std::vector<double> ratios;
  for (size_t i = 0; i < value.size() && i < reference.size(); ++i)
    if (reference[i] > 0) ratios.push_back(value[i] / reference[i]);
  return Median(ratios);
}

}  // namespace velmora_bench
