#pragma once
// Calibration records on a PostgreSQL server, for a lab whose stations share one
// store: the same schema as the station's own SQLite file, each record in one
// transaction, the schema brought up to date under an advisory lock so that
// stations starting together do not race. A call that finds the connection lost
// connects again once.

#include <string>

#include "records/record_store.h"

struct pg_conn;
struct pg_result;

namespace trimwell {

class PostgresRecordStore final : public RecordStore {
 public:
  static constexpr int kSchemaVersion = 1;

  // A libpq connection URL or keyword string, e.g. "postgresql:///trimwell?host=/run/pg".
  explicit PostgresRecordStore(std::string url);
  ~PostgresRecordStore() override;
  PostgresRecordStore(const PostgresRecordStore&) = delete;
  PostgresRecordStore& operator=(const PostgresRecordStore&) = delete;

  bool isConnected();
  bool add(CalibrationRecord& record) override;
  bool list(int sensorId, std::vector<RecordSummary>& out) override;
  bool load(long long id, CalibrationRecord& out) override;

  static bool isUrl(const std::string& text) {
    return text.rfind("postgresql:", 0) == 0 || text.rfind("postgres:", 0) == 0;
  }

 private:
  bool connect();
  bool command(const char* sql);
  bool answered(const pg_result* result);
  bool insertRecord(CalibrationRecord& record);
  template <typename Call>
  bool retrying(Call&& call);
  bool addOnce(CalibrationRecord& record);
  bool listOnce(int sensorId, std::vector<RecordSummary>& out);
  bool loadOnce(long long id, CalibrationRecord& out);

  std::string url_;
  pg_conn* connection_ = nullptr;
  bool migrated_ = false;
};

}  // namespace trimwell
