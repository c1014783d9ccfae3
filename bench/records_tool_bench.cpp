// trimwell-records listing 100,000 records, as a whole process: start, open the
// file, read every summary and write its line. The goal is under a second.
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "records/sqlite_record_store.h"

namespace {

constexpr int kRecords = 100000;

std::string execute(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) == SQLITE_OK) return {};
  std::string text = error != nullptr ? error : "failed";
  sqlite3_free(error);
  return text;
}

// One record kept by the station, then copied (each copy with an identity of its
// own) until the file holds kRecords: a station's add per record would take long.
std::string makeFile(const std::string& path, std::string& problem) {
  {
    trimwell::SqliteRecordStore store(path);
    trimwell::CalibrationRecord record;
    trimwell::stampRecord(record);
    record.sensorId = 221;
    record.datasheetName = "Thermal probe";
    record.unit = "TP-2";
    record.success = true;
    record.result = "written and verified";
    if (!store.add(record)) return problem = store.problem();
  }
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  std::string columns, copied;
  sqlite3_stmt* info = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA table_info(records)", -1, &info, nullptr);
  while (sqlite3_step(info) == SQLITE_ROW) {
    const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(info, 1));
    if (name == "id") continue;
    columns += (columns.empty() ? "" : ",") + name;
    copied += (copied.empty() ? "" : ",") + (name == "uuid" ? std::string("lower(hex(randomblob(16)))") : name);
  }
  sqlite3_finalize(info);
  for (int have = 1; have < kRecords && problem.empty(); have *= 2) {
    problem = execute(db, "INSERT INTO records(" + columns + ") SELECT " + copied + " FROM records LIMIT " +
                              std::to_string(kRecords - have));
  }
  sqlite3_close(db);
  return problem;
}

void ListHundredThousand(benchmark::State& state) {
  const std::string folder = std::filesystem::temp_directory_path() / "trimwell-records-bench";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string file = folder + "/records.sqlite";
  std::string problem;
  if (!makeFile(file, problem).empty()) {
    state.SkipWithError(problem.c_str());
    return;
  }
  const std::string command = std::string(TRIMWELL_RECORDS_TOOL) + " --records " + file + " list > " + folder + "/list.txt";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("trimwell-records list failed");
  }
  std::ifstream listed(folder + "/list.txt");
  state.counters["lines"] = static_cast<double>(std::count(std::istreambuf_iterator<char>(listed), {}, '\n'));
  std::filesystem::remove_all(folder);
}
BENCHMARK(ListHundredThousand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
