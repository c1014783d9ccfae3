// The record store on a real SQLite file in the temporary folder: one record kept
// (goal: under 5 ms, durable), and the list of 10,000 (goal: under 100 ms). The
// lab's store on a real PostgreSQL server this benchmark starts: a record kept
// while the server hangs (goal: under 5 ms on the caller's thread), and 1000
// waiting records sent once it is back (goal: under 3 s).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "records/lab_record_store.h"
#include "records/postgres_record_store.h"
#include "records/postgres_server.h"
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
    record.uuid.clear();
    if (!store.add(record)) state.SkipWithError(store.problem().c_str());
  }
}
BENCHMARK(BM_KeepOneRecord)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ListTenThousand(benchmark::State& state) {
  trimwell::SqliteRecordStore store(freshFile("trimwell-bench-list.sqlite"));
  trimwell::CalibrationRecord record = typicalRecord();
  for (int i = 0; i < 10000; ++i) {
    record.uuid.clear();
    store.add(record);
  }
  std::vector<trimwell::RecordSummary> list;
  for (auto _ : state) {
    store.list(0, list);
    benchmark::DoNotOptimize(list.data());
  }
  state.counters["records"] = static_cast<double>(list.size());
}
BENCHMARK(BM_ListTenThousand)->Unit(benchmark::kMillisecond)->UseRealTime();

trimwell::test::PostgresServer& labServer() {
  static trimwell::test::PostgresServer server;
  return server;
}

std::unique_ptr<trimwell::LabRecordStore> labStore(const char* outbox) {
  return std::make_unique<trimwell::LabRecordStore>(std::make_unique<trimwell::PostgresRecordStore>(labServer().url()),
                                                    std::make_unique<trimwell::SqliteRecordStore>(freshFile(outbox)));
}

// The caller's (the window's) side of keeping a record while every process of
// the lab's server is stopped.
void BM_KeepRecordWhileLabStalled(benchmark::State& state) {
  if (!labServer().running()) return state.SkipWithError(labServer().problem().c_str());
  auto store = labStore("trimwell-bench-stalled.sqlite");
  trimwell::CalibrationRecord record = typicalRecord();
  store->add(record);
  store->sendNow(std::chrono::seconds(10));
  labServer().pause();
  for (auto _ : state) {
    record.uuid.clear();
    if (!store->add(record)) state.SkipWithError(store->problem().c_str());
  }
  labServer().resume();
  store->sendNow(std::chrono::seconds(30));
}
BENCHMARK(BM_KeepRecordWhileLabStalled)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(200);

// From a station starting with 1000 records waiting to the last of them in the lab.
void BM_FlushThousandWaiting(benchmark::State& state) {
  if (!labServer().running()) return state.SkipWithError(labServer().problem().c_str());
  const std::string file = freshFile("trimwell-bench-flush.sqlite");
  for (auto _ : state) {
    state.PauseTiming();
    {
      trimwell::SqliteRecordStore outbox(file);
      trimwell::CalibrationRecord record = typicalRecord();
      for (int i = 0; i < 1000; ++i) {
        record.uuid.clear();
        outbox.add(record);
      }
    }
    state.ResumeTiming();
    trimwell::LabRecordStore store(std::make_unique<trimwell::PostgresRecordStore>(labServer().url()),
                                   std::make_unique<trimwell::SqliteRecordStore>(file));
    if (!store.sendNow(std::chrono::seconds(60))) state.SkipWithError(store.labProblem().c_str());
  }
}
BENCHMARK(BM_FlushThousandWaiting)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
