// The certificate a lab issues for a calibration (ISO/IEC 17025, 7.8.2 and
// 7.8.4), and the reports that take its place for a failed write and a restore,
// as content: what is stated, in print order. The window toolkit lays it out.
#include <algorithm>
#include <cmath>

#include "metrology/decision_rule.h"
#include "metrology/reported_value.h"
#include "metrology/verdict.h"
#include "documents/record_export.h"
#include "platform/format_text.h"
#include "records/record_hash.h"

namespace trimwell {
namespace {

using metrology::Verdict;

// Every digit the record keeps: a certificate's numbers read back to the values
// the verdicts were stated on.
std::string num(double value) { return std::isfinite(value) ? exactNumber(value) : "\u2014"; }

std::string orNotGiven(const std::string& text) { return text.empty() ? "not given" : text; }

std::string rowName(const CalibrationRecord& r, int row) {
  const std::string place = "Row " + std::to_string(row + 1);
  if (row < 0 || row >= static_cast<int>(r.rows.size())) return place;
  return place + ": " + r.rows[static_cast<std::size_t>(row)].name;
}

const metrology::StandardEntry* standardOf(const CalibrationRecord& r, int row) {
  for (const RecordStandard& s : r.standards) {
    if (s.row == row) return &s.standard;
  }
  return nullptr;
}

// The record keeps no unit of its own for a row: the standard a row's points
// were taken against is of the row's quantity, and its unit is the one to state.
std::string rowUnit(const CalibrationRecord& r, int row) {
  const metrology::StandardEntry* s = standardOf(r, row);
  if (s != nullptr && !s->unit.empty()) return s->unit + " (the unit of the row's reference standard " + s->name + ")";
  return "not recorded (no reference standard with a unit for this row): the values are in the sensor's own unit";
}

// The worst verdict of a row's results (row -1: of every row) as found or as
// left; false when there is no such result.
bool worstOf(const CalibrationRecord& r, int row, bool asLeft, Verdict& worst) {
  bool any = false;
  worst = Verdict::kNotStated;
  for (const RecordResult& x : r.results) {
    if ((row >= 0 && x.row != row) || x.asLeft != asLeft) continue;
    any = true;
    worst = metrology::worse(worst, x.result.verdict);
  }
  return any;
}

std::string verdictWords(Verdict v) {
  switch (v) {
    case Verdict::kPass: return "in tolerance";
    case Verdict::kConditionalPass: return "conditionally in tolerance";
    case Verdict::kConditionalFail: return "conditionally out of tolerance";
    case Verdict::kFail: return "out of tolerance";
    default: return "no tolerance stated";
  }
}

std::string conditionAsReceived(const CalibrationRecord& r) {
  Verdict v{};
  if (!worstOf(r, -1, false, v)) return "not measured: no as-found results were taken";
  return verdictWords(v) + " (as-found verdict: " + metrology::verdictName(v) + ")";
}

std::string writeOutcome(const CalibrationRecord& r) { return r.success ? "written and verified" : "failed: " + r.result; }

std::string byteComparison(const std::vector<std::uint8_t>& now, const std::vector<std::uint8_t>& before) {
  if (now.empty()) return "not read back";
  if (now == before) return "as found (unchanged)";
  std::size_t differing = std::max(now.size(), before.size()) - std::min(now.size(), before.size());
  for (std::size_t i = 0; i < std::min(now.size(), before.size()); ++i) differing += now[i] != before[i] ? 1 : 0;
  return "changed: " + std::to_string(differing) + " of " + std::to_string(now.size()) + " bytes differ from as found";
}

// After a failed write the sensor holds what was read back last, if anything.
std::string sensorHoldsNow(const CalibrationRecord& r) {
  if (r.asLeftCalibration.empty() && r.asLeftImage.empty()) {
    return "not known: nothing was read back after the failure, and the sensor may hold its calibration as found "
           "or a part of the new one. Read it again before it is used.";
  }
  const bool unchanged = r.asLeftCalibration == r.asFoundCalibration &&
                         (r.asLeftImage.empty() || r.asLeftImage == r.asFoundImage);
  return "calibration block " + byteComparison(r.asLeftCalibration, r.asFoundCalibration) + "; datasheet " +
         byteComparison(r.asLeftImage, r.asFoundImage) + ".\n" +
         (unchanged ? "The sensor holds its calibration as found."
                    : "The sensor does not hold a verified calibration: calibrate it again, or restore its "
                      "as-found state from record " + std::to_string(r.id) + ".");
}

CertificateSection laboratorySection(const Laboratory& lab) {
  CertificateSection s{"Calibration laboratory", {{"Name", orNotGiven(lab.name)}, {"Address", orNotGiven(lab.address)}},
                       {}, {}};
  if (!lab.email.empty()) s.facts.emplace_back("E-mail", lab.email);
  if (!lab.accreditationBody.empty() || !lab.accreditationNumber.empty()) {
    std::string text = lab.accreditationBody;
    if (!lab.accreditationNumber.empty()) text += (text.empty() ? "" : ", ") + std::string("number ") + lab.accreditationNumber;
    s.facts.emplace_back("Accreditation", text);
  }
  return s;
}

CertificateSection itemSection(const CalibrationRecord& r) {
  CertificateSection s{"Item calibrated",
                       {{"Customer", orNotGiven(r.customer)},
                        {"Customer's address", orNotGiven(r.customerAddress)},
                        {"Model", "sensor " + std::to_string(r.sensorId) + ", " + r.datasheetName},
                        {"Datasheet", r.datasheetName + ", version " + r.datasheetVersion},
                        {"Unit identification", orNotGiven(r.unit)}},
                       {}, {}};
  if (!r.customerEmail.empty()) s.facts.insert(s.facts.begin() + 2, {"Customer's e-mail", r.customerEmail});
  if (r.kind == RecordKind::Calibration) s.facts.emplace_back("Condition as received", conditionAsReceived(r));
  return s;
}

// Where it was done: at the laboratory, whose address the certificate gives, or on site.
std::string placeText(const CalibrationRecord& r, const Laboratory& lab) {
  if (!r.calibrationPlace.empty()) return "on site: " + r.calibrationPlace;
  std::string address;
  for (char c : lab.address) address += c == '\n' ? std::string(", ") : std::string(1, c);
  return "at the laboratory" + (address.empty() ? std::string() : ", " + address);
}

CertificateSection methodSection(const CalibrationRecord& r, const Laboratory& lab, const std::string& issueDate) {
  std::string interface = r.interfaceKind;
  if (r.interfaceProduct != 0) interface += " product " + std::to_string(r.interfaceProduct);
  if (!r.firmwareVersion.empty()) interface += ", firmware " + r.firmwareVersion;
  const std::string procedure = r.procedureId.empty() ? std::string("not recorded with this record")
                                                      : r.procedureId + ", version " + r.procedureVersion;
  return {"Method and dates",
          {{"Procedure", procedure},
           {"Place of calibration", placeText(r, lab)},
           {"Method",
            "Two-point calibration by the station: for each row the sensor's raw reading is taken at two reference "
            "values, the row's linear calibration constants are worked out from them, written into the sensor and "
            "read back to verify them. As-found results are readings with the calibration the sensor came with; "
            "as-left results are checks with the new one."},
           {"Station", r.stationVersion + (r.host.empty() ? "" : " on " + r.host)},
           {"Interface", interface},
           {"Result of the write", writeOutcome(r)},
           {"Date of calibration", r.utcTime + " (UTC)"},
           {"Date of issue", issueDate}},
          {},
          {}};
}

CertificateSection conditionsSection(const CalibrationRecord& r) {
  const auto given = [](double v, const char* unit) { return std::isnan(v) ? std::string("not recorded") : num(v) + unit; };
  return {"Environmental conditions",
          {{"Ambient temperature", given(r.ambientTemperature, " \u00b0C")},
           {"Relative humidity", given(r.relativeHumidity, " % RH")}},
          {},
          {}};
}

CertificateSection traceabilitySection(const CalibrationRecord& r) {
  CertificateSection s{"Traceability", {}, {}, {}};
  if (r.standards.empty()) {
    s.paragraphs.push_back("No reference standard is recorded for this calibration.");
    return s;
  }
  CertificateTable t{"Reference standards",
                     {"Row", "Standard", "Identification", "Certificate", "Issued by", "Due on", "U of the standard"},
                     {}};
  for (const RecordStandard& x : r.standards) {
    const metrology::StandardEntry& e = x.standard;
    t.rows.push_back({rowName(r, x.row), e.name, e.identification, e.certificateNumber, e.issuedBy, e.dueOn,
                      num(e.uncertainty.a) + (e.unit.empty() ? "" : " " + e.unit) + " + " + num(e.uncertainty.b) +
                          " \u00b7 |value| (k = " +
                          num(e.uncertainty.coverageFactor) + ")"});
  }
  s.tables.push_back(std::move(t));
  s.paragraphs.push_back("The results are traceable through the reference standards listed, each calibrated under "
                         "the certificate named, valid until the due date given.");
  // Reference values read from an instrument rather than typed: which, and when.
  CertificateTable read{"Reference values read from instruments", {"Row", "Result", "Reference value", "Read from", "At (UTC)"}, {}};
  for (const RecordResult& x : r.results) {
    if (x.referenceInstrument.empty()) continue;
    int number = 0;
    for (const RecordResult& y : r.results) {
      if (y.row == x.row && y.asLeft == x.asLeft) ++number;
      if (&y == &x) break;
    }
    read.rows.push_back({rowName(r, x.row), std::string(x.asLeft ? "As left " : "As found ") + std::to_string(number),
                         num(x.result.referenceValue), x.referenceInstrument, x.referenceTime});
  }
  if (!read.rows.empty()) {
    s.tables.push_back(std::move(read));
    s.paragraphs.push_back("The reference values of the results listed were read from the instrument named, itself "
                           "one of the reference standards above, when each point or check was taken.");
  }
  return s;
}

// "0.051 (k = 2.00)", with ν_eff where k is not 2; a dash for a result without U.
std::string uncertaintyText(const metrology::ReportedPoint& shown) {
  if (shown.expanded.empty()) return "\u2014";
  return shown.expanded + " (k = " + shown.coverageFactor +
         (shown.effectiveDegrees.empty() ? "" : ", \u03bd_eff = " + shown.effectiveDegrees) + ")";
}

CertificateTable resultsTable(const CalibrationRecord& r, int row, bool asLeft) {
  CertificateTable t{asLeft ? "As left" : "As found",
                     {"Point", "Reference value", "Reading", "Error", "U (k), about 95 %", "Tolerance limit", "Verdict"},
                     {}};
  for (const RecordResult& x : r.results) {
    if (x.row != row || x.asLeft != asLeft) continue;
    const metrology::PointResult& p = x.result;
    const metrology::ReportedPoint shown = metrology::reportPoint(p);
    t.rows.push_back({std::to_string(t.rows.size() + 1), shown.referenceValue, shown.reading, shown.error,
                      uncertaintyText(shown), p.limit ? "\u00b1 " + shown.limit : "none",
                      metrology::verdictName(p.verdict)});
  }
  return t;
}

// The four constants by what each is, as the operator typed and took them.
std::string constantsText(const RecordRow& x) {
  return "Pt1 Raw " + num(x.constants[0]) + ", Pt1 Data " + num(x.constants[1]) + ", Pt2 Raw " + num(x.constants[2]) +
         ", Pt2 Data " + num(x.constants[3]);
}

bool hasResults(const CalibrationRecord& r, int row) {
  return std::any_of(r.results.begin(), r.results.end(), [row](const RecordResult& x) { return x.row == row; });
}

CertificateSection rowSection(const CalibrationRecord& r, int row) {
  const RecordRow& x = r.rows[static_cast<std::size_t>(row)];
  CertificateSection s{"Results, " + rowName(r, row) + (x.extra ? " (extra row)" : ""), {{"Unit", rowUnit(r, row)}},
                       {}, {}};
  if (!x.tolerance.empty()) s.facts.emplace_back("Tolerance", x.tolerance);
  s.facts.emplace_back("Constants written",
                       !r.success  ? std::string("none (write failed)")
                       : x.leftOut ? constantsText(x) + " (row left out: its calibration was replaced by this plain line)"
                                   : constantsText(x));
  for (bool asLeft : {false, true}) {
    CertificateTable t = resultsTable(r, row, asLeft);
    if (!t.rows.empty()) s.tables.push_back(std::move(t));
  }
  s.chart = errorChart(r, row);
  const std::vector<int> unchecked = uncheckedRows(r);
  if (std::find(unchecked.begin(), unchecked.end(), row) != unchecked.end()) {
    s.facts.emplace_back("As left", "not checked after its adjustment: the results are those as found, with the "
                                    "calibration the item came with");
  }
  if (s.tables.empty()) s.paragraphs.push_back("No results were taken for this row.");
  return s;
}

void addResults(CertificateDocument& d, const CalibrationRecord& r) {
  const std::size_t results = d.sections.size();
  d.sections.push_back({"Results",
                        {},
                        {},
                        {"Error = reading \u2212 reference value. U is the expanded uncertainty of the error: the "
                         "combined standard uncertainty multiplied by the coverage factor k, which for a normal "
                         "distribution corresponds to a coverage probability of about 95 %."}});
  // A row left out is written too, as a plain line; with no results it is one
  // line here rather than a section of its own.
  for (int row = 0; row < static_cast<int>(r.rows.size()); ++row) {
    const RecordRow& x = r.rows[static_cast<std::size_t>(row)];
    if (x.leftOut && !hasResults(r, row)) {
      d.sections[results].paragraphs.push_back(
          rowName(r, row) + " was left out: " +
          (r.success ? "its calibration was replaced by the plain line " + constantsText(x) + "."
                     : std::string("nothing was written (write failed).")));
    } else {
      d.sections.push_back(rowSection(r, row));
    }
  }
}

std::string ruleText(const std::string& name) {
  metrology::DecisionRule rule{};
  if (name.empty()) return "not stated";
  return metrology::parseDecisionRule(name, rule) ? metrology::ruleTitle(rule) : name;
}

CertificateSection conformitySection(const CalibrationRecord& r) {
  CertificateSection s{"Statement of conformity", {{"Decision rule applied", ruleText(r.decisionRule)}}, {}, {}};
  for (int row = 0; row < static_cast<int>(r.rows.size()); ++row) {
    Verdict found{}, left{};
    const bool hasFound = worstOf(r, row, false, found);
    const bool hasLeft = worstOf(r, row, true, left);
    if (!hasFound && !hasLeft) continue;
    s.facts.emplace_back(rowName(r, row),
                         std::string("as found: ") + (hasFound ? metrology::verdictName(found) : "not measured") +
                             "; as left: " + (hasLeft ? metrology::verdictName(left) : "not checked"));
  }
  metrology::DecisionRule rule{};
  const auto wide = std::count_if(r.results.begin(), r.results.end(), [](const RecordResult& x) {
    return x.result.uncertaintyAboveQuarterOfLimit();
  });
  if (wide > 0 && metrology::parseDecisionRule(r.decisionRule, rule) && rule == metrology::DecisionRule::kSimple) {
    s.paragraphs.push_back(formatText("At %ld of the results the expanded uncertainty U is more than a quarter of the "
                                      "tolerance limit (a test uncertainty ratio under 4:1). Simple acceptance leaves "
                                      "U out of the verdict: a pass there may be outside the tolerance.",
                                      static_cast<long>(wide)));
  }
  s.paragraphs.push_back("The statements cover the errors of the results listed, at the points measured, against "
                         "each row's tolerance limit, with the expanded uncertainty taken into account by the "
                         "decision rule applied. A row without a tolerance is reported without a statement; nothing "
                         "is stated of the item between or beyond the points measured. U is rounded up to two "
                         "significant digits and each value to its last decimal place; the verdicts were decided on "
                         "the values before rounding. k is Student's t for a coverage probability of 95.45 % at the "
                         "effective degrees of freedom (\u03bd_eff, stated where k is not 2.00).");
  return s;
}

// Only a signature over the record as it stands counts; one given to another
// version of it is listed as such.
const signing::Signature* signatureOf(const CalibrationRecord& r, const std::string& hash, signing::Meaning meaning) {
  for (const signing::Signature& s : r.signatures) {
    if (s.meaning == meaning && s.recordHash == hash) return &s;
  }
  return nullptr;
}

CertificateSection signatureSection(const CalibrationRecord& r, const Laboratory& lab) {
  using signing::Meaning;
  const std::string hash = recordHash(r);
  const signing::Signature* performed = signatureOf(r, hash, Meaning::Performed);
  const signing::Signature* amended = signatureOf(r, hash, Meaning::Amended);
  const signing::Signature* reviewed = signatureOf(r, hash, Meaning::Reviewed);
  const signing::Signature* approved = signatureOf(r, hash, Meaning::Approved);
  const std::string unsignedPerformer = orNotGiven(recordedPerformer(r, lab)) + " (not signed)";
  CertificateSection s{"Performed and authorised",
                       {{"Performed by", performed != nullptr ? signatureText(*performed) : unsignedPerformer}},
                       {},
                       {"The results relate only to the item calibrated."}};
  if (amended != nullptr) {
    // An amendment's performer signed its first version; its amender signs it.
    s.facts[0].second = orNotGiven(recordedPerformer(r, lab)) + " (who calibrated, as the version amended names them)";
    s.facts.emplace_back("Amended by", signatureText(*amended));
  }
  if (reviewed != nullptr) s.facts.emplace_back("Reviewed by", signatureText(*reviewed));
  s.facts.emplace_back("Authorised by", approved != nullptr ? signatureText(*approved) : kDraftMark);
  std::string other;
  for (const signing::Signature& g : r.signatures) {
    if (g.recordHash != hash) other += (other.empty() ? "" : "\n") + signatureText(g);
  }
  if (!other.empty()) s.facts.emplace_back("Earlier signatures", other);
  // Enough of the head to check the lab's records against: trimwell-records verify --head.
  if (r.chainHead.size() >= kPrintedHeadDigits) {
    s.facts.emplace_back("Audit trail head at issue", r.chainHead.substr(0, kPrintedHeadDigits));
  }
  return s;
}

CertificateDocument head(const CalibrationRecord& r, const Laboratory& lab, const char* title, bool certificate) {
  CertificateDocument d;
  d.title = title;
  d.numberLabel = certificate ? "Certificate number" : "Report number";
  std::string ignored;
  if (!documentNumber(lab, r, d.number, ignored)) d.number = "not yet numbered";
  d.laboratory = lab.name;
  if (!approvalProblem(r).empty()) d.draftMark = kDraftMark;
  d.end = certificate ? "End of certificate" : "End of report";
  d.sections.push_back(laboratorySection(lab));
  // An amended document says what it replaces, and why.
  if (r.revision > 0) {
    d.sections.push_back(
        {"Amendment",
         {{"Revision", std::to_string(r.revision) + (r.replacesNumber.empty()
                                                          ? " (no document was issued of the version it amends)"
                                                          : ", replacing certificate " + r.replacesNumber)},
          {"Reason", r.amendmentReason}},
         {},
         {}});
  }
  if (!r.replacedBy.empty()) {
    d.sections.push_back({"Replaced",
                          {{"Replaced by", "a later revision of this record (" + r.replacedBy + "); this document is "
                                           "kept as it was issued"}},
                          {},
                          {}});
  }
  d.sections.push_back(itemSection(r));
  return d;
}

CertificateDocument restoreReport(const CalibrationRecord& r, const Laboratory& lab, const std::string& issueDate) {
  CertificateDocument d = head(r, lab, "Restore report", false);
  CertificateSection restore{"Restore",
                             {{"Restored from record", std::to_string(r.restoredFrom) +
                                                           (r.restoredFromUuid.empty() ? "" : " (" + r.restoredFromUuid + ")")},
                              {"Result", writeOutcome(r)},
                              {"What the sensor holds now",
                               r.success ? "the kept state written, verified by reading it back" : sensorHoldsNow(r)},
                              {"Date of restore", r.utcTime + " (UTC)"},
                              {"Date of issue", issueDate}},
                             {},
                             {"A restore writes a kept state back into the sensor: it is no calibration, and this "
                              "report states no results."}};
  if (!r.restoreConfirmation.empty()) restore.facts.emplace_back("Confirmed by the operator", r.restoreConfirmation);
  d.sections.push_back(std::move(restore));
  d.sections.push_back(signatureSection(r, lab));
  return d;
}

}  // namespace

ErrorChart errorChart(const CalibrationRecord& r, int row) {
  ErrorChart chart;
  for (const RecordResult& x : r.results) {
    if (x.row != row) continue;
    const metrology::PointResult& p = x.result;
    const double u = p.uncertainty.expanded();
    chart.points.push_back({p.referenceValue, p.error(), u > 0.0 ? u : std::nan(""), p.limit.value_or(std::nan("")),
                            x.asLeft});
  }
  if (chart.points.empty()) return chart;
  const metrology::StandardEntry* s = standardOf(r, row);
  chart.unit = s != nullptr ? s->unit : std::string();
  chart.caption = "Errors of " + rowName(r, row) + " at each reference value, as found (circles) and as left "
                  "(squares), each with its U; the band is the tolerance \u00b1T";
  return chart;
}

CertificateDocument certificateDocument(const CalibrationRecord& r, const Laboratory& lab, const std::string& issueDate) {
  if (r.kind == RecordKind::Restore) return restoreReport(r, lab, issueDate);
  CertificateDocument d = head(r, lab, r.success ? "Calibration certificate" : "Calibration report", r.success);
  d.sections.push_back(methodSection(r, lab, issueDate));
  if (!r.success) {
    d.sections.push_back({"Outcome",
                          {{"What the sensor holds now", sensorHoldsNow(r)}},
                          {},
                          {"The calibration failed: no certificate is issued for it."}});
  }
  d.sections.push_back(conditionsSection(r));
  d.sections.push_back(traceabilitySection(r));
  addResults(d, r);
  if (r.success) d.sections.push_back(conformitySection(r));
  d.sections.push_back(signatureSection(r, lab));
  return d;
}

}  // namespace trimwell
