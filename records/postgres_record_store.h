#pragma once
// Calibration records on a PostgreSQL server, for a lab whose stations share one
// store: the same schema as the station's own SQLite file, each record in one
// transaction with its identity as the key (a record sent twice is kept once), the
// schema brought up to date under an advisory lock so that stations starting
// together do not race, and checked on every connection. A call that finds the
// connection lost connects again once.
//
// No call waits on the server without end: connecting gives up after
// kConnectTimeoutS, the server cancels a statement after kStatementTimeoutMs or a
// wait for a lock after kLockTimeoutMs, and a server that does not reply at all
// (stopped, or cut off) is given up after kReplyDeadlineMs.
//
// Every write takes the audit chain's lock (a transaction-level advisory lock)
// first, under READ COMMITTED: what it reads after that is what the station
// before it committed, so stations writing at once append one after the other.
// The server's UNIQUE on the sequence and on the previous hash keeps the chain
// from forking even so.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "records/record_schema.h"
#include "records/record_store.h"

struct pg_conn;
struct pg_result;

namespace trimwell {

class PostgresRecordStore final : public RecordStore {
 public:
  static constexpr int kSchemaVersion = kRecordSchemaVersion;
  static constexpr int kConnectTimeoutS = 3;
  static constexpr int kStatementTimeoutMs = 5000;
  static constexpr int kLockTimeoutMs = 2000;
  static constexpr int kReplyDeadlineMs = 8000;

  // A libpq connection URL or keyword string, e.g. "postgresql:///trimwell?host=/run/pg".
  // Connects on the first call, not here.
  explicit PostgresRecordStore(std::string url, StoreAccess access = StoreAccess::Keep);
  ~PostgresRecordStore() override;
  PostgresRecordStore(const PostgresRecordStore&) = delete;
  PostgresRecordStore& operator=(const PostgresRecordStore&) = delete;

  bool isConnected();
  bool add(CalibrationRecord& record) override;
  bool list(int sensorId, std::vector<RecordSummary>& out) override;
  bool load(const std::string& uuid, CalibrationRecord& out) override;
  bool listUnit(const std::string& unit, std::vector<RecordSummary>& out) override;
  // Not sent again once its COMMIT went out: a reply lost then leaves the results
  // in or out, and sent twice they would be kept twice.
  bool appendResults(const std::string& uuid, const std::vector<RecordResult>& results) override;
  bool keepCertificateNumber(const std::string& uuid, std::string& number) override;
  bool lastCalibrations(std::vector<UnitLastCalibrated>& out) override;
  bool customers(std::vector<CustomerContact>& out) override;
  bool saveStandard(const metrology::StandardEntry& entry) override;
  bool listStandards(std::vector<metrology::StandardEntry>& out) override;

  // A record sent with signatures (from an outbox) brings them, each with its
  // entry; signed again with one it holds, it is kept once.
  bool addSignature(const signing::Signature& signature) override;
  bool signatures(const std::string& uuid, std::vector<signing::Signature>& out) override;
  bool noteFailedSigning(const std::string& login, long long uid, const std::string& uuid,
                         const std::string& why) override;
  bool signingFailures(const std::string& login, long long uid, std::vector<std::string>& out) override;
  bool noteStationEvent(const std::string& event, const std::string& uuid, const std::string& details) override;
  bool lastStationEvent(const std::string& event, std::string& details) override;
  bool amendedBy(const std::string& uuid, std::string& later) override;
  bool checkRecord(const std::string& uuid, std::string& problem) override;
  bool recordTrail(const std::string& uuid, std::vector<signing::AuditEntry>& out) override;
  std::string chainHead() override;
  // The whole chain, every record and signature held to it.
  signing::ChainCheck verify(const std::string& keptHead = {});
  // For a lab setting up its store, connected as a role that may make roles: the
  // owner and station roles, the schema made as the owner, and the station's grants.
  bool initLab();

  // The chain's advisory lock; the schema's is kSchemaLock.
  static constexpr long long kChainLock = 7319;
  static constexpr long long kSchemaLock = 7318;

  // A postgresql:// URL, or a libpq keyword string ("host=... dbname=..."), as
  // libpq reads it; anything else is a file's name.
  static bool isUrl(const std::string& text);
  // The URL or keyword string with its password, if any, as "***", even where
  // libpq cannot read it.
  static std::string shownUrl(const std::string& url);
  // Whether the URL or keyword string holds a password: given on a command line,
  // every local user would read it in the process list.
  static bool holdsPassword(const std::string& url);
  // Why a records location given on a command line is refused (a password in it,
  // or a URL that is none of PostgreSQL's), masked; empty when it may be used.
  static std::string givenLocationProblem(const std::string& where);
  // What the station says where it is given one there.
  static constexpr const char* kNoPasswordHere =
      "a password on the command line is seen by every user of this computer (ps): put it in ~/.pgpass, "
      "or in the file PGPASSFILE names, and give the URL without it";

  // How the connection to a server across the network is made safe: libpq's
  // sslmode, verify-full unless the URL lowers it (which is then said at every
  // start, in tlsNotice()); a Unix socket needs none. caFile: the lab's CA
  // certificate (the lab setting), else the system's store.
  void setCaFile(const std::string& caFile) { caFile_ = caFile; }
  // Empty, or what the station says when the URL lowers the server's check.
  std::string tlsNotice() const;

 private:
  struct ResultDeleter {
    void operator()(pg_result* r) const;
  };
  struct Reply {
    std::unique_ptr<pg_result, ResultDeleter> result;
    bool late = false;  // the server did not reply in time
  };
  bool connect();
  // Connected, with the time limits set, before the schema is looked at.
  bool openConnection();
  bool checkSchema();
  int storedVersion();
  int number(const std::string& sql);
  bool newerSchema(int found);
  bool migrate();
  // StoreAccess::Read and Append (postgres_store_reading.cpp): the schema checked,
  // an older one read through temporary views, every transaction read-only.
  bool readAsItStands(int found);
  Reply exec(const std::string& sql, const std::vector<std::optional<std::string>>& values = {});
  bool command(const std::string& sql);
  bool answered(const Reply& reply);
  void connectionFailed();
  std::string hidden(std::string text) const;
  bool insertRecord(CalibrationRecord& record);
  // A transaction holding the chain's lock; false, rolled back, when it cannot be had.
  bool beginWriting();
  // Runs `work` in such a transaction; false rolls it back.
  bool writing(const std::function<bool()>& work);
  bool appendEntry(signing::AuditEntry& entry);
  bool noteEvent(const std::string& event, const std::string& uuid, const std::string& details);
  bool noteChange(signing::AuditEntry& entry);
  bool insertSignature(const signing::Signature& signature, bool& keptBefore);
  bool signOnce(const signing::Signature& signature);
  bool readTrail(std::vector<signing::AuditEntry>& out, const std::string& uuid = {});
  bool readKept(std::vector<signing::KeptSignature>& out, const std::string& uuid = {});
  bool loadEvery(std::vector<CalibrationRecord>& out);
  template <typename T>
  bool loadEveryChild(const ColumnTable<T>& table, std::map<long long, CalibrationRecord*>& byId,
                      std::vector<T> CalibrationRecord::*member);
  bool trailProblem(const std::string& uuid, std::string& broken);
  bool matchesTrail(const std::string& uuid);
  bool numberOnce(const std::string& uuid, std::string& number);
  bool saveOnce(const metrology::StandardEntry& entry);
  bool insertCarriedSignatures(const CalibrationRecord& record);
  bool insertCarriedRefusedChecks(const CalibrationRecord& record);
  bool keepReadingsOfSealed(const std::string& uuid, const std::vector<RecordResult>& results);
  bool enterRecordsKeptBefore();
  // The first schema whose lab store keeps the audit trail.
  static constexpr int kTrailSince = 9;
  bool abandon();
  bool insertChildren(const CalibrationRecord& record);
  template <typename T>
  bool insertChildren(const ColumnTable<T>& table, long long id, std::span<const T> items, long long first);
  template <typename T>
  bool loadChildren(const ColumnTable<T>& table, long long id, std::vector<T>& out, std::string& unfit);
  bool lockRecord(const std::string& uuid, long long& id, long long& results);
  bool retrying(const std::function<bool()>& call);
  bool addOnce(CalibrationRecord& record);
  bool loadOnce(const std::string& uuid, CalibrationRecord& out);
  bool listOnce(const std::string& where, const std::string& value, std::vector<RecordSummary>& out);
  bool appendOnce(const std::string& uuid, const std::vector<RecordResult>& results, bool& committing);
  bool lastOnce(std::vector<UnitLastCalibrated>& out);
  bool customersOnce(std::vector<CustomerContact>& out);
  bool standardsOnce(std::vector<metrology::StandardEntry>& out);

  std::string url_;
  std::string caFile_;
  StoreAccess access_;
  std::vector<std::string> passwords_;  // as the URL spells it, and as libpq reads it
  pg_conn* connection_ = nullptr;
};

}  // namespace trimwell
