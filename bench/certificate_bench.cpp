// A six-row calibration's certificate made as a PDF in memory, from the record
// to the last byte (fonts, wrapping, pages), and with its DCC, the PDF inside
// (goal: the two together, each row with its error chart, under 150 ms).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdlib>

#include "app/qt/certificate.h"
#include "documents/dcc_sample.h"
#include "documents/dcc_writer.h"

namespace {

using namespace trimwell;

void BM_SixRowCertificatePdf(benchmark::State& state) {
  const CalibrationRecord record = test::sixRowRecord();
  const Laboratory lab = test::dccLab();
  std::vector<std::uint8_t> pdf;
  std::string problem;
  for (auto _ : state) {
    if (!certificatePdf(record, lab, pdf, problem)) state.SkipWithError(problem.c_str());
    benchmark::DoNotOptimize(pdf.data());
  }
  state.counters["bytes"] = static_cast<double>(pdf.size());
}
BENCHMARK(BM_SixRowCertificatePdf)->Unit(benchmark::kMillisecond);

void BM_SixRowCertificatePdfAndDcc(benchmark::State& state) {
  const CalibrationRecord record = test::sixRowRecord();
  const Laboratory lab = test::dccLab();
  std::vector<std::uint8_t> pdf;
  std::string xml;
  std::string problem;
  for (auto _ : state) {
    if (!certificatePdf(record, lab, pdf, problem) || !writeDcc(record, lab, pdf, xml, problem)) {
      state.SkipWithError(problem.c_str());
    }
    benchmark::DoNotOptimize(xml.data());
  }
  state.counters["bytes"] = static_cast<double>(xml.size());
}
BENCHMARK(BM_SixRowCertificatePdfAndDcc)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
