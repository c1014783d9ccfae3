// A record's printed certificate and its DCC, which carries the printed one: both
// are drawn by the window toolkit, started here off screen since nothing is shown.
#include <cstdlib>
#include <memory>

#include <QGuiApplication>

#include "app/qt/certificate.h"
#include "records/dcc_writer.h"
#include "records/laboratory.h"
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

// The record named by the command's two arguments, and the file to write.
int recordAndFile(Context& c, const char* command, CalibrationRecord& record, std::string& file) {
  if (c.args.size() != 2) return badUse(std::string(command) + " takes a record number or identity and a file");
  std::string problem;
  if (!findRecord(c.store, c.args[0], record, problem)) return refused(problem);
  file = c.args[1];
  return kDone;
}

}  // namespace

int certificateCommand(Context& c) {
  CalibrationRecord record;
  std::string file, problem;
  if (const int status = recordAndFile(c, "certificate", record, file); status != kDone) return status;
  startToolkit();
  if (!writeCertificatePdf(record, Laboratory::load(c.settings), file, problem)) return refused(problem);
  return kDone;
}

int dccCommand(Context& c) {
  CalibrationRecord record;
  std::string file, problem;
  if (const int status = recordAndFile(c, "dcc", record, file); status != kDone) return status;
  const Laboratory lab = Laboratory::load(c.settings);
  // Refused before the PDF is drawn: a failed write or a restore has no DCC.
  std::string xml;
  if (!writeDcc(record, lab, {}, xml, problem)) return refused(problem);
  startToolkit();
  std::vector<std::uint8_t> pdf;
  if (!certificatePdf(record, lab, pdf, problem)) return refused(problem);
  if (!writeDccFile(record, lab, pdf, file, problem)) return refused(problem);
  return kDone;
}

}  // namespace trimwell::tool
