#include "bench/Table.h"

#include <windows.h>

#include <cstdio>

#include "bench/Statistics.h"

namespace velmora_bench {

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

Row RatioRow(const std::string& figure, double value, double bare, double ratio, double limit,
             const char* unit) {
  // Three digits below 1, where two would round a ratio like 0.27x by 4%.
  return {figure,
          Format("%.2f ", value) + unit,
          Format("%.2f ", bare) + unit,
          Format(ratio < 1 ? "%.3fx" : "%.2fx", ratio),
          Format("<= %.2fx", limit),
          Held(ratio > 0 && ratio <= limit)};
}

void PrintTable(const std::vector<Row>& rows) {
  std::printf("| Figure | Component | Bare platform | Ratio | Target | Held |\n");
  std::printf("|---|---|---|---|---|---|\n");
  for (const Row& row : rows) {
    std::printf("| %s | %s | %s | %s | %s | %s |\n", row.figure.c_str(), row.value.c_str(),
                row.bare.c_str(), row.ratio.c_str(), row.target.c_str(), row.held.c_str());
  }
}

void WriteSamples(const wchar_t* path, const std::vector<const Pairs*>& figures) {
  FILE* out = _wfopen(path, L"w");
  if (!out) {
    std::fprintf(stderr, "cannot write the samples to %ls\n", path);
    return;
  }
  for (const Pairs* pairs : figures) {
    std::fprintf(out, "# %s: iteration, component ms, bare platform ms\n", pairs->name);
    for (size_t i = 0; i < pairs->component.size(); ++i)
      std::fprintf(out, "%zu %.4f %.4f\n", i, pairs->component[i], pairs->bare[i]);
    std::fprintf(out, "\n\n");
  }
  std::fclose(out);
}

void DumpSamples(const Pairs& pairs) {
  if (GetEnvironmentVariableW(L"VELMORA_BENCH_SAMPLES", nullptr, 0) == 0) return;
  std::fprintf(stderr, "%s\n  component:", pairs.name);
  for (double v : pairs.component) std::fprintf(stderr, " %.2f", v);
  std::fprintf(stderr, "\n  bare:     ");
  for (double v : pairs.bare) std::fprintf(stderr, " %.2f", v);
  std::fprintf(stderr, "\n");
}

Row PairedRow(const std::string& figure, const Pairs& pairs, double limit, const char* unit) {
  DumpSamples(pairs);
  return RatioRow(figure, Median(pairs.component), Median(pairs.bare),
                  MedianOfRatios(pairs.component, pairs.bare), limit, unit);
}

}  // namespace velmora_bench
