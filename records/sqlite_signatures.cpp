#include "records/sqlite_signatures.h"

#include "records/sqlite_statement.h"

namespace trimwell {
namespace {

constexpr const char* kColumns =
    "record_uuid, position, record_hash, uid, login, printed_name, groups_held, meaning, reason, utc_time, "
    "signature_hash";

// Groups are kept one per line: no group name holds a line break.
std::string joinGroups(const std::vector<std::string>& groups) {
  std::string out;
  for (const std::string& g : groups) out += (out.empty() ? "" : "\n") + g;
  return out;
}

std::vector<std::string> splitGroups(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t at = 0; !text.empty() && at <= text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    out.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

bool readRows(Statement& query, sqlite3* db, std::vector<signing::KeptSignature>& out, std::string& problem) {
  int state = 0;
  while ((state = query.step()) == SQLITE_ROW) {
    signing::KeptSignature& kept = out.emplace_back();
    signing::Signature& s = kept.signature;
    s.recordUuid = query.text(0);
    s.recordHash = query.text(2);
    s.uid = query.integer(3);
    s.login = query.text(4);
    s.printedName = query.text(5);
    s.groups = splitGroups(query.text(6));
    // A meaning no station writes reads as none of them, so that its hash fails.
    const auto meaning = signing::meaningFromName(query.text(7));
    s.meaning = meaning.value_or(signing::Meaning::Performed);
    s.reason = query.text(8) + (meaning ? "" : "\n(meaning " + query.text(7) + ")");
    s.utcTime = query.text(9);
    kept.keptHash = query.text(10);
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
  Statement insert(db, std::string("INSERT INTO signatures(") + kColumns + ") VALUES (?,?,?,?,?,?,?,?,?,?,?)");
  insert.bind(1, s.recordUuid);
  insert.bind(2, count.integer(0) + 1);
  insert.bind(3, s.recordHash);
  insert.bind(4, s.uid);
  insert.bind(5, s.login);
  insert.bind(6, s.printedName);
  insert.bind(7, joinGroups(s.groups));
  insert.bind(8, std::string(signing::meaningName(s.meaning)));
  insert.bind(9, s.reason);
  insert.bind(10, s.utcTime);
  insert.bind(11, signing::signatureHash(s));
  if (insert.step() == SQLITE_DONE) return true;
  problem = std::string("cannot keep the signature: ") + sqlite3_errmsg(db);
  return false;
}

bool readKeptSignatures(sqlite3* db, std::vector<signing::KeptSignature>& out, std::string& problem,
                        const std::string& uuid) {
  out.clear();
  Statement query(db, std::string("SELECT ") + kColumns + " FROM signatures" +
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
