#pragma once
// One prepared SQLite statement, finalized with its owner: bind by place, step,
// and read a column or a whole record or row by its column table.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "records/record_columns.h"

namespace trimwell {

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) { sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr); }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return statement_ != nullptr; }
  void bindNull(int at) { sqlite3_bind_null(statement_, at); }
  void bind(int at, long long value) { sqlite3_bind_int64(statement_, at, value); }
  void bind(int at, double value) { sqlite3_bind_double(statement_, at, value); }
  void bind(int at, const std::string& text) {
    sqlite3_bind_text(statement_, at, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  void bind(int at, const std::vector<std::uint8_t>& bytes) {
    sqlite3_bind_blob(statement_, at, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  }
  void bind(int at, std::monostate) { bindNull(at); }
  void bind(int at, const FieldValue& value) {
    std::visit([&](const auto& v) { bind(at, v); }, value);
  }
  // SQLITE_ROW or SQLITE_DONE, or an error code.
  int step() { return statement_ != nullptr ? sqlite3_step(statement_) : SQLITE_MISUSE; }
  void reset() { sqlite3_reset(statement_); }
  long long integer(int column) { return sqlite3_column_int64(statement_, column); }
  double real(int column) { return sqlite3_column_double(statement_, column); }
  std::string text(int column) {
    const auto* t = sqlite3_column_text(statement_, column);
    return t != nullptr ? reinterpret_cast<const char*>(t) : "";
  }
  std::vector<std::uint8_t> blob(int column) {
    const auto* b = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement_, column));
    return b != nullptr ? std::vector<std::uint8_t>(b, b + sqlite3_column_bytes(statement_, column))
                        : std::vector<std::uint8_t>();
  }
  FieldValue value(int column, SqlType type) {
    const int stored = sqlite3_column_type(statement_, column);
    if (stored == SQLITE_NULL) return {};
    switch (type) {
      case SqlType::Text: return text(column);
      case SqlType::Real: return real(column);
      case SqlType::Bytes: return blob(column);
      default:
        // A whole-number column of a file from elsewhere may hold a text or a
        // fraction: given as it is, it does not fit the field (fitsColumn).
        if (stored == SQLITE_TEXT) return text(column);
        if (stored == SQLITE_FLOAT) return real(column);
        if (stored == SQLITE_BLOB) return blob(column);
        return integer(column);
    }
  }
  // The columns of a record or row, or of a record's line in a list, from the first on.
  template <typename T>
  int read(const ColumnTable<T>& table, T& out, bool listedOnly = false) {
    unfit_.clear();
    return readColumns(table, out, [this](int at, SqlType type) { return value(at, type); }, listedOnly, &unfit_);
  }
  // The column of the last read() whose value did not fit its field, with the
  // value; empty when all did.
  const std::string& unfit() const { return unfit_; }

 private:
  sqlite3_stmt* statement_ = nullptr;
  std::string unfit_;
};

}  // namespace trimwell
