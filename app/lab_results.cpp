// The bench's results: as found when a point is taken, as left at each check
// after the write, their verdicts, and what goes into the record.
#include <algorithm>
#include <cmath>

#include "app/control_ids.h"
#include "app/lab_bench.h"
#include "calibration/typed_value.h"
#include "datasheet/text.h"
#include "metrology/as_found.h"
#include "metrology/as_left_check.h"
#include "platform/format_text.h"
#include "documents/laboratory.h"
#include "records/record_check.h"

namespace trimwell {
namespace {

const char* verdictWords(metrology::Verdict v) {
  switch (v) {
    case metrology::Verdict::kPass: return "in tolerance";
    case metrology::Verdict::kConditionalPass: return "conditionally in tolerance";
    case metrology::Verdict::kConditionalFail: return "conditionally out of tolerance";
    case metrology::Verdict::kFail: return "out of tolerance";
    default: return "no tolerance stated";
  }
}

double rawStepOf(const CalibrationRow& row) {
  return row.sourceMeasurement != nullptr ? rawResolution(*row.sourceMeasurement) : 0.0;
}

constexpr const char* kWritten = "Calibration written and verified";

// Why a reading could not be had, and what it costs: "the point is not taken".
std::string notTaken(const std::string& why, const char* what) {
  const char last = why.empty() ? ' ' : why.back();
  if (last == '.' || last == '?') return why + " The " + what + " is not taken.";
  return why + ": the " + what + " is not taken";
}

}  // namespace

bool LabBench::readConditions(double& temperature, double& humidity, std::string& problem) const {
  return parseCondition(controls_.text(ids::kAmbientTemperature), "Ambient temperature", temperature, problem) &&
         parseCondition(controls_.text(ids::kRelativeHumidity), "Relative humidity", humidity, problem);
}

bool LabBench::mayTakePoint(int row, std::string& problem) {
  double temperature = 0.0, humidity = 0.0;
  if (lab_.unitRequired && controls_.text(ids::kUnit).find_first_not_of(" \t") == std::string::npos) {
    problem = "The lab requires the unit: type its serial number or asset tag into Unit before Point 1";
    return false;
  }
  CalibrationRecord typed;
  typed.unit = controls_.text(ids::kUnit);
  typed.customer = controls_.text(ids::kCustomer);
  typed.customerAddress = controls_.text(ids::kCustomerAddress);
  typed.customerEmail = controls_.text(ids::kCustomerEmail);
  if (!checkRecordTexts(typed, problem)) return false;
  if (!readConditions(temperature, humidity, problem)) return false;
  if (lab_.conditionsRequired && (std::isnan(temperature) || std::isnan(humidity))) {
    problem = "The lab requires the ambient temperature and relative humidity before Point 1";
    return false;
  }
  const bool all = s_.options.simultaneousCal != 0;
  for (int i = 0; i < s_.rowCount && i < kCalibrationRows; ++i) {
    if ((!all && i != row) || s_.rows[static_cast<std::size_t>(i)].disable != 0) continue;
    if (!followRegister(i, problem) || !followInstrument(i, problem)) return false;
    const auto& standard = lab(i).standard;
    // A lab that keeps a register takes every point against one of its standards.
    if (!standard && !register_.empty() && lab(i).hasLine) {
      problem = formatText("Row %d has no reference standard: choose one from the register before its points are "
                           "taken",
                           i + 1);
      return false;
    }
  }
  return true;
}

bool LabBench::takenBy(int row, int other) const {
  return (s_.options.simultaneousCal != 0 || other == row) && other < s_.rowCount &&
         s_.rows[static_cast<std::size_t>(other)].disable == 0;
}

bool LabBench::followInstrument(int row, std::string& problem) {
  if (!reference_.fromInstrument(row)) return true;
  ReferenceTake take;
  if (!reference_.take(take, problem)) {
    problem = formatText("Row %d: %s", row + 1, notTaken(problem, "point").c_str());
    return false;
  }
  // The instrument is the row's standard: its certificate's U goes with every
  // value read from it.
  if (!usableOnRow(row, *reference_.standard(), problem)) return false;
  lab(row).standard = *reference_.standard();
  return true;
}

std::vector<int> LabBench::typeReferences(int row, int point) {
  std::vector<int> typed;
  for (int i = 0; i < s_.rowCount && i < kCalibrationRows; ++i) {
    RowLab& r = lab(i);
    r.typedReference.reset();
    ReferenceTake take;
    std::string ignored;
    if (!takenBy(row, i) || !reference_.fromInstrument(i) || !reference_.take(take, ignored)) continue;
    const int id = (point == 1 ? ids::kPt1Data : ids::kPt2Data) + i;
    // Typed as the procedure reads it, to the instrument's own resolution.
    controls_.setText(id, formatText("%.10g", take.reading.value));
    double shown = 0.0;
    if (parseTypedNumber(controls_.text(id), false, shown)) take.reading.value = shown;
    r.typedReference = std::move(take);
    typed.push_back(id);
  }
  return typed;
}

bool LabBench::judge(int row, metrology::PointResult& result, std::string& problem) const {
  const CalibrationRow& r = s_.rows[static_cast<std::size_t>(row)];
  return metrology::judge(result, rows_[static_cast<std::size_t>(row)].tolerance, lab_.rule,
                          std::abs(r.point2Data - r.point1Data), problem);
}

void LabBench::pointTaken(int row, int point) {
  RowLab& r = lab(row);
  const CalibrationRow& c = s_.rows[static_cast<std::size_t>(row)];
  const bool typedRaw = point == 1 ? s_.effectiveManual1(row) : s_.effectiveManual2(row);
  // A point taken again replaces its own; a point taken after a write starts the
  // next calibration, whose checks come after its own write.
  r.taken[point == 1 ? 0 : 1] =
      TakenPoint{point == 1 ? c.point1Raw : c.point2Raw,
                 typedRaw ? std::vector<double>{} : std::vector<double>(r.raws.begin(), r.raws.end()), c.heldLine,
                 r.standard, std::move(r.typedReference)};
  r.typedReference.reset();
  checksOpen_ = false;
  refresh();
}

std::optional<metrology::PointResult> LabBench::foundResult(int row, std::size_t point) const {
  const RowLab& r = rows_[static_cast<std::size_t>(row)];
  const CalibrationRow& c = s_.rows[static_cast<std::size_t>(row)];
  const auto& taken = r.taken[point];
  if (!r.hasLine || !taken || !taken->standard) return std::nullopt;
  const double* line = taken->line.data();
  std::vector<double> window;
  for (double x : taken->rawWindow) window.push_back(calibratedReading(line, x));
  const double slope = (line[3] - line[1]) / (line[2] - line[0]);
  const double reference = point == 0 ? c.point1Data : c.point2Data;
  metrology::AsFoundInputs in{reference, taken->standard->uncertainty, calibratedReading(line, taken->raw), window,
                              std::abs(slope) * rawStepOf(c)};
  metrology::PointResult result;
  std::string problem;
  if (!metrology::evaluateAsFound(in, result, problem)) return std::nullopt;
  if (readFromInstrument(row, point) &&
      !metrology::addReferenceRepeatability(result.uncertainty, taken->reference->window, problem)) {
    return std::nullopt;
  }
  if (!judge(row, result, problem)) return std::nullopt;
  return result;
}

// A reference value corrected after it was read (the field typed over) is the
// operator's, not the instrument's: the record says it was typed.
bool LabBench::readFromInstrument(int row, std::size_t point) const {
  const auto& taken = rows_[static_cast<std::size_t>(row)].taken[point];
  const CalibrationRow& c = s_.rows[static_cast<std::size_t>(row)];
  return taken && taken->reference && taken->reference->reading.value == (point == 0 ? c.point1Data : c.point2Data);
}

void LabBench::addFoundResults(int row, std::vector<RecordResult>& out) const {
  for (std::size_t p = 0; p < 2; ++p) {
    auto found = foundResult(row, p);
    if (!found) continue;
    const auto& reference = rows_[static_cast<std::size_t>(row)].taken[p]->reference;
    const bool read = readFromInstrument(row, p);
    out.push_back({row, false, std::move(*found), read ? reference->instrument : std::string(),
                   read ? reference->reading.utcTime : std::string()});
  }
}

void LabBench::amendRecord(CalibrationRecord& record) const {
  record.unit = controls_.text(ids::kUnit);
  record.customer = controls_.text(ids::kCustomer);
  record.customerAddress = controls_.text(ids::kCustomerAddress);
  record.customerEmail = controls_.text(ids::kCustomerEmail);
  std::string ignored;
  readConditions(record.ambientTemperature, record.relativeHumidity, ignored);
  record.decisionRule = metrology::ruleName(lab_.rule);
  if (record.kind != RecordKind::Calibration) {
    record.restoreConfirmation = restoreConfirmation_;
    return;
  }
  // Where and by which method, as the lab names them now; a location setting in
  // neither form is kept as it reads rather than taken for the laboratory.
  const Laboratory laboratory = Laboratory::load(settings_);
  if (!calibrationPlace(laboratory, record.calibrationPlace, ignored)) record.calibrationPlace = laboratory.location;
  const Procedure procedure = procedureFor(laboratory, record.sensorId);
  record.procedureId = procedure.id;
  record.procedureVersion = procedure.version;
  // Each standard as it was when a point was taken against it: one re-saved
  // between the points is kept as each point had it.
  for (int i = 0; i < s_.rowCount && i < kCalibrationRows; ++i) {
    const RowLab& r = rows_[static_cast<std::size_t>(i)];
    const metrology::StandardEntry* kept = nullptr;
    for (const auto& taken : r.taken) {
      if (!taken || !taken->standard) continue;
      if (kept != nullptr && *kept == *taken->standard) continue;
      record.standards.push_back({i, *taken->standard});
      kept = &*taken->standard;
    }
  }
  for (int i = 0; i < s_.rowCount && i < kCalibrationRows; ++i) addFoundResults(i, record.results);
  // Each row's tolerance as it is stated today: the limits the results hold were
  // worked out from it.
  for (std::size_t i = 0; i < record.rows.size() && i < rows_.size() && static_cast<int>(i) < s_.rowCount; ++i) {
    const Measurement* m = s_.rows[i].measurement;
    record.rows[i].tolerance = toleranceStatement(rows_[i].tolerance, m != nullptr ? toUtf8(m->secondaryText.text) : "");
  }
}

std::string LabBench::recordProblem(bool restore) const {
  CalibrationRecord record;
  record.kind = restore ? RecordKind::Restore : RecordKind::Calibration;
  amendRecord(record);
  // A restore writes a kept state back: the lab's fields are a calibration's.
  if (!restore && lab_.unitRequired && record.unit.find_first_not_of(" \t") == std::string::npos) {
    return "the lab requires the unit, and none is typed";
  }
  if (!restore && lab_.conditionsRequired &&
      (std::isnan(record.ambientTemperature) || std::isnan(record.relativeHumidity))) {
    return "the lab requires the ambient temperature and relative humidity, and they are not both given";
  }
  std::string problem;
  return checkRecordTexts(record, problem) && checkRecordNumbers(record, problem) ? std::string() : problem;
}

metrology::Verdict LabBench::verdict(bool asLeft) const {
  metrology::Verdict v = metrology::Verdict::kNotStated;
  for (const RecordResult& r : written_) {
    if (r.asLeft == asLeft) v = metrology::worse(v, r.result.verdict);
  }
  return v;
}

// "E -1.0000 °C, E -0.2000 °C; as found: fail; as left E +0.1000 °C: pass": the
// errors in the row's reading's four decimals and unit, as the Measurement column
// shows them.
std::string LabBench::rowVerdictText(int row) const {
  const Measurement* m = s_.rows[static_cast<std::size_t>(row)].measurement;
  const std::string unit = m != nullptr && !m->secondaryText.text.empty() ? " " + toUtf8(m->secondaryText.text) : "";
  metrology::Verdict found = metrology::Verdict::kNotStated, left = found;
  std::string errors, leftErrors;
  bool any = false, anyLeft = false, wideU = false;
  // The points taken since the last write, else what the write kept.
  std::vector<RecordResult> shown;
  addFoundResults(row, shown);
  if (shown.empty()) shown = written_;
  for (const RecordResult& r : shown) {
    if (r.row != row) continue;
    (r.asLeft ? left : found) = metrology::worse(r.asLeft ? left : found, r.result.verdict);
    std::string& list = r.asLeft ? leftErrors : errors;
    list += (list.empty() ? "E " : ", E ") + fixedNumber(r.result.error(), 4, true) + unit;
    any = any || !r.asLeft;
    anyLeft = anyLeft || r.asLeft;
    wideU = wideU || r.result.uncertaintyAboveQuarterOfLimit();
  }
  if (!any && !anyLeft) return {};
  std::string text = errors + "; as found: " + metrology::verdictName(found);
  if (anyLeft) text += "; as left " + leftErrors + ": " + metrology::verdictName(left);
  if (wideU) text += "; U above T/4";
  return text;
}

std::string LabBench::resultLine() const {
  std::string line = std::string(kWritten) + ", as found: " + verdictWords(verdict(false));
  if (std::any_of(written_.begin(), written_.end(), [](const RecordResult& r) { return r.asLeft; })) {
    line += std::string(", as left: ") + verdictWords(verdict(true));
  }
  return line + resultWhere_;
}

void LabBench::written(const WriteOutcome& outcome) {
  const bool success = outcome.success;
  checksOpen_ = success && !outcome.restore;
  restoreConfirmation_.clear();
  // A restore is read again, which starts the rows afresh; a failed write keeps
  // the points' as-found results for the write that follows.
  if (outcome.restore || !success) return refresh();
  // The record just kept holds these; the next calibration takes its own, read
  // through the line now in the sensor (the procedure keeps it as held).
  written_.clear();
  for (int i = 0; i < s_.rowCount && i < kCalibrationRows; ++i) {
    RowLab& r = lab(i);
    auto& standards = writtenStandards_[static_cast<std::size_t>(i)];
    standards.clear();
    addFoundResults(i, written_);
    for (std::size_t p = 0; p < 2; ++p) {
      if (r.taken[p] && r.taken[p]->standard) standards.push_back(*r.taken[p]->standard);
      r.taken[p].reset();
    }
  }
  const std::string shown = controls_.text(ids::kResult);
  resultWhere_ = shown.rfind(kWritten, 0) == 0 ? shown.substr(std::string(kWritten).size()) : std::string();
  const bool stated = verdict(false) != metrology::Verdict::kNotStated;
  if (checksOpen_ && stated && !resultWhere_.empty()) controls_.setText(ids::kResult, resultLine());
  refresh();
}

bool LabBench::check(int row, std::string& problem) {
  if (!checksOpen_ || row < 0 || row >= s_.rowCount) {
    problem = "A check is taken after a calibration was written and verified";
    return false;
  }
  RowLab& r = lab(row);
  const CalibrationRow& c = s_.rows[static_cast<std::size_t>(row)];
  double reference = 0.0;
  TypedRefusal why = TypedRefusal::kNone;
  std::optional<ReferenceTake> read;
  if (reference_.fromInstrument(row)) {
    if (!reference_.take(read.emplace(), problem)) {
      problem = formatText("Row %d's check: %s", row + 1, notTaken(problem, "check").c_str());
      return false;
    }
    controls_.setText(ids::kCheckValue + row, formatText("%.10g", read->reading.value));
  }
  const std::string typed = controls_.text(ids::kCheckValue + row);
  if (!parseTypedNumber(typed, false, reference, &why) || !std::isfinite(reference)) {
    problem = formatText("Check at of row %d \"%s\" %s", row + 1, typed.c_str(),
                         why == TypedRefusal::kNone ? "is not a finite number" : refusalText(why).c_str());
    return false;
  }
  if (!followRegister(row, problem) || !followInstrument(row, problem)) return false;
  if (!r.standard) {
    problem = formatText("Row %d has no reference standard: choose one to take checks against", row + 1);
    return false;
  }
  if (!r.hasLine || c.measurement == nullptr) {
    problem = formatText("Row %d holds no two-point line to check", row + 1);
    return false;
  }
  // The record names the standards its results are traceable to: those of the
  // row's points, as they were then.
  const auto& traceable = writtenStandards_[static_cast<std::size_t>(row)];
  if (std::find(traceable.begin(), traceable.end(), *r.standard) == traceable.end()) {
    problem = formatText("Row %d's check would be against %s as the register holds it now, which the calibration's "
                         "record does not name: a check is taken against the standard of the row's points, as the "
                         "record keeps it",
                         row + 1, r.standard->name.c_str());
    return false;
  }
  RecordStore* store = records_.store();
  if (store != nullptr && records_.lastRecord().empty()) {
    problem = "The check was not taken: the record of the calibration it checks was not kept";
    return false;
  }
  // Through the constants the sensor holds, read back after the write, by the
  // function its row's reading comes from.
  const double* line = c.measurement->type.constants.data();
  const std::vector<double> window(r.raws.begin(), r.raws.end());
  const double slope = (line[3] - line[1]) / (line[2] - line[0]);
  const double reading = calibratedReading(line, s_.currentReading(c.sourceConverter));
  const metrology::AsLeftInputs in{reference, r.standard->uncertainty, reading, window, slope, rawStepOf(c)};
  RecordResult kept{row, true, {}};
  if (read) {
    kept.referenceInstrument = read->instrument;
    kept.referenceTime = read->reading.utcTime;
  }
  if (!metrology::evaluateAsLeft(in, kept.result, problem) ||
      (read && !metrology::addReferenceRepeatability(kept.result.uncertainty, read->window, problem)) ||
      !judge(row, kept.result, problem)) {
    return false;
  }
  if (store != nullptr && !store->appendResults(records_.lastRecord(), {kept})) {
    problem = "The check was taken but cannot be added to its record: " + store->problem();
    return false;
  }
  written_.push_back(std::move(kept));
  if (verdict(true) != metrology::Verdict::kNotStated && !resultWhere_.empty()) {
    controls_.setText(ids::kResult, resultLine());
  }
  refresh();
  return true;
}

void LabBench::refresh() {
  std::vector<std::string> offered{"none"};
  for (const metrology::StandardEntry& e : register_) {
    if (e.retiredOn.empty()) offered.push_back(e.name);
  }
  for (int i = 0; i < kCalibrationRows; ++i) {
    if (!controls_.exists(ids::kRowVerdict + i)) return;
    const bool inUse = i < s_.rowCount;
    const auto& standard = rows_[static_cast<std::size_t>(i)].standard;
    // A retired standard is offered to no row; one a row chose before stays shown
    // there, to be refused at its next point with the reason.
    std::vector<std::string> choices = offered;
    if (standard && !standard->retiredOn.empty()) choices.push_back(standard->name);
    controls_.show(ids::kStandard + i, inUse && !register_.empty());
    controls_.setChoices(ids::kStandard + i, choices);
    controls_.setText(ids::kStandard + i, standard ? standard->name : "none");
    if (controls_.exists(ids::kReferenceSource + i)) {
      controls_.show(ids::kReferenceSource + i, inUse && reference_.settings().chosen());
      controls_.setChoices(ids::kReferenceSource + i, {"typed", "instrument"});
      controls_.setText(ids::kReferenceSource + i, reference_.fromInstrument(i) ? "instrument" : "typed");
    }
    controls_.show(ids::kCheckValue + i, inUse && checksOpen_);
    // A row that reads the instrument shows the value read there, typed over by nobody.
    controls_.enable(ids::kCheckValue + i, !reference_.fromInstrument(i));
    controls_.show(ids::kCheck + i, inUse && checksOpen_);
    const std::string verdicts = inUse ? rowVerdictText(i) : std::string();
    controls_.show(ids::kRowVerdict + i, !verdicts.empty());
    controls_.setText(ids::kRowVerdict + i, verdicts);
  }
}

}  // namespace trimwell
