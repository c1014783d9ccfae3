// A script's signatures, as a person at the station gives them: `sign` signs the
// last record as the user the script runs as, through PAM; `amend` makes its next
// version; `expect signatures`
// names the meanings the record holds; `verify` walks the records file's audit
// trail. A refused signature is shown as the window shows it, as a message.
#include "documents/laboratory.h"
#include "records/record_signing.h"
#include "records/sqlite_record_store.h"
#include "sim/station/station_script.h"

namespace trimwell::sim {

// sign performed|reviewed|approved|amended PASSWORD [REASON]
ScriptResult StationScript::signCommand(const Words& w) {
  RecordStore* store = station_.dialog().recordKeeping().store();
  std::string uuid;
  const auto meaning = w.words.size() >= 3 ? signing::meaningFromName(w.words[1]) : std::nullopt;
  if (store == nullptr || !meaning || !recordUuid("last", uuid)) {
    return malformed("sign performed|reviewed|approved|amended PASSWORD [REASON], after a record");
  }
  RecordSigner signer(*store, signingPolicy(Laboratory::load(station_.dialog().settingsRegistry())),
                      station_.dialog().recordKeeping().signingSession());
  SigningRequest request;
  request.uuid = uuid;
  request.meaning = *meaning;
  request.login = signer.signer().login;
  request.password = w.words[2];
  request.reason = w.words.size() > 3 ? w.rests[3] : std::string();
  signing::Signature given;
  if (!signer.sign(request, given)) station_.dialog().ShowMessage(signer.problem());
  return kScriptPassed;
}

// The approver's signature a change of the lab's signing rules needs, as the
// laboratory window asks for it; a refusal is shown.
bool StationScript::approveLabChange(const std::string& password, std::string& approvedBy) {
  RecordStore* store = station_.dialog().recordKeeping().store();
  if (store == nullptr) {
    station_.dialog().ShowMessage("The change cannot be signed: this station keeps no records");
    return false;
  }
  RecordSigner signer(*store, signingPolicy(Laboratory::load(station_.dialog().settingsRegistry())),
                      station_.dialog().recordKeeping().signingSession());
  if (signer.approveChange(signer.signer().login, password, approvedBy)) return true;
  station_.dialog().ShowMessage(signer.problem());
  return false;
}

// amend last|ID REASON [-- unit=TEXT; customer=TEXT; ambient=°C; humidity=%]: the
// record's next version, with the typed values it corrects; later checks join it.
ScriptResult StationScript::amendCommand(const Words& w) {
  std::string uuid, problem;
  if (w.words.size() < 2 || !recordUuid(w.words[1], uuid)) return malformed("amend last|ID REASON [-- CORRECTIONS]");
  std::string reason = w.words.size() > 2 ? w.rests[2] : std::string();
  RecordCorrections corrections;
  if (const std::size_t dashes = reason.find(" -- "); dashes != std::string::npos) {
    if (!parseCorrections(reason.substr(dashes + 4), corrections, problem)) return malformed(problem);
    reason.erase(dashes);
  }
  if (!station_.dialog().recordKeeping().amend(uuid, reason, problem, corrections)) {
    station_.dialog().ShowMessage(problem);
  }
  return kScriptPassed;
}

// expect signatures none|MEANING,MEANING...: the last record's, in their order.
ScriptResult StationScript::expectSignatures(const Words& w) {
  RecordStore* store = station_.dialog().recordKeeping().store();
  std::string uuid;
  if (w.words.size() != 3 || store == nullptr || !recordUuid("last", uuid)) {
    return malformed("expect signatures none|performed,reviewed,..., after a record");
  }
  std::vector<signing::Signature> signatures;
  if (!store->signatures(uuid, signatures)) return fail("the record's signatures", store->problem());
  std::string actual;
  for (const signing::Signature& s : signatures) actual += (actual.empty() ? "" : ",") + std::string(meaningName(s.meaning));
  if (actual.empty()) actual = "none";
  return actual == w.words[2] ? kScriptPassed : fail(w.words[2], actual);
}

// expect audit EVENT [-- TEXT]: the last entry of the records file's audit trail is
// EVENT, its details holding TEXT.
ScriptResult StationScript::expectAudit(const Words& w) {
  auto* file = dynamic_cast<SqliteRecordStore*>(station_.dialog().recordKeeping().store());
  std::vector<signing::AuditEntry> entries;
  if (w.words.size() < 3 || file == nullptr) return malformed("expect audit EVENT [-- TEXT], with records in a file");
  if (!file->auditTrail(entries) || entries.empty()) return fail("an audit trail", file->problem());
  const std::string rest = w.rests[2];
  const std::size_t dashes = rest.find(" -- ");
  const std::string event = rest.substr(0, dashes);
  const std::string text = dashes == std::string::npos ? std::string() : expandText(rest.substr(dashes + 4));
  const signing::AuditEntry& last = entries.back();
  if (last.event != event || last.details.find(text) == std::string::npos) {
    return fail(event + (text.empty() ? "" : " with \"" + text + "\""), last.event + ": " + last.details);
  }
  return kScriptPassed;
}

// verify: the station's records file is whole.
ScriptResult StationScript::verifyCommand(const Words& w) {
  auto* file = dynamic_cast<SqliteRecordStore*>(station_.dialog().recordKeeping().store());
  if (w.words.size() != 1 || file == nullptr) return malformed("verify, with the station's records in a file");
  const signing::ChainCheck check = file->verify();
  return check.ok ? kScriptPassed : fail("a whole audit trail", check.problem);
}

}  // namespace trimwell::sim
