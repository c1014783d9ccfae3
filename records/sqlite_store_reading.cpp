// A records file the station did not just make, opened as it stands: read-only
// (or for appending), its schema checked rather than trusted, and never migrated.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "records/schema_reading.h"
#include "records/sqlite_audit_trail.h"
#include "records/sqlite_record_store.h"
#include "records/sqlite_statement.h"

namespace trimwell {
namespace {

// The file's name as an SQLite URI path: the characters a URI gives a meaning
// of their own are escaped.
std::string uriPath(const std::string& path) {
  std::string uri = "file:";
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static const char kHex[] = "0123456789abcdef";
      uri += '%';
      uri += kHex[(static_cast<unsigned char>(c) >> 4) & 0xf];
      uri += kHex[static_cast<unsigned char>(c) & 0xf];
    } else {
      uri += c;
    }
  }
  return uri;
}

bool folderWritable(const std::string& path) {
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) folder = ".";
  return access(folder.c_str(), W_OK) == 0;
}

}  // namespace

bool SqliteRecordStore::openExisting() {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path_, error)) {
    problem_ = "there is no records file " + path_;
    return false;
  }
  const bool reading = access_ == StoreAccess::Read;
  std::string uri = uriPath(path_) + (reading ? "?mode=ro" : "?mode=rw");
  notice_.clear();
  // Without a folder to write in, SQLite cannot make the file's shared-memory
  // index: the file is read as it stands, as if nothing else wrote to it. So is
  // another user's file: an index made beside it, owned by this reader, would
  // keep its owner's station from writing it.
  struct stat file {};
  const bool others = ::stat(path_.c_str(), &file) == 0 && file.st_uid != geteuid();
  if (reading && (others || !folderWritable(path_))) {
    uri += "&immutable=1";
    notice_ = (others ? path_ + " is another user's" : "the folder of " + path_ + " cannot be written") +
              ": the file is read as it stands";
    if (std::filesystem::file_size(path_ + "-wal", error) > 0 && !error) {
      notice_ += ", without the log beside it (" + path_ + "-wal)";
    }
  }
  const int flags = (reading ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_URI;
  if (sqlite3_open_v2(uri.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    problem_ = "cannot open " + path_ + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
  }
  // The file's own views, triggers and generated columns may call no function
  // with side effects, and nothing may write its schema or pages directly.
  sqlite3_db_config(db_, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db_, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_busy_timeout(db_, busyTimeoutMs_);
  boundWork();
  if (!readable()) return closeRefusing("cannot read ");
  outbox_ = number("PRAGMA application_id") == kOutboxFileId;
  return true;
}

// The version the file says it has, its tables checked against it, and the
// temporary views that read an older one as the current.
bool SqliteRecordStore::readable() {
  const std::string versionTable = kindOf("schema_version");
  long long stored = versionTable == "table" ? wholeNumber(kReadVersion) : 0;
  // Files made before the version table kept their version in the header.
  if (stored == 0 && (versionTable.empty() || versionTable == "table")) stored = wholeNumber("PRAGMA user_version");
  if (stored < 0) return false;
  if (stored > kSchemaVersion) {
    problem_ = "the records file is of a newer station (schema " + std::to_string(stored) + ")";
    return false;
  }
  const int version = static_cast<int>(stored);
  if (!checkShape(version)) return false;
  readVersion_ = version;
  if (access_ == StoreAccess::Read) return execute(readAsCurrentSql(version, kSqliteDialect, "main.").c_str());
  if (!onlyStationTriggers()) return false;
  if (version != kSchemaVersion) {
    problem_ = "the records file is of schema " + std::to_string(version) + ", this station's is " +
               std::to_string(kSchemaVersion) + ": the station brings it up to date when it opens it";
    return false;
  }
  // What is appended reaches the disk before it counts, as the station's own writes do.
  return execute("PRAGMA foreign_keys=ON; PRAGMA synchronous=FULL;");
}

// A file appended to runs its triggers on what is appended: only the station's
// own, which keep the records append-only, may be there.
bool SqliteRecordStore::onlyStationTriggers() {
  const std::string station = appendOnlyTriggers();
  Statement triggers(db_, "SELECT name FROM main.sqlite_schema WHERE type = 'trigger' ORDER BY name");
  int state = 0;
  while ((state = triggers.step()) == SQLITE_ROW) {
    const std::string name = triggers.text(0);
    if (station.find("CREATE TRIGGER IF NOT EXISTS " + name + " ") == std::string::npos) {
      problem_ = "it has a trigger the station did not make (" + name + ")";
      return false;
    }
  }
  return state == SQLITE_DONE || fail("cannot read its triggers");
}

long long SqliteRecordStore::wholeNumber(const char* sql) {
  Statement query(db_, sql);
  if (query.ok() && query.step() == SQLITE_ROW) return query.integer(0);
  fail("cannot read the schema version");
  return -1;
}

std::string SqliteRecordStore::kindOf(const std::string& name) {
  Statement kind(db_, "SELECT type FROM main.sqlite_schema WHERE name = ?1");
  kind.bind(1, name);
  return kind.step() == SQLITE_ROW ? kind.text(0) : std::string();
}

// A file is given work in proportion to its size; past it, every query stops.
void SqliteRecordStore::boundWork() {
  std::error_code error;
  const auto bytes = static_cast<long long>(std::filesystem::file_size(path_, error));
  workLeft_ = (kLeastWork + kWorkPerByte * (error ? 0 : bytes)) / 1000;
  workSpent_ = false;
  sqlite3_progress_handler(
      db_, 1000,
      [](void* self) -> int {
        auto* store = static_cast<SqliteRecordStore*>(self);
        if (--store->workLeft_ > 0) return 0;
        store->workSpent_ = true;
        return 1;
      },
      this);
}

bool SqliteRecordStore::checkShape(int version) {
  if (version > kSchemaVersion) {
    problem_ = "the records file is of a newer station (schema " + std::to_string(version) + ")";
    return false;
  }
  const SchemaLookup lookup{
      [this](const std::string& name) { return kindOf(name); },
      [this](const std::string& table, std::vector<std::string>& columns) {
        Statement names(db_, "SELECT name FROM pragma_table_info(?1, 'main')");
        names.bind(1, table);
        int state = 0;
        while ((state = names.step()) == SQLITE_ROW) columns.push_back(names.text(0));
        return state == SQLITE_DONE;
      }};
  std::string problem;
  if (checkSchemaShape(version, kSqliteDialect, lookup, problem)) return true;
  problem_ = "it is not a records file as the station writes them: " + problem;
  return false;
}

}  // namespace trimwell
