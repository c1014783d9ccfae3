// sign: a person signs a record in their own session. The record is shown with
// its content hash first; the login and password are asked on the terminal (echo
// off), or read a line each from standard input when it is no terminal.
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "documents/laboratory.h"
#include "documents/record_export.h"
#include "records/record_signing.h"
#include "tools/trimwell_records.h"

namespace trimwell::tool {
namespace {

// A line from standard input; a password without echo on a terminal.
bool askLine(const char* prompt, bool secret, std::string& out) {
  const bool terminal = isatty(STDIN_FILENO) == 1;
  termios saved{};
  if (terminal) {
    std::cerr << prompt << std::flush;
    if (secret && tcgetattr(STDIN_FILENO, &saved) == 0) {
      termios quiet = saved;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
  }
  const bool read = static_cast<bool>(std::getline(std::cin, out));
  if (terminal && secret) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << "\n";
  }
  return read;
}

// What the signer signs: the record as it is now, its signatures, and what the
// audit trail holds about it (which a reviewer reviews).
void showForSigning(RecordStore& store, const CalibrationRecord& record, const std::string& hash) {
  std::cerr << "Record " << record.id << " (" << record.uuid << "), " << record.utcTime << ", " << record.result
            << "\ncontent hash " << hash << "\nsignatures:";
  for (const signing::Signature& s : record.signatures) std::cerr << "\n  " << signatureText(s);
  std::cerr << (record.signatures.empty() ? " none" : "") << "\naudit trail:";
  std::vector<signing::AuditEntry> trail;
  if (!store.recordTrail(record.uuid, trail)) std::cerr << " cannot be read: " << store.problem();
  for (const signing::AuditEntry& e : trail) std::cerr << "\n  " << auditLine(e);
  std::cerr << "\n";
}

int signedOrRefused(RecordSigner& signer, SigningRequest& request) {
  signing::Signature given;
  const bool ok = signer.sign(request, given);
  explicit_bzero(request.password.data(), request.password.size());
  if (!ok) return refused(signer.problem());
  std::cout << "record " << given.recordUuid << " signed as " << signing::meaningName(given.meaning) << " by "
            << given.printedName << " (" << given.login << ") at " << given.utcTime << "\n"
            << "signature " << signing::signatureHash(given) << "\n";
  return kDone;
}

}  // namespace

int signCommand(Context& c) {
  std::vector<std::string>& a = c.args;
  SigningRequest request;
  if (a.size() == 4 && a[2] == "--reason") {
    request.reason = a[3];
    a.resize(2);
  }
  if (a.size() != 2) return badUse("sign takes a record number or identity, a meaning and, to amend, --reason TEXT");
  const auto meaning = signing::meaningFromName(a[1]);
  if (!meaning) return badUse("the meaning " + a[1] + " is none of performed, reviewed, approved or amended");
  request.meaning = *meaning;
  CalibrationRecord record;
  std::string problem;
  if (!findRecord(c.store, a[0], record, problem)) return refused(problem);
  signing::SigningSession session;  // each run is a session of its own
  RecordSigner signer(c.store, signingPolicy(Laboratory::load(c.settings)), session);
  request.uuid = record.uuid;
  if (!signer.shownHash(record.uuid, request.shownHash)) return refused(signer.problem());
  showForSigning(c.store, record, request.shownHash);
  std::cerr << "Signing as " << a[1] << ", as " << signer.signer().login << ".\n";
  if (!askLine("Login: ", false, request.login) || !askLine("Password: ", true, request.password)) {
    return refused("no login and password were given: nothing was signed");
  }
  return signedOrRefused(signer, request);
}

}  // namespace trimwell::tool
