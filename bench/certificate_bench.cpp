// A six-row calibration's certificate made as a PDF in memory, from the record
// to the last byte: fonts, wrapping, pages (goal: a PDF and its DCC together
// under 150 ms).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdlib>

#include "app/qt/certificate.h"

namespace {

using namespace trimwell;

CalibrationRecord sixRowRecord() {
  CalibrationRecord r;
  r.id = 42;
  r.utcTime = "2026-03-02T09:15:00Z";
  r.stationVersion = "Trimwell 1.21";
  r.interfaceKind = "USB";
  r.sensorId = 400;
  r.datasheetName = "Six-row probe";
  r.datasheetVersion = "1.00";
  r.unit = "SR-0007";
  r.customer = "Brook Water Lab";
  r.ambientTemperature = 23.1;
  r.relativeHumidity = 45;
  r.decisionRule = "guarded";
  r.success = true;
  r.result = "written and verified";
  for (int row = 0; row < 6; ++row) {
    r.rows.push_back({10 + row, "Measurement " + std::to_string(row + 1), 400, 20, 800, 80, {400, 20, 800, 80}});
    metrology::StandardEntry e{"TB-" + std::to_string(row), "SN-" + std::to_string(row), "C-2026-118", "Kalibrierlabor",
                               "2026-01-15", "2099-01-15", "temperature", "\u00b0C", {0.05, 0, 2}};
    r.standards.push_back({row, e});
    for (int i = 0; i < 4; ++i) {
      metrology::PointResult p;
      p.referenceValue = 20.0 + 30 * (i % 2);
      p.reading = p.referenceValue + 0.1234567890123 * (i - 1.5);
      p.uncertainty.contributions = {{"reference standard", 0.05, 2.0, 1.0}, {"repeatability", 0.012, 1.0, 1.0}};
      p.limit = 0.5;
      r.results.push_back({row, i >= 2, p});
    }
  }
  return r;
}

void BM_SixRowCertificatePdf(benchmark::State& state) {
  const CalibrationRecord record = sixRowRecord();
  Laboratory lab;
  lab.name = "Kalibrierlabor Nord";
  lab.address = "Hafenstra\u00dfe 3\n20457 Hamburg";
  std::vector<std::uint8_t> pdf;
  std::string problem;
  for (auto _ : state) {
    if (!certificatePdf(record, lab, pdf, problem)) state.SkipWithError(problem.c_str());
    benchmark::DoNotOptimize(pdf.data());
  }
  state.counters["bytes"] = static_cast<double>(pdf.size());
}
BENCHMARK(BM_SixRowCertificatePdf)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
