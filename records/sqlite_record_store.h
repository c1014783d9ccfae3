#pragma once
// Calibration records in an SQLite file. Each record goes in with its rows in one
// transaction, so a station killed mid-write loses at most that record. The file
// carries its schema version; opening an older one brings it up to date.

#include <memory>
#include <string>

#include "records/record_store.h"

struct sqlite3;

namespace trimwell {

class SqliteRecordStore final : public RecordStore {
 public:
  static constexpr int kSchemaVersion = 1;

  // ":memory:" keeps the records for this run only.
  explicit SqliteRecordStore(const std::string& path);
  ~SqliteRecordStore() override;
  SqliteRecordStore(const SqliteRecordStore&) = delete;
  SqliteRecordStore& operator=(const SqliteRecordStore&) = delete;

  bool isOpen() const { return db_ != nullptr; }
  bool add(CalibrationRecord& record) override;
  bool list(int sensorId, std::vector<RecordSummary>& out) override;
  bool load(long long id, CalibrationRecord& out) override;
  int schemaVersion();
  bool remove(long long id);

  // The default file: $TRIMWELL_HOME/records.sqlite, or ~/.local/share/trimwell/.
  static std::string defaultPath();

 private:
  bool execute(const char* sql);
  bool migrate();
  bool insertRecord(CalibrationRecord& record);
  bool fail(const char* what);

  sqlite3* db_ = nullptr;
};

}  // namespace trimwell
