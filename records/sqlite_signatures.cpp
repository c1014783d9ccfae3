#include "records/sqlite_signatures.h"

#include "records/sqlite_statement.h"
#include "records/trail_rows.h"

namespace trimwell {
namespace {

bool readRows(Statement& query, sqlite3* db, std::vector<signing::KeptSignature>& out, std::string& problem) {
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    out.push_back(signatureFromRow([&](int column, SqlType type) { return query.value(column, type); }));
  }
  if (state == SQLITE_DONE) return true;
  problem = std::string("cannot read the signatures: ") + sqlite3_errmsg(db);
  return false;
}

}  // namespace

bool insertSignature(sqlite3* db, const signing::Signature& s, std::string& problem) {
  Statement count(db, "SELECT count(*) FROM signatures WHERE record_uuid = ?");
  count.bind(1, s.recordUuid);
  if (count.step() != SQLITE_ROW) {
    problem = std::string("cannot read the signatures: ") + sqlite3_errmsg(db);
    return false;
  }
  Statement insert(db, std::string("INSERT INTO signatures(") + kSignatureColumns + ") VALUES (" +
                           placeholders(kSignatureColumnCount, '?') + ")");
  int at = 1;
  for (const FieldValue& value : signatureRow(s, count.integer(0) + 1)) insert.bind(at++, value);
  if (insert.step() == SQLITE_DONE) return true;
  problem = std::string("cannot keep the signature: ") + sqlite3_errmsg(db);
  return false;
}

bool readKeptSignatures(sqlite3* db, std::vector<signing::KeptSignature>& out, std::string& problem,
                        const std::string& uuid) {
  out.clear();
  Statement query(db, std::string("SELECT ") + kSignatureColumns + " FROM signatures" +
                          (uuid.empty() ? "" : " WHERE record_uuid = ?1") + " ORDER BY record_uuid, position");
  if (!uuid.empty()) query.bind(1, uuid);
  return readRows(query, db, out, problem);
}

bool readSignatures(sqlite3* db, const std::string& uuid, std::vector<signing::Signature>& out,
                    std::string& problem) {
  out.clear();
  std::vector<signing::KeptSignature> kept;
  if (!readKeptSignatures(db, kept, problem, uuid)) return false;
  for (signing::KeptSignature& k : kept) out.push_back(std::move(k.signature));
  return true;
}

}  // namespace trimwell
