// The results of a six-row calibration as the station states them at its end:
// each row two as-found results and three as-left checks on its new line, each
// with its uncertainty budget, its tolerance and its verdict, then the rows' and
// the calibration's verdicts (goal: under 50 us).
#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "metrology/as_found.h"
#include "metrology/as_left_check.h"

namespace {

using namespace trimwell::metrology;

// Ten readings of a stability window around a value, as the station keeps them.
std::array<double, 10> window(double centre, double spread) {
  std::array<double, 10> w{};
  for (std::size_t i = 0; i < w.size(); ++i) w[i] = centre + spread * (static_cast<double>(i % 5) - 2.0) / 2.0;
  return w;
}

struct Row {
  ReferenceStandard standard{0.02, 0.0005, 2.0};
  Tolerance tolerance = Tolerance::ofReading(0.05, 0.1);
  std::array<std::array<double, 10>, 2> foundWindows;
  std::array<double, 2> foundReadings{};
  std::array<double, 2> points{0.0, 100.0};
  std::array<std::array<double, 10>, 3> checkWindows;
  std::array<double, 3> checks{10.0, 50.0, 90.0};
};

std::vector<Row> sixRows() {
  std::vector<Row> rows(6);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    Row& row = rows[r];
    if (r % 2 == 1) row.tolerance = Tolerance::ofSpan(0.1, 0.0, 100.0);
    for (std::size_t i = 0; i < 2; ++i) {
      row.foundReadings[i] = row.points[i] + 0.03 * static_cast<double>(r + 1);
      row.foundWindows[i] = window(row.foundReadings[i], 0.01);
    }
    for (std::size_t i = 0; i < 3; ++i) row.checkWindows[i] = window(1000.0 + 40.0 * row.checks[i], 1.5);
  }
  return rows;
}

// One row's five results judged; false when any input is refused.
bool evaluateRow(const Row& row, std::array<PointResult, 5>& results, std::string& problem) {
  const double span = row.points[1] - row.points[0];
  for (std::size_t i = 0; i < 2; ++i) {
    AsFoundInputs in{row.points[i], row.standard, row.foundReadings[i], row.foundWindows[i], 0.025};
    if (!evaluateAsFound(in, results[i], problem)) return false;
  }
  // The line written through (1000, 0) and (5000, 100): m = 0.025 per count.
  for (std::size_t i = 0; i < 3; ++i) {
    const AsLeftInputs left{row.checks[i] - 0.02, row.standard, row.checks[i], row.checkWindows[i], 0.025, 1.0};
    if (!evaluateAsLeft(left, results[2 + i], problem)) return false;
  }
  for (PointResult& result : results) {
    if (!judge(result, row.tolerance, DecisionRule::kNonBinary, span, problem)) return false;
  }
  return true;
}

void BM_SixRowCalibrationResults(benchmark::State& state) {
  const std::vector<Row> rows = sixRows();
  std::array<std::array<PointResult, 5>, 6> results;
  std::string problem;
  for (auto _ : state) {
    std::array<Verdict, 6> rowVerdicts{};
    for (std::size_t r = 0; r < rows.size(); ++r) {
      if (!evaluateRow(rows[r], results[r], problem)) state.SkipWithError(problem.c_str());
      rowVerdicts[r] = worstVerdict(std::span<const PointResult>(results[r]));
    }
    Verdict calibration = worstVerdict(std::span<const Verdict>(rowVerdicts));
    double sum = 0.0;
    for (const auto& row : results) {
      for (const PointResult& p : row) sum += p.uncertainty.expanded();
    }
    benchmark::DoNotOptimize(calibration);
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_SixRowCalibrationResults)->Unit(benchmark::kMicrosecond);

}  // namespace
