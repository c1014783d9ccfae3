// A record's printed certificate and its DCC, which carries the printed one, and
// the report of everything kept of it: all are drawn by the window toolkit,
// started here off screen since nothing is shown.
#include <cstdlib>
#include <fstream>
#include <memory>

#include <QGuiApplication>

#include "app/qt/certificate.h"
#include "documents/dcc_writer.h"
#include "documents/laboratory.h"
#include "documents/record_report.h"
#include "tools/trimwell_records.h"

namespace trimwell::tool {
namespace {

void startToolkit() {
  if (qGuiApp != nullptr) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "trimwell-records";
  static char* argv[] = {name, nullptr};
  static QGuiApplication toolkit(argc, argv);
}

// The record named by the command's two arguments, numbered by the laboratory of
// the settings, and the file to write. Without those settings there is no one
// to issue the certificate: the tool says where it looked.
int recordAndFile(Context& c, const char* command, CalibrationRecord& record, Laboratory& lab, std::string& file) {
  if (c.args.size() != 2) return badUse(std::string(command) + " takes a record number or identity and a file");
  std::string problem;
  if (!findRecord(c.store, c.args[0], record, problem)) return refused(problem);
  lab = Laboratory::load(c.settings);
  if (!issueCertificateNumber(c.store, lab, record, problem)) {
    const bool noLab = lab.name.empty();
    return refused(problem + (noLab ? " (looked for in " + c.settingsFile + "; --settings names the station's folder)"
                                    : std::string()));
  }
  file = c.args[1];
  return kDone;
}

}  // namespace

int certificateCommand(Context& c) {
  CalibrationRecord record;
  Laboratory lab;
  std::string file, problem;
  if (const int status = recordAndFile(c, "certificate", record, lab, file); status != kDone) return status;
  startToolkit();
  if (!writeCertificatePdf(record, lab, file, problem)) return refused(problem);
  return noteIssued(c.store, record, "certificate issued", file, problem) ? kDone : refused(problem);
}

int dccCommand(Context& c) {
  CalibrationRecord record;
  Laboratory lab;
  std::string file, problem;
  if (const int status = recordAndFile(c, "dcc", record, lab, file); status != kDone) return status;
  // Refused before the PDF is drawn: a failed write or a restore has no DCC.
  std::string xml;
  if (!writeDcc(record, lab, {}, xml, problem)) return refused(problem);
  startToolkit();
  std::vector<std::uint8_t> pdf;
  if (!certificatePdf(record, lab, pdf, problem)) return refused(problem);
  if (!writeDccFile(record, lab, pdf, file, problem)) return refused(problem);
  return noteIssued(c.store, record, "DCC issued", file, problem) ? kDone : refused(problem);
}

int reportCommand(Context& c) {
  if (c.args.size() != 2) return badUse("report takes a record number or identity and a file");
  CalibrationRecord record;
  std::string problem;
  if (!findRecord(c.store, c.args[0], record, problem)) return refused(problem);
  std::vector<VersionKept> versions;
  if (!everythingKept(c.store, record, versions, problem)) return refused(problem);
  startToolkit();
  std::vector<std::uint8_t> pdf;
  const CertificateDocument report = recordReport(versions, Laboratory::load(c.settings).name, utcNow());
  if (!documentPdf(report, pdf, problem)) return refused(problem);
  std::ofstream out(c.args[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(pdf.data()), static_cast<std::streamsize>(pdf.size()));
  if (!out.flush()) return refused("cannot write " + c.args[1]);
  if (!c.store.noteStationEvent("record report exported", record.uuid, c.args[1])) {
    return refused("the report was saved, but its export could not be entered in the audit trail: " +
                   c.store.problem());
  }
  return kDone;
}

}  // namespace trimwell::tool
