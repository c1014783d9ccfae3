// libFuzzer target: a records file as trimwell-records reads it. The input is
// either a whole file (it starts as SQLite files do) or SQL run on a copy of a
// station's file with one record, as its owner could with any SQLite tool; the
// file is then read as it stands: listed, each record loaded and verified.
#include <sqlite3.h>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "records/sqlite_record_store.h"
#include "tests/fuzz/fuzz_scratch.h"

namespace {

std::string folder() { return trimwell::fuzz::scratchFolder(); }

// A station's file with one record, made once.
const std::string& stationFile() {
  static const std::string path = [] {
    const std::string file = folder() + "/station.sqlite";
    trimwell::SqliteRecordStore store(file);
    trimwell::CalibrationRecord r;
    r.utcTime = "2026-03-02T09:15:00Z";
    r.sensorId = 221;
    r.datasheetName = "Thermal probe";
    r.success = true;
    r.result = "written and verified";
    r.unit = "TP-1";
    r.rows.push_back({});
    trimwell::RecordResult result;
    result.result.referenceValue = 20.0;
    result.result.reading = 20.1;
    result.result.uncertainty.coverageFactor = 2.0;
    r.results.push_back(result);
    store.add(r);
    return file;
  }();
  return path;
}

// Runs the SQL on the file, its append-only triggers dropped first; nothing it
// runs reaches another file (ATTACH, VACUUM INTO) or runs without end.
void changeAsItsOwner(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    return;
  }
  sqlite3_set_authorizer(
      db, [](void*, int action, const char*, const char*, const char*, const char*) {
        return action == SQLITE_ATTACH || action == SQLITE_DETACH ? SQLITE_DENY : SQLITE_OK;
      },
      nullptr);
  int left = 10000;  // thousands of steps
  sqlite3_progress_handler(
      db, 1000, [](void* count) { return --*static_cast<int*>(count) <= 0 ? 1 : 0; }, &left);
  std::string drops;
  sqlite3_exec(
      db, "SELECT 'DROP TRIGGER ' || name || ';' FROM sqlite_master WHERE type = 'trigger'",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) += values[0];
        return 0;
      },
      &drops, nullptr);
  sqlite3_exec(db, drops.c_str(), nullptr, nullptr, nullptr);
  std::string lower = sql;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  if (lower.find("vacuum") == std::string::npos) {
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  }
  sqlite3_close(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string file = folder() + "/handed.sqlite";
  std::filesystem::remove(file);
  std::filesystem::remove(file + "-wal");
  std::filesystem::remove(file + "-shm");
  if (input.rfind("SQLite format 3", 0) == 0) {
    std::ofstream(file, std::ios::binary) << input;
  } else {
    std::filesystem::copy_file(stationFile(), file);
    changeAsItsOwner(file, input);
  }
  trimwell::SqliteRecordStore store(file, trimwell::StoreAccess::Read);
  if (!store.isOpen()) return 0;
  std::vector<trimwell::RecordSummary> listed;
  store.list(0, listed);
  for (const trimwell::RecordSummary& s : listed) {
    trimwell::CalibrationRecord record;
    std::string problem;
    if (store.load(s.uuid, record)) store.checkRecord(s.uuid, problem);
  }
  (void)store.verify();
  return 0;
}
