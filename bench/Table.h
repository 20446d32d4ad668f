// The benchmark's output: one Markdown table whose rows every figure adds,
// and the samples behind the paired figures.
#pragma once

#include <string>
#include <vector>

namespace velmora_bench {

struct Row {
  std::string figure;
  std::string value;
  std::string bare;
  std::string ratio;
  std::string target;
  // "yes", "no", or "-" for a row that holds no target of its own.
  std::string held;
};

std::string Format(const char* format, double value);
inline const char* Held(bool held) { return held ? "yes" : "no"; }

// `ratio` is the figure's own statistic, not always value / bare: see
// MedianOfRatios.
Row RatioRow(const std::string& figure, double value, double bare, double ratio, double limit,
             const char* unit);

void PrintTable(const std::vector<Row>& rows);

// The component's and the reference's time of one iteration, measured back
// to back; an iteration where either side failed is left out whole.
struct Pairs {
  const char* name;
  std::vector<double> component;
  std::vector<double> bare;
};

// Every sample of the paired figures, for scripts/bench.sh --plot: one block
// per figure (gnuplot's "index"), one line per iteration.
void WriteSamples(const wchar_t* path, const std::vector<const Pairs*>& figures);

// With VELMORA_BENCH_SAMPLES set, every sample behind a ratio goes to stderr.
void DumpSamples(const Pairs& pairs);

// Medians of both sides, and the median of the per-pair ratios.
Row PairedRow(const std::string& figure, const Pairs& pairs, double limit,
              const char* unit = "ms");

}  // namespace velmora_bench
