// A script's certificates, DCCs and exports, and its look at the certificates it
// saved through poppler's command-line tools, as any reader of the PDF would see
// it: the text pdftotext finds in it, the page count pdfinfo states. And the
// laboratory that issues them.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "documents/dcc_writer.h"
#include "documents/laboratory.h"
#include "documents/record_export.h"

#include "sim/station/station_script.h"

namespace trimwell::sim {
namespace {

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// What the command prints; false when it cannot be started or ends in failure.
bool commandOutput(const std::string& command, std::string& out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  return pclose(pipe) == 0;
}

// Runs of white space (a table's column gap, a line break) as one space.
std::string folded(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    if (!space) out += c;
    else if (!out.empty() && out.back() != ' ') out += ' ';
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

// expect certificate FILE contains|lacks TEXT | expect certificate FILE pages N |
// expect certificate FILE chart ROW (the row's error chart, drawn: no image in the PDF)
ScriptResult StationScript::expectCertificate(const Words& w) {
  const std::string& how = w.words.size() >= 5 ? w.words[3] : std::string();
  if (how != "contains" && how != "lacks" && how != "pages" && how != "chart") {
    return malformed("expect certificate FILE contains|lacks TEXT|pages N|chart ROW");
  }
  const std::string file = resolve(w.words[2]);
  std::string out;
  if (how == "chart") {
    if (!commandOutput("pdfimages -list " + shellQuoted(file) + " 2>&1", out)) return fail("a PDF in " + w.words[2], out);
    if (std::count(out.begin(), out.end(), '\n') > 2) return fail("a certificate drawn without images", out);
    out.clear();
    if (!commandOutput("pdftotext -layout -enc UTF-8 " + shellQuoted(file) + " - 2>&1", out)) {
      return fail("a PDF in " + w.words[2], out);
    }
    const std::string caption = "Errors of Row " + w.words[4] + ":";
    return folded(out).find(caption) != std::string::npos ? kScriptPassed : fail("\"" + caption + "\"", folded(out));
  }
  if (w.words[3] == "pages") {
    if (!commandOutput("pdfinfo " + shellQuoted(file) + " 2>&1", out)) return fail("a PDF in " + w.words[2], out);
    const std::size_t at = out.find("Pages:");
    const std::string pages = at == std::string::npos ? "no page count" : folded(out.substr(at + 6, out.find('\n', at) - at - 6));
    return pages == w.words[4] ? kScriptPassed : fail(w.words[4] + " pages", pages);
  }
  if (!commandOutput("pdftotext -layout -enc UTF-8 " + shellQuoted(file) + " - 2>&1", out)) {
    return fail("a PDF in " + w.words[2], out);
  }
  const std::string wanted = folded(expandText(w.rests[4]));
  const std::string text = folded(out);
  const bool found = text.find(wanted) != std::string::npos;
  if (how == "lacks") return found ? fail("no \"" + wanted + "\" in the certificate", text) : kScriptPassed;
  return found ? kScriptPassed : fail("\"" + wanted + "\" in the certificate", text);
}

// lab FIELD TEXT: one field of the laboratory, kept in the station's settings as
// its window keeps it; a number pattern it would refuse is told, and not kept.
ScriptResult StationScript::laboratoryCommand(const Words& w) {
  Registry& settings = station_.dialog().settingsRegistry();
  Laboratory lab = Laboratory::load(settings);
  // "lab require approval yes" reads as a sentence; its field is require-approval.
  const bool approval = w.words.size() > 2 && w.words[1] == "require" && w.words[2] == "approval";
  const std::string word = approval ? "require-approval" : w.words[1];
  const std::size_t textAt = approval ? 3 : 2;
  std::string text = w.words.size() > textAt ? expandText(w.rests[textAt]) : std::string();
  // "... signed PASSWORD": an approver's signature over a change of how records are signed.
  std::string password;
  if (const std::size_t at = text.rfind(" signed "); at != std::string::npos) {
    password = text.substr(at + 8);
    text.erase(at);
  }
  for (const LaboratoryField& f : laboratoryFields()) {
    if (word != f.word) continue;
    std::string problem;
    const bool yesNo = f.member == &Laboratory::requireApproval || f.member == &Laboratory::fourEyes;
    if (yesNo && text != "yes" && text != "no") return malformed("lab " + word + " yes|no");
    if (f.member == &Laboratory::numberPattern && !checkNumberPattern(text, problem)) {
      station_.dialog().ShowMessage(problem);
      return kScriptPassed;
    }
    lab.*f.member = text;
    if (std::string place; f.member == &Laboratory::location && !calibrationPlace(lab, place, problem)) {
      station_.dialog().ShowMessage(problem);
      return kScriptPassed;
    }
    std::string approvedBy;
    if (!password.empty() && !approveLabChange(password, approvedBy)) return kScriptPassed;
    if (!lab.saveAndNote(settings, station_.dialog().recordKeeping().store(), problem, approvedBy)) {
      if (problem.empty()) return fail("the laboratory kept", "the settings refused it");
      station_.dialog().ShowMessage(problem);
      return kScriptPassed;
    }
    if (!problem.empty()) station_.dialog().ShowMessage(problem);
    return kScriptPassed;
  }
  return malformed(
      "lab name|address|email|country|location|procedures|certify-unchecked|accreditation-body|accreditation-number|code|station|pattern|performer|seal-key|"
      "seal-certificate|store-ca|operator-group|reviewer-group|approver-group|signing-tries|signing-lock-minutes TEXT, "
      "lab four-eyes yes|no, lab require approval yes|no, each optionally followed by signed PASSWORD");
}

// export csv FILE (every record) | certificate last|ID FILE | dcc last|ID FILE
ScriptResult StationScript::documentCommand(const Words& w) {
  RecordStore* store = station_.dialog().recordKeeping().store();
  if (store == nullptr) return malformed("no record store");
  if (w.words[0] == "export" && w.words.size() >= 3 && w.words[1] == "csv") {
    std::vector<RecordSummary> all;
    std::vector<CalibrationRecord> records;
    if (!store->list(0, all)) return fail("records", store->problem());
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
      records.emplace_back();
      if (!store->load(it->uuid, records.back())) return fail("record " + std::to_string(it->id), store->problem());
    }
    std::ofstream out(savedPath(w.rests[2]), std::ios::binary | std::ios::trunc);
    out << recordsCsv(records);
    if (!out.flush()) return malformed("cannot write " + w.rests[2]);
    if (!store->noteStationEvent("records exported", "", std::to_string(records.size()) + " records to " +
                                                             savedPath(w.rests[2]))) {
      station_.dialog().ShowMessage("The export could not be entered in the audit trail: " + store->problem());
    }
    return kScriptPassed;
  }
  std::string id;
  const bool dcc = w.words[0] == "dcc";
  if ((w.words[0] != "certificate" && !dcc) || w.words.size() < 3 || !recordUuid(w.words[1], id)) {
    return malformed("export csv FILE | certificate last|ID FILE | dcc last|ID FILE");
  }
  CalibrationRecord record;
  if (!store->load(id, record)) return fail("record " + w.words[1], store->problem());
  // As the records window does: the number is given once, before anything is printed.
  const Laboratory lab = Laboratory::load(station_.dialog().settingsRegistry());
  std::string problem;
  if (!issueCertificateNumber(*store, lab, record, problem)) {
    station_.dialog().ShowMessage(problem);
    return kScriptPassed;
  }
  const std::string path = savedPath(w.rests[2]);
  if (dcc) {
    if (!writeDccOf(record, path, problem)) return fail("a DCC", problem);
  } else {
    problem = "no certificate writer in this run";
    if (!writeCertificate || !writeCertificate(record, lab, path, problem)) return fail("a certificate", problem);
  }
  if (!noteIssued(*store, record, dcc ? "DCC issued" : "certificate issued", path, problem)) {
    station_.dialog().ShowMessage(problem);
  }
  return kScriptPassed;
}

// The record's DCC by the lab in the station's settings, with its printed
// certificate inside when this run can draw one (made in a temporary file).
bool StationScript::writeDccOf(const CalibrationRecord& record, const std::string& path, std::string& problem) {
  std::vector<std::uint8_t> pdf;
  const Laboratory lab = Laboratory::load(station_.dialog().settingsRegistry());
  if (writeCertificate) {
    // A name no one could have foreseen, made by this run alone: a link planted
    // under a predictable one would have the certificate written where it leads.
    std::string printed = (std::filesystem::temp_directory_path() / "trimwell-dcc-XXXXXX.pdf").string();
    const int made = mkstemps(printed.data(), 4);
    if (made < 0) {
      problem = "cannot make a temporary file for the printed certificate: " + std::string(std::strerror(errno));
      return false;
    }
    close(made);
    const bool drawn = writeCertificate(record, lab, printed, problem) &&
                       readFileBytes(printed, pdf, std::size_t{64} << 20);
    std::error_code ignored;
    std::filesystem::remove(printed, ignored);
    if (!drawn) {
      if (problem.empty()) problem = "cannot read the printed certificate back";
      return false;
    }
  }
  return writeDccFile(record, lab, pdf, path, problem);
}

}  // namespace trimwell::sim
