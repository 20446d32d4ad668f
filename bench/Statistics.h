// Summaries of timing samples.
#pragma once

#include <vector>

namespace velmora_bench {

// The q-quantile (0..1) of the samples, interpolated between the two nearest
// ranks; 0 for no samples.
double Quantile(std::vector<double> values, double q);

inline double Median(const std::vector<double>& values) { return Quantile(values, 0.5); }

// The median of value[i] / reference[i] over the pairs i, each pair measured
// back to back. Under Wine a time often has two peaks, and which one a
// sample falls on changes from moment to moment: a ratio of two medians
// jumps when either median moves to the other peak, while a pair measured
// together mostly lands on one peak, and the pairs that straddle the two
// split both ways around the median. 0 when there is no pair.
double MedianOfRatios(const std::vector<double>& value, const std::vector<double>& reference);

}  // namespace velmora_bench
