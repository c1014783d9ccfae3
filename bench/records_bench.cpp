// The record store on a real SQLite file in the temporary folder: one record kept
// (goal: under 5 ms, durable), and the list of 10,000 (goal: under 100 ms).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "records/sqlite_record_store.h"

namespace {

std::string freshFile(const char* name) {
  const auto path = std::filesystem::temp_directory_path() / name;
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path.string() + suffix);
  return path.string();
}

trimwell::CalibrationRecord typicalRecord() {
  trimwell::CalibrationRecord r;
  trimwell::stampRecord(r);
  r.sensorId = 221;
  r.datasheetName = "Thermal probe";
  r.result = "written and verified";
  r.success = true;
  r.rows.resize(6);
  r.asFoundImage.assign(2048, 0x5A);
  r.asLeftImage.assign(2048, 0xA5);
  r.asFoundCalibration.assign(96, 1);
  r.asLeftCalibration.assign(96, 2);
  return r;
}

void BM_KeepOneRecord(benchmark::State& state) {
  trimwell::SqliteRecordStore store(freshFile("trimwell-bench-keep.sqlite"));
  trimwell::CalibrationRecord record = typicalRecord();
  for (auto _ : state) {
    if (!store.add(record)) state.SkipWithError(store.problem().c_str());
  }
}
BENCHMARK(BM_KeepOneRecord)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListTenThousand(benchmark::State& state) {
  trimwell::SqliteRecordStore store(freshFile("trimwell-bench-list.sqlite"));
  trimwell::CalibrationRecord record = typicalRecord();
  for (int i = 0; i < 10000; ++i) store.add(record);
  std::vector<trimwell::RecordSummary> list;
  for (auto _ : state) {
    store.list(0, list);
    benchmark::DoNotOptimize(list.data());
  }
  state.counters["records"] = static_cast<double>(list.size());
}
BENCHMARK(BM_ListTenThousand)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
