// A lab's six-row calibration with its as-left checks written as a digital
// calibration certificate, bare and with a printed certificate of 200 KB inside.
// Goal: the printed certificate and the DCC together under 150 ms, so the DCC's
// share is what this measures.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "documents/dcc_sample.h"
#include "documents/dcc_writer.h"

namespace {

void BM_SixRowDcc(benchmark::State& state) {
  const trimwell::CalibrationRecord record = trimwell::test::sixRowRecord();
  const trimwell::Laboratory lab = trimwell::test::dccLab();
  std::vector<std::uint8_t> pdf(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < pdf.size(); ++i) pdf[i] = static_cast<std::uint8_t>(i * 131 + (i >> 7));
  std::string xml, problem;
  for (auto _ : state) {
    if (!trimwell::writeDcc(record, lab, pdf, xml, problem)) state.SkipWithError(problem.c_str());
    benchmark::DoNotOptimize(xml.data());
  }
  state.counters["bytes"] = static_cast<double>(xml.size());
}
BENCHMARK(BM_SixRowDcc)->Arg(0)->Arg(200 * 1024)->Unit(benchmark::kMillisecond);

}  // namespace
