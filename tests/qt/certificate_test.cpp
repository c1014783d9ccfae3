// Certificates and reports read back from the PDFs the station saves, as any
// reader would see them (poppler's pdftotext and pdfinfo), and saving them from
// the records view and the laboratory's window.
#include <QAction>
#include <QDir>
#include <QComboBox>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "app/qt/certificate.h"
#include "app/qt/error_chart.h"
#include "app/qt/laboratory_window.h"
#include "app/qt/records_window.h"
#include "app/qt/sign_window.h"
#include "app/qt/station_window.h"
#include "records/sqlite_record_store.h"
#include "sim/station/simulated_station.h"
#include "support/drop_triggers.h"
#include "support/pam_passwords.h"
#include "support/signed_record.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

std::string commandOutput(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// White space runs as one space; `none` drops them altogether.
std::string folded(const std::string& text, bool none = false) {
  std::string out;
  for (char c : text) {
    if (c != ' ' && c != '\n' && c != '\t' && c != '\r' && c != '\f') out += c;
    else if (!none && !out.empty() && out.back() != ' ') out += ' ';
  }
  return out;
}

struct PdfText {
  int pages = 0;  // as pdfinfo states it
  std::vector<std::string> page;  // each page's text, white space folded
  std::string all;
};

PdfText readBack(const std::string& pdf) {
  PdfText t;
  const std::string info = commandOutput("pdfinfo '" + pdf + "'");
  const std::size_t at = info.find("Pages:");
  if (at != std::string::npos) t.pages = std::atoi(info.c_str() + at + 6);
  const std::string text = commandOutput("pdftotext -layout -enc UTF-8 '" + pdf + "' -");
  std::size_t from = 0;
  for (std::size_t end; (end = text.find('\f', from)) != std::string::npos; from = end + 1) {
    t.page.push_back(folded(text.substr(from, end - from)));
  }
  t.all = folded(text);
  return t;
}

Laboratory sampleLab() {
  Laboratory lab;
  lab.name = "\u6821\u51c6\u5b9e\u9a8c\u5ba4 Kalibrierlabor Nord";  // CJK, then Latin
  lab.address = "Hafenstra\u00dfe 3\n20457 Hamburg";
  lab.code = "KLN";
  lab.stationCode = "B2";
  lab.numberPattern = "{lab}-{station}-{seq:05}";
  lab.performer = "A. Weber";
  lab.requireApproval = "no";  // drafts: the records here are not signed
  return lab;
}

metrology::PointResult pointResult(double reference, double reading) {
  metrology::PointResult p;
  p.referenceValue = reference;
  p.reading = reading;
  p.uncertainty.contributions = {{"reference standard", 0.05, 2.0, 1.0}, {"repeatability", 0.0123456789, 1.0, 1.0}};
  p.limit = 0.5;
  p.rule = metrology::DecisionRule::kGuarded;
  const bool inside = std::abs(p.error()) <= 0.5 - p.uncertainty.expanded();
  p.verdict = inside ? metrology::Verdict::kPass : metrology::Verdict::kFail;
  return p;
}

constexpr double kStep = 0.234567890123456789;
const double kFirstReading = 20.0 - 3 * kStep;
const std::string kUnbroken(160, 'W');  // wider than a line: it has to wrap inside the word
const std::string kLongName = "Conductivity at the far end of the outflow channel of basin three " + kUnbroken;

// Six rows, each with its standard and two results as found and two as left; a
// long row name, non-Latin texts, readings with every digit significant.
CalibrationRecord sixRowRecord() {
  CalibrationRecord r;
  r.id = 42;
  r.utcTime = "2026-03-02T09:15:00Z";
  r.operatorName = "operator";
  r.stationVersion = "Trimwell 1.21";
  r.interfaceKind = "USB";
  r.sensorId = 221;
  r.datasheetName = "Thermal probe";
  r.datasheetVersion = "1.02";
  r.unit = "TP-0042";
  r.customer = "\u041e\u041e\u041e \u00ab\u0421\u0438\u0431\u0438\u0440\u0441\u043a\u0438\u0435 \u0434\u0430\u0442\u0447\u0438\u043a\u0438\u00bb";
  r.ambientTemperature = 23.1;
  r.relativeHumidity = 45;
  r.decisionRule = "guarded";
  r.success = true;
  r.result = "written and verified";
  for (int row = 0; row < 6; ++row) {
    RecordRow x;
    x.measurementId = 10 + row;
    x.name = row == 2 ? kLongName : "Temperature " + std::to_string(row + 1);
    x.constants = {400.0, 37.0 + row, 800.0, 92.2 + row};
    r.rows.push_back(x);
    metrology::StandardEntry e{"TB-" + std::to_string(row + 1), "SN-44" + std::to_string(row), "C-2026-118",
                               "Kalibrierlabor-Nord", "2026-01-15", "2099-01-15", "temperature", "\u00b0C", {}};
    e.uncertainty = {0.05, 0, 2};
    r.standards.push_back({row, e});
    for (int i = 0; i < 4; ++i) {
      const double reference = 20.0 + 10 * row + i;
      r.results.push_back({row, i >= 2, pointResult(reference, reference + kStep * (i % 2 ? 1 : -3))});
    }
  }
  r.asFoundCalibration.assign(48, 0xA5);
  r.asFoundImage.assign(700, 1);
  return r;
}

class Certificates : public ::testing::Test {
 protected:
  PdfText saved(const CalibrationRecord& record, const Laboratory& lab = sampleLab()) {
    const std::string pdf = folder.file("document.pdf");
    std::string problem;
    EXPECT_TRUE(writeCertificatePdf(record, lab, pdf, problem)) << problem;
    return readBack(pdf);
  }
  test::TempDir folder;
};

// Pixels of the tolerance band's colour on the PDF's pages, rendered as a reader's
// viewer renders them.
long bandPixels(const std::string& pdf, const std::string& folder) {
  commandOutput("pdftoppm -r 40 '" + pdf + "' '" + folder + "/page'");
  long count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".ppm") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string magic;
    int width = 0, height = 0, depth = 0;
    in >> magic >> width >> height >> depth;
    in.get();
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
      const QColor c(rgb[i], rgb[i + 1], rgb[i + 2]);
      count += std::abs(c.red() - kToleranceBand.red()) + std::abs(c.green() - kToleranceBand.green()) +
                           std::abs(c.blue() - kToleranceBand.blue()) <= 6;
    }
    std::filesystem::remove(entry.path());
  }
  return count;
}

// Each row's errors are drawn under its tables: as vectors (no image in the PDF),
// with the tolerance's band where there is one, and a caption that names the row.
TEST_F(Certificates, EachRowsErrorsAreDrawnAsVectorsAgainstItsToleranceBand) {
  CalibrationRecord record = sixRowRecord();
  const PdfText pdf = saved(record);
  const std::string file = folder.file("document.pdf");
  for (int row = 1; row <= 6; ++row) {
    EXPECT_NE(pdf.all.find("Errors of Row " + std::to_string(row) + ":"), std::string::npos) << row;
  }
  const std::string images = commandOutput("pdfimages -list '" + file + "'");
  EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2) << images;  // its two heading lines alone
  const long banded = bandPixels(file, folder.path().string());
  EXPECT_GT(banded, 600);
  // Without a tolerance there is no band; a row without results has no chart.
  for (RecordResult& x : record.results) x.result.limit.reset();
  std::erase_if(record.results, [](const RecordResult& x) { return x.row == 3; });
  const PdfText bare = saved(record);
  EXPECT_EQ(bandPixels(file, folder.path().string()), 0);
  EXPECT_EQ(bare.all.find("Errors of Row 4:"), std::string::npos);
  EXPECT_NE(bare.all.find("Errors of Row 5:"), std::string::npos);
}

// Where each heading word of the results tables starts on its page, in the order
// printed: pdftotext's word boxes.
std::vector<double> columnStarts(const std::string& pdf, const std::string& word) {
  const std::string boxes = commandOutput("pdftotext -bbox -enc UTF-8 '" + pdf + "' -");
  std::vector<double> starts;
  const std::string end = ">" + word + "</word>";
  for (std::size_t at = boxes.find(end); at != std::string::npos; at = boxes.find(end, at + 1)) {
    const std::size_t x = boxes.rfind("xMin=\"", at);
    if (x != std::string::npos) starts.push_back(std::atof(boxes.c_str() + x + 6));
  }
  return starts;
}

// A row's as-found and as-left tables have their columns in the same places, even
// where the cells of one are narrower (no tolerance as left).
TEST_F(Certificates, ARowsTablesShareTheirColumns) {
  CalibrationRecord record = sixRowRecord();
  record.rows.resize(1);
  record.standards.resize(1);
  std::erase_if(record.results, [](const RecordResult& x) { return x.row != 0; });
  for (RecordResult& x : record.results) {
    if (x.asLeft) x.result.limit.reset(), x.result.verdict = metrology::Verdict::kNotStated;
  }
  saved(record);
  const std::vector<double> verdicts = columnStarts(folder.file("document.pdf"), "Verdict");
  const std::vector<double> readings = columnStarts(folder.file("document.pdf"), "Reading");
  ASSERT_EQ(verdicts.size(), 2u);
  ASSERT_EQ(readings.size(), 2u);
  EXPECT_DOUBLE_EQ(verdicts[0], verdicts[1]);
  EXPECT_DOUBLE_EQ(readings[0], readings[1]);
}

struct DocumentCase {
  const char* name;
  void (*make)(CalibrationRecord&);
  const char* head;  // the number's label and the number, on every page
  const char* end;
  int pages;  // at least
  std::vector<std::string> wanted;
  std::vector<std::string> unwanted;
};

void PrintTo(const DocumentCase& c, std::ostream* out) { *out << c.name; }

class Documents : public Certificates, public ::testing::WithParamInterface<DocumentCase> {};

TEST_P(Documents, StateWhatTheyAreOnEveryPageAndEndOnTheLast) {
  const DocumentCase& c = GetParam();
  CalibrationRecord record = sixRowRecord();
  c.make(record);
  const PdfText pdf = saved(record);
  ASSERT_GE(pdf.pages, c.pages);
  ASSERT_EQ(static_cast<int>(pdf.page.size()), pdf.pages);
  for (int i = 0; i < pdf.pages; ++i) {
    const std::string& page = pdf.page[static_cast<std::size_t>(i)];
    EXPECT_NE(page.find(std::string(c.head) + " Page " + std::to_string(i + 1) + " of " + std::to_string(pdf.pages)),
              std::string::npos) << page;
    EXPECT_EQ(page.find(c.end) != std::string::npos, i + 1 == pdf.pages) << "page " << i + 1;
    // A record not approved as it stands is a draft, on every page.
    EXPECT_EQ(page.find(kDraftMark) != std::string::npos, !approvalProblem(record).empty()) << "page " << i + 1;
  }
  for (const std::string& w : c.wanted) EXPECT_NE(pdf.all.find(w), std::string::npos) << w << " in\n" << pdf.all;
  for (const std::string& u : c.unwanted) EXPECT_EQ(pdf.all.find(u), std::string::npos) << u;
  if (::testing::Test::HasFailure()) std::cerr << pdf.pages << " pages:\n" << pdf.all << "\n";
}


INSTANTIATE_TEST_SUITE_P(
    Kinds, Documents,
    ::testing::Values(
        DocumentCase{"certificate", test::passThroughTheLab, "Certificate number KLN-B2-00042", "End of certificate", 3,
                     {"Calibration certificate", "Result of the write written and verified",
                      "Condition as received out of tolerance (as-found verdict: fail)",
                      "Unit \u00b0C (the unit of the row's reference standard TB-1)",
                      // U rounded up to two digits, the values to its place
                      "1 20.000 19.296 -0.704 0.056 (k = 2.00) \u00b1 0.500 fail",
                      "U (k), about 95 %", "Statement of conformity",
                      "Decision rule applied Guarded acceptance, guard band w = U",
                      "Row 1: Temperature 1 as found: fail; as left: fail",
                      "Performed by Ana Roth (aroth), performed 2026-03-03T10:00:00Z Reviewed by Carl Stein (cstein), "
                      "reviewed 2026-03-03T10:01:00Z Authorised by Bo Lind (blind), approved 2026-03-03T10:02:00Z",
                      "The results relate only to the item calibrated."},
                     {"Calibration report", "A. Weber"}},
        // Unsigned, or changed after its approval: a draft, which says so where the
        // authoriser would sign.
        DocumentCase{"draft", [](CalibrationRecord&) {}, "Certificate number KLN-B2-00042", "End of certificate", 3,
                     {"Performed by operator (not signed) Authorised by DRAFT - not approved"},
                     {"Reviewed by", "A. Weber"}},
        DocumentCase{"changed_after_approval",
                     [](CalibrationRecord& r) {
                       test::passThroughTheLab(r);
                       r.customer = "someone else";
                     },
                     "Certificate number KLN-B2-00042", "End of certificate", 3,
                     {"Authorised by DRAFT - not approved", "Earlier signatures Ana Roth (aroth), performed"},
                     {"Performed by Ana Roth"}},
        // An amendment: who calibrated is the operator the record names, not the
        // lab's performer; its amender signed it.
        DocumentCase{"amendment",
                     [](CalibrationRecord& r) {
                       r.operatorName = "jdoe";
                       r.operatorFullName = "Jane Doe";
                       r.amendsUuid = "11111111-2222-4333-8444-555555555555";
                       r.revision = 1;
                       r.amendmentReason = "customer's name misspelt";
                       using signing::Meaning;
                       r.signatures = {
                           test::signatureBy(r, Meaning::Amended, 1002, "cstein", "Carl Stein", "trimwell-operator"),
                           test::signatureBy(r, Meaning::Approved, 1003, "blind", "Bo Lind", "trimwell-approver")};
                     },
                     "Certificate number KLN-B2-00042", "End of certificate", 3,
                     {"Performed by Jane Doe (jdoe) (who calibrated, as the version amended names them) Amended by "
                      "Carl Stein (cstein), amended"},
                     {"A. Weber"}},
        // A row left out is written a plain line, and the certificate says which.
        DocumentCase{"row_left_out",
                     [](CalibrationRecord& r) {
                       r.rows[1].leftOut = true;
                       r.rows[1].constants = {0, 0, 1, 0};
                       std::erase_if(r.results, [](const RecordResult& x) { return x.row == 1; });
                     },
                     "Certificate number KLN-B2-00042", "End of certificate", 3,
                     {"was left out: its calibration was replaced by the plain line Pt1 Raw 0, Pt1 Data 0, Pt2 Raw 1, "
                      "Pt2 Data 0.", "Constants written Pt1 Raw 400, Pt1 Data 37, Pt2 Raw 800, Pt2 Data 92.2"},
                     {"none (row left out)", "No results were taken for this row", "Results, Row 2"}},
        // A record from elsewhere with an address longer than a page: it goes on
        // over the next page rather than past the edge of the first.
        DocumentCase{"address_longer_than_a_page",
                     [](CalibrationRecord& r) {
                       test::passThroughTheLab(r);
                       r.customerAddress.clear();
                       for (int line = 0; line < 120; ++line) r.customerAddress += "Hall " + std::to_string(line) + "\n";
                     },
                     "Certificate number KLN-B2-00042", "End of certificate", 4,
                     {"Hall 47", "Hall 48", "Hall 119", "Calibration certificate"},
                     {}},
        DocumentCase{"failed_write",
                     [](CalibrationRecord& r) {
                       r.success = false;
                       r.result = "Could not write the calibration data to the EEPROM";
                       r.asLeftCalibration = r.asFoundCalibration;
                       r.asLeftCalibration[3] = 0;
                       r.asLeftCalibration[4] = 0;
                       r.asLeftCalibration[40] = 0;
                     },
                     "Report number KLN-B2-00042", "End of report", 3,
                     {"Calibration report", "Result of the write failed: Could not write the calibration data to the EEPROM",
                      "What the sensor holds now calibration block changed: 3 of 48 bytes differ from as found; "
                      "datasheet not read back.",
                      "The calibration failed: no certificate is issued for it.", "Constants written none (write failed)"},
                     {"written and verified", "Calibration certificate", "Statement of conformity", "End of certificate"}},
        DocumentCase{"restore",
                     [](CalibrationRecord& r) {
                       r.kind = RecordKind::Restore;
                       r.restoredFrom = 12;
                       r.results.clear();
                     },
                     "Report number KLN-B2-00042", "End of report", 1,
                     {"Restore report", "Restored from record 12", "Result written and verified",
                      "it is no calibration, and this report states no results."},
                     {"Calibration certificate", "Statement of conformity", "As found"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Certificates, LongNamesWrapWholeAndNonLatinTextPrints) {
  const PdfText pdf = saved(sixRowRecord());
  // A section's heading runs the page's width: wrapped, its lines follow each other.
  EXPECT_NE(folded(pdf.all, true).find(folded("Results, Row 3: " + kLongName, true)), std::string::npos);
  EXPECT_NE(pdf.all.find("\u041e\u041e\u041e \u00ab\u0421\u0438\u0431\u0438\u0440\u0441\u043a\u0438\u0435"),
            std::string::npos);
  EXPECT_NE(pdf.all.find("\u6821\u51c6\u5b9e\u9a8c\u5ba4 Kalibrierlabor Nord"), std::string::npos);
  EXPECT_NE(pdf.all.find("Address Hafenstra\u00dfe 3 20457 Hamburg"), std::string::npos);
}

// Refused for what the DCC is refused for: no number of its own yet, or a result
// whose numbers it cannot state; the number given once is the one printed.
struct PrintRefusal {
  const char* name;
  void (*spoil)(CalibrationRecord&);
  std::string problem;
};
void PrintTo(const PrintRefusal& c, std::ostream* os) { *os << c.name; }

class CertificateRefused : public Certificates, public ::testing::WithParamInterface<PrintRefusal> {};

TEST_P(CertificateRefused, NamesWhyAndPrintsNothing) {
  CalibrationRecord record = sixRowRecord();
  GetParam().spoil(record);
  std::vector<std::uint8_t> pdf;
  std::string problem;
  EXPECT_FALSE(certificatePdf(record, sampleLab(), pdf, problem));
  EXPECT_NE(problem.find(GetParam().problem), std::string::npos) << problem;
  EXPECT_TRUE(pdf.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Records, CertificateRefused,
    ::testing::Values(PrintRefusal{"waiting", [](CalibrationRecord& r) { r.waiting = true; }, kNotYetNumbered},
                      PrintRefusal{"never_numbered", [](CalibrationRecord& r) { r.id = 0; }, kNotYetNumbered},
                      PrintRefusal{"uncertainty_overflows",
                                   [](CalibrationRecord& r) {
                                     auto& u = r.results[0].result.uncertainty;
                                     u.contributions[0].value = 1e308;  // u = 1e308 / k of the standard
                                     u.coverageFactor = 10.0;           // U = 10 u: beyond any double
                                   },
                                   "an expanded uncertainty that is not a finite number (inf)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Certificates, TheNumberGivenOnceIsTheOnePrinted) {
  CalibrationRecord record = sixRowRecord();
  record.certificateNumber = "KLN-B2-00007";
  EXPECT_NE(saved(record).page.at(0).find("Certificate number KLN-B2-00007 Page 1 of"), std::string::npos);
}

// The records view over a real records file: a save needs an opened record
// before it asks for a name, adds the format's extension and tells the path.
class RecordsSaving : public ::testing::Test {
 protected:
  RecordsSaving()
      : window([this](WindowControls& controls) -> CalibrationDialog& {
          DialogPaths p;
          p.datasheetFolder = TRIMWELL_SAMPLE_DIR;
          p.recordsFile = folder.file("records.sqlite");
          station = std::make_unique<sim::SimulatedStation>(controls, registry, p);
          return station->dialog();
        }) {
    window.controls().boxOpened = [this](QMessageBox& box) {
      boxes.push_back(box.text().toStdString());
      box.done(QMessageBox::Ok);
    };
    EXPECT_TRUE(sampleLab().save(registry));
    SqliteRecordStore store(folder.file("records.sqlite"));
    CalibrationRecord record = sixRowRecord();
    EXPECT_TRUE(store.add(record)) << store.problem();
  }
  ~RecordsSaving() override { station.reset(); }
  void click(RecordsWindow& records, const char* button) {
    auto* b = records.findChild<QPushButton*>(QString::fromUtf8(button));
    ASSERT_NE(b, nullptr) << button;
    b->click();
  }

  test::TempDir folder;
  MemoryRegistry registry;
  std::unique_ptr<sim::SimulatedStation> station;
  StationWindow window;
  std::vector<std::string> boxes;
  int asked = 0;
};

struct SaveCase {
  const char* button;
  const char* typed;  // the name the operator types
  const char* file;   // what is saved
  const char* starts;  // the file's first bytes
};

class SaveButtons : public RecordsSaving, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SaveButtons, AskForARecordFirstThenSaveWithTheExtensionAndSaySo) {
  const SaveCase& c = GetParam();
  RecordsWindow records(station->dialog(), &window);
  std::vector<std::string> suggested;
  records.askFileName = [&](const QString&, const QString&, const QString& offered) {
    ++asked;
    suggested.push_back(offered.toStdString());
    return QString::fromStdString(folder.file(c.typed));
  };
  records.dccWriter = [](const CalibrationRecord& r, const Laboratory& lab, const std::vector<std::uint8_t>& pdf,
                         const std::string& path, std::string&) {
    std::ofstream(path) << "<dcc number=\"" << certificateNumber(lab, r) << "\" pdf=\"" << pdf.size() << "\"/>";
    return pdf.size() > 4 && std::string(pdf.begin(), pdf.begin() + 4) == "%PDF";
  };
  click(records, c.button);
  EXPECT_EQ(asked, 0);
  ASSERT_EQ(boxes, std::vector<std::string>{"Select a record in the list first."});
  records.table()->selectRow(0);
  click(records, c.button);
  EXPECT_EQ(asked, 1);
  const std::string path = folder.file(c.file);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], "Saved " + path);
  std::ifstream in(path);
  std::string first(std::strlen(c.starts), '\0');
  in.read(first.data(), static_cast<std::streamsize>(first.size()));
  EXPECT_EQ(first, c.starts);
  // The first offer is the record's number in the home folder; the next, the
  // certificate's number (once issued) in the folder saved to.
  const std::string extension = std::string(c.file).substr(std::string(c.file).rfind('.'));
  ASSERT_EQ(suggested.size(), 1u);
  EXPECT_EQ(suggested[0], QDir::home().filePath(QStringLiteral("record-1")).toStdString() +
                              (extension == ".CSV" ? ".csv" : extension));
  click(records, c.button);
  ASSERT_EQ(suggested.size(), 2u);
  const std::string named = std::string(c.button) == "savecsv" ? "record-1" : "KLN-B2-00001";
  EXPECT_EQ(suggested[1], folder.file(named) + (extension == ".CSV" ? ".csv" : extension));
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveButtons,
                         ::testing::Values(SaveCase{"savepdf", "cert", "cert.pdf", "%PDF"},
                                           SaveCase{"savexml", "dcc", "dcc.xml", "<dcc number=\"KLN-B2-00001\" pdf="},
                                           SaveCase{"savecsv", "all.CSV", "all.CSV", "record,kind"}),
                         [](const auto& info) { return std::string(info.param.button); });

// Signing in the window: the record as it is, with its trail; the session's first
// signature takes login and password, a later one the password; a wrong password
// is refused in the window and nothing of it stays in the field.
TEST_F(RecordsSaving, SignsTheOpenedRecordInTheSignatureWindow) {
  test::PamPasswords passwords("Kalibrier-2026");
  Laboratory lab = sampleLab();
  lab.operatorGroup = lab.reviewerGroup = lab.approverGroup = groupsOf(currentPerson().login).front();
  ASSERT_TRUE(lab.save(registry));
  RecordsWindow records(station->dialog(), &window);
  records.table()->selectRow(0);
  std::vector<std::string> shown, refusals;
  std::vector<bool> loginAsked;
  const auto signAs = [&](const char* meaning, std::vector<std::string> passwords) {
    records.openSigning = [&, meaning, passwords](QDialog& opened) {
      auto& w = dynamic_cast<SignWindow&>(opened);
      shown.push_back(w.shown()->toPlainText().toStdString());
      loginAsked.push_back(w.login()->isVisibleTo(&w));
      w.meaning()->setCurrentText(QString::fromUtf8(meaning));
      w.login()->setText(QString::fromStdString(currentPerson().login));
      for (const std::string& p : passwords) {
        w.password()->setText(QString::fromStdString(p));
        const bool ok = w.sign();
        EXPECT_TRUE(w.password()->text().isEmpty());
        if (ok) return int(QDialog::Accepted);
        refusals.push_back(w.problem());
      }
      return int(QDialog::Rejected);
    };
    records.findChild<QPushButton*>(QStringLiteral("sign"))->click();
  };
  signAs("performed", {"guess", "Kalibrier-2026"});
  signAs("reviewed", {"Kalibrier-2026"});
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_NE(shown[0].find("Content hash"), std::string::npos) << shown[0];
  EXPECT_NE(shown[0].find("record made"), std::string::npos) << shown[0];  // the trail, for the reviewer
  EXPECT_NE(shown[1].find("record signed"), std::string::npos) << shown[1];
  EXPECT_EQ(loginAsked, (std::vector<bool>{true, false}));
  EXPECT_EQ(refusals, std::vector<std::string>{"The signature was refused: the password is not right"});
  const std::string details = records.details()->toPlainText().toStdString();
  EXPECT_NE(details.find(", performed 20"), std::string::npos) << details;
  EXPECT_NE(details.find(", reviewed 20"), std::string::npos) << details;
  EXPECT_EQ(details.find("Kalibrier"), std::string::npos);

  // Changed behind the station's back, the record says so when opened, and gets no certificate.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(folder.file("records.sqlite").c_str(), &db), SQLITE_OK);
  test::dropTriggers(db);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE records SET customer = 'someone else'", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  records.refresh();
  records.table()->selectRow(0);
  EXPECT_NE(records.labFacts()->text().toStdString().find("This record does not match its audit trail: it was changed after audit entry"),
            std::string::npos)
      << records.labFacts()->text().toStdString();
  EXPECT_FALSE(records.saveCertificate(QString::fromStdString(folder.file("changed.pdf"))));
  EXPECT_NE(records.problem().find("does not match its audit trail"), std::string::npos) << records.problem();
}

// Amend... makes the opened record's next version, with the reason asked for; an
// empty reason makes none, and a version is amended once.
TEST_F(RecordsSaving, AmendMakesTheNextVersionWithItsReason) {
  RecordsWindow records(station->dialog(), &window);
  records.table()->selectRow(0);
  QString reason = QStringLiteral(" ");
  RecordCorrections corrections;
  records.askAmendment = [&](const CalibrationRecord&, QString& given, RecordCorrections& corrected) {
    given = reason;
    corrected = corrections;
    return true;
  };
  auto* amend = records.findChild<QPushButton*>(QStringLiteral("amend"));
  ASSERT_NE(amend, nullptr);
  amend->click();
  ASSERT_EQ(boxes, std::vector<std::string>{"An amendment needs its reason"});
  EXPECT_EQ(records.table()->rowCount(), 1);
  reason = QStringLiteral("the customer's name was mistyped");
  corrections.customer = "Brook Water Laboratory Ltd";
  records.table()->selectRow(0);
  amend->click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(records.table()->rowCount(), 2);
  RecordStore& store = *station->dialog().recordKeeping().store();
  CalibrationRecord first, next;
  std::vector<RecordSummary> all;
  ASSERT_TRUE(store.list(0, all));
  ASSERT_TRUE(store.load(all.back().uuid, first));
  ASSERT_TRUE(store.load(all.front().uuid, next));
  EXPECT_EQ(next.amendsUuid, first.uuid);
  EXPECT_EQ(next.revision, 1);
  EXPECT_EQ(next.amendmentReason, "the customer's name was mistyped");
  EXPECT_EQ(next.customer, "Brook Water Laboratory Ltd");
  std::vector<signing::AuditEntry> about;
  ASSERT_TRUE(store.recordTrail(next.uuid, about));
  ASSERT_EQ(about.size(), 2u);
  EXPECT_EQ(about[1].event, "record corrected");
  EXPECT_EQ(about[1].details, "customer: \"" + first.customer + "\" -> \"Brook Water Laboratory Ltd\"");
  EXPECT_EQ(next.results.size(), first.results.size());
  // The calibration's own time and operator: when it was amended is the trail's.
  EXPECT_EQ(next.utcTime, first.utcTime);
  EXPECT_EQ(next.operatorName, first.operatorName);
  EXPECT_EQ(station->dialog().recordKeeping().lastRecord(), next.uuid);
  const std::string details = records.details()->toPlainText().toStdString();
  EXPECT_NE(details.find("Amends record\n" + first.uuid + " (revision 1): the customer's name was mistyped"),
            std::string::npos)
      << details;
  // The first version is amended once: its next version is the one to amend.
  records.table()->selectRow(1);
  amend->click();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2], "Record " + std::to_string(first.id) + " is amended already: amend its latest version");
  EXPECT_EQ(records.table()->rowCount(), 2);
  // Nothing new is issued of a replaced version: its amendment is the one to issue.
  EXPECT_FALSE(records.saveCertificate(QString::fromStdString(folder.file("replaced.pdf"))));
  EXPECT_NE(records.problem().find("it was amended (its next version is " + next.uuid + ")"), std::string::npos)
      << records.problem();
}

TEST_F(RecordsSaving, ADccWithoutItsWriterIsRefusedAndNothingSaved) {
  RecordsWindow records(station->dialog(), &window);
  records.askFileName = [&](const QString&, const QString&, const QString&) {
    return QString::fromStdString(folder.file("dcc"));
  };
  records.table()->selectRow(0);
  click(records, "savexml");
  EXPECT_EQ(boxes, std::vector<std::string>{"This station cannot write a DCC."});
  EXPECT_FALSE(std::ifstream(folder.file("dcc.xml")).good());
}

TEST_F(RecordsSaving, TheLaboratoryWindowKeepsItsFieldsAndRefusesAPatternWithoutTheNumber) {
  bool inMenu = false;
  for (QAction* a : window.findChildren<QAction*>()) inMenu = inMenu || a->text() == QStringLiteral("La&boratory...");
  EXPECT_TRUE(inMenu);
  LaboratoryWindow lab(registry, window.controls(), &window, station->dialog().recordKeeping().store());
  EXPECT_EQ(lab.labCode()->text().toStdString(), "KLN");
  lab.name()->setText(QStringLiteral("Labor S\u00fcd"));
  lab.address()->setPlainText(QStringLiteral("Weg 1\n80331 M\u00fcnchen"));
  lab.accreditationNumber()->setText(QStringLiteral("D-K-1"));
  lab.numberPattern()->setText(QStringLiteral("{lab}-{year}"));
  EXPECT_FALSE(lab.save());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "The certificate number pattern needs {seq} or {seq:0N}, so that no two numbers are alike");
  EXPECT_EQ(Laboratory::load(registry).name, sampleLab().name);  // nothing kept
  lab.numberPattern()->setText(QStringLiteral("{lab}-{seq:06}"));
  // Half a seal is refused, naming what is missing; nothing is kept.
  lab.sealKey()->setText(QString::fromStdString(folder.file("seal.key")));
  EXPECT_FALSE(lab.save());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], "The laboratory's seal needs both its key and its certificate (PEM files); only one is set");
  lab.sealKey()->clear();
  // Signing: every role needs its group; the lockout the window does not show stays.
  lab.reviewerGroup()->clear();
  EXPECT_FALSE(lab.save());
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2], "Each role needs its group: operators, reviewers and approvers");
  lab.reviewerGroup()->setText(QStringLiteral("qs-review"));
  // Where it calibrates: the laboratory, or on site with the place named.
  lab.location()->setText(QStringLiteral("on-site"));
  EXPECT_FALSE(lab.save());
  EXPECT_EQ(boxes.back(), "The laboratory's location \"on-site\" is neither laboratory or on-site PLACE");
  lab.location()->setText(QStringLiteral("on-site Werk 2, Halle 3"));
  lab.email()->setText(QStringLiteral("qs@labor-sued.example"));
  lab.country()->setText(QStringLiteral("DE"));
  EXPECT_FALSE(lab.requireApproval()->isChecked());  // the sample lab allows drafts
  EXPECT_TRUE(lab.fourEyes()->isChecked());
  lab.requireApproval()->setChecked(true);
  lab.fourEyes()->setChecked(false);
  // Even while drafts are allowed, that changes how records are signed: not
  // without an approver's signature, which this window cannot ask.
  EXPECT_FALSE(lab.save());
  EXPECT_EQ(boxes.back(), kSigningChangeNeedsApproval);
  EXPECT_EQ(Laboratory::load(registry).fourEyes, "yes");
  // As the lab's administrator sets the station up, in its settings file.
  Laboratory setUp = Laboratory::load(registry);
  setUp.signingTries = "5";
  setUp.reviewerGroup = "qs-review";
  setUp.requireApproval = "yes";
  setUp.fourEyes = "no";
  ASSERT_TRUE(setUp.save(registry));
  ASSERT_TRUE(lab.save());
  const Laboratory kept = Laboratory::load(registry);
  EXPECT_EQ(kept.reviewerGroup, "qs-review");
  EXPECT_EQ(kept.requireApproval, "yes");
  EXPECT_EQ(kept.fourEyes, "no");
  EXPECT_EQ(kept.signingTries, "5");
  // Each change saved is in the audit trail, as it was and as it is.
  std::vector<signing::AuditEntry> trail;
  ASSERT_TRUE(SqliteRecordStore(folder.file("records.sqlite")).auditTrail(trail));
  ASSERT_FALSE(trail.empty());
  EXPECT_EQ(trail.back().event, "laboratory settings changed");
  for (const char* change : {"name: ", "pattern: \"{lab}-{station}-{seq:05}\" -> \"{lab}-{seq:06}\""}) {
    EXPECT_NE(trail.back().details.find(change), std::string::npos) << trail.back().details;
  }
  EXPECT_EQ(kept.name, "Labor S\u00fcd");
  EXPECT_EQ(kept.address, "Weg 1\n80331 M\u00fcnchen");
  EXPECT_EQ(kept.location, "on-site Werk 2, Halle 3");
  EXPECT_EQ(kept.email, "qs@labor-sued.example");
  EXPECT_EQ(kept.country, "DE");
  EXPECT_EQ(kept.accreditationNumber, "D-K-1");
  EXPECT_EQ(kept.numberPattern, "{lab}-{seq:06}");
  EXPECT_EQ(kept.performer, "A. Weber");

  // Now that approval is required, a change of how records are signed needs an
  // approver's signature, by the approvers in force: no one makes themselves one.
  const std::string mine = groupsOf(currentPerson().login).front();
  std::vector<std::string> typed;
  const auto approvingWindow = [&](LaboratoryWindow& w) {
    w.passwordCheck = [](const std::string&, const std::string& password, std::string& why) {
      why = "the password is not right";
      return password == "right";
    };
    w.askApproval = [&](bool, std::string& login, std::string& password) {
      login = currentPerson().login;
      password = typed.empty() ? std::string() : typed.front();
      if (!typed.empty()) typed.erase(typed.begin());
      return !password.empty();
    };
  };
  RecordKeeping& keeping = station->dialog().recordKeeping();
  {
    LaboratoryWindow roles(registry, window.controls(), &window, keeping.store(), &keeping.signingSession());
    approvingWindow(roles);
    roles.approverGroup()->setText(QString::fromStdString(mine));
    typed = {"right"};
    EXPECT_FALSE(roles.save());
    EXPECT_NE(boxes.back().find("is not in the approvers' group " + kept.approverGroup), std::string::npos) << boxes.back();
    EXPECT_EQ(Laboratory::load(registry).approverGroup, kept.approverGroup);
  }
  Laboratory byAdmin = Laboratory::load(registry);
  byAdmin.approverGroup = mine;
  ASSERT_TRUE(byAdmin.save(registry));
  LaboratoryWindow eyes(registry, window.controls(), &window, keeping.store(), &keeping.signingSession());
  approvingWindow(eyes);
  eyes.fourEyes()->setChecked(true);
  typed = {};  // cancelled
  EXPECT_FALSE(eyes.save());
  EXPECT_EQ(boxes.back(), kSigningChangeNeedsApproval);
  typed = {"wrong"};
  EXPECT_FALSE(eyes.save());
  EXPECT_EQ(boxes.back(), "The signature was refused: the password is not right");
  EXPECT_EQ(Laboratory::load(registry).fourEyes, "no");
  typed = {"right"};
  ASSERT_TRUE(eyes.save()) << boxes.back();
  EXPECT_EQ(Laboratory::load(registry).fourEyes, "yes");
  ASSERT_TRUE(SqliteRecordStore(folder.file("records.sqlite")).auditTrail(trail));
  EXPECT_NE(trail.back().details.find("four-eyes: \"no\" -> \"yes\"\napproved by signer " + currentPerson().login),
            std::string::npos)
      << trail.back().details;
  std::string inForce;
  ASSERT_TRUE(keeping.store()->lastStationEvent(signing::kRulesInForceEvent, inForce));
  EXPECT_NE(inForce.find("four-eyes: yes"), std::string::npos) << inForce;
  // Four eyes turned off in the file by hand: saving what the window shows is a
  // change of the rules in force all the same, and needs its approver.
  Laboratory byHand = Laboratory::load(registry);
  byHand.fourEyes = "no";
  ASSERT_TRUE(byHand.save(registry));
  LaboratoryWindow edited(registry, window.controls(), &window, keeping.store(), &keeping.signingSession());
  approvingWindow(edited);
  edited.name()->setText(QStringLiteral("Labor Nord"));
  typed = {};
  EXPECT_FALSE(edited.save());
  EXPECT_EQ(boxes.back(), kSigningChangeNeedsApproval);
  typed = {"right"};
  ASSERT_TRUE(edited.save()) << boxes.back();
  ASSERT_TRUE(keeping.store()->lastStationEvent(signing::kRulesInForceEvent, inForce));
  EXPECT_NE(inForce.find("four-eyes: no"), std::string::npos) << inForce;
}

}  // namespace
}  // namespace trimwell
