#include "app/lab_bench.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "app/control_ids.h"
#include "app/lab_inputs.h"
#include "calibration/typed_value.h"
#include "datasheet/text.h"
#include "metrology/as_found.h"
#include "metrology/as_left_check.h"
#include "platform/format_text.h"
#include "records/record_check.h"

namespace trimwell {
namespace {

constexpr const char* kNoStandard = "none";

}  // namespace


std::string todayUtc() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
  return text;
}

LabBench::LabBench(CalibrationSession& session, WindowControls& controls, Registry& settings, RecordKeeping& records,
                   ReferenceSource& reference)
    : s_(session),
      controls_(controls),
      settings_(settings),
      records_(records),
      reference_(reference),
      lab_(LabSettings::load(settings)) {}

const std::vector<metrology::StandardEntry>& LabBench::registered() {
  if (!registerRead_) {
    std::string ignored;
    standards(register_, ignored);
    registerRead_ = true;
  }
  return register_;
}

bool LabBench::addStandard(const metrology::StandardEntry& entry, std::string& problem) {
  RecordStore* store = records_.store();
  if (store == nullptr) {
    problem = "Reference standards are kept in the record store, and this station keeps none";
    return false;
  }
  std::vector<metrology::StandardEntry> now;
  if (!checkStandardTexts(entry, problem) || !standards(now, problem) || !identificationIsFree(entry, now, problem)) {
    return false;
  }
  // Re-saved under its name (new certificate dates typed over, a script's
  // standard add), a retired entry stays retired: retiring is for good.
  metrology::StandardEntry kept = entry;
  if (const metrology::StandardEntry* old = metrology::findStandard(now, entry.name); old && kept.retiredOn.empty()) {
    kept.retiredOn = old->retiredOn;
  }
  if (!store->saveStandard(kept)) {
    problem = store->problem();
    return false;
  }
  std::string ignored;
  standards(register_, ignored);
  // A re-saved entry reaches the rows that chose it: their next points take it.
  for (RowLab& r : rows_) {
    if (r.standard && r.standard->name == kept.name) r.standard = kept;
  }
  refresh();
  // Kept all the same: the register is the lab's list of what it owns, and the
  // new certificate's dates are typed over this entry when it comes back.
  if (std::string due; kept.retiredOn.empty() && !metrology::usableOn(kept, todayUtc(), due)) {
    controls_.messageBox(due.substr(0, due.find(';')) + ": it is in the register, but no row can use it until its "
                         "new certificate's dates are entered");
  }
  return true;
}

bool LabBench::retireStandard(const std::string& name, std::string& problem) {
  std::vector<metrology::StandardEntry> now;
  if (!standards(now, problem)) return false;
  const metrology::StandardEntry* found = metrology::findStandard(now, name);
  if (found == nullptr) {
    problem = "Reference standard " + name + " is not in the register";
    return false;
  }
  if (!found->retiredOn.empty()) {
    problem = "Reference standard " + name + " was retired on " + found->retiredOn + " already";
    return false;
  }
  metrology::StandardEntry retired = *found;
  retired.retiredOn = todayUtc();
  return addStandard(retired, problem);
}

// One instrument, one entry: a second name for the same identification would let
// a recalibrated standard be chosen under its old certificate.
bool LabBench::identificationIsFree(const metrology::StandardEntry& entry,
                                    const std::vector<metrology::StandardEntry>& now, std::string& problem) {
  if (entry.identification.empty()) return true;
  for (const metrology::StandardEntry& e : now) {
    if (e.name == entry.name || e.identification != entry.identification) continue;
    problem = "Reference standard " + e.name + (e.retiredOn.empty() ? "" : " (retired)") +
              " has the identification " + e.identification +
              " already: pick it in the register to change it, rather than adding it again";
    return false;
  }
  return true;
}

bool LabBench::followRegister(int row, std::string& problem) {
  RowLab& r = lab(row);
  if (!r.standard) return true;
  std::string why;
  if (!standards(register_, why)) {
    problem = "The register of reference standards cannot be read: " + why;
    return false;
  }
  const metrology::StandardEntry* found = metrology::findStandard(register_, r.standard->name);
  if (found == nullptr) {
    problem = formatText("Reference standard %s of row %d is no longer in the register", r.standard->name.c_str(),
                         row + 1);
    return false;
  }
  r.standard = *found;
  return usableOnRow(row, *found, problem);
}

// An entry another program put into the register is checked as one typed here;
// one re-saved in another unit no longer fits the row that chose it.
bool LabBench::usableOnRow(int row, const metrology::StandardEntry& entry, std::string& problem) const {
  const Measurement* m = s_.rows[static_cast<std::size_t>(row)].measurement;
  const std::string rowUnit = m != nullptr ? toUtf8(m->secondaryText.text) : std::string();
  if (!entry.unit.empty() && !metrology::sameUnit(entry.unit, rowUnit)) {
    problem = formatText("Reference standard %s is in %s, and row %d reads in %s", entry.name.c_str(),
                         entry.unit.c_str(), row + 1, rowUnit.c_str());
    return false;
  }
  return metrology::checkEntry(entry, problem) && metrology::usableOn(entry, todayUtc(), problem);
}

bool LabBench::standards(std::vector<metrology::StandardEntry>& out, std::string& problem) {
  RecordStore* store = records_.store();
  out.clear();
  if (store == nullptr) return true;
  if (store->listStandards(out)) return true;
  problem = store->problem();
  return false;
}

bool LabBench::chooseStandard(int row, const std::string& name, std::string& problem) {
  if (row < 0 || row >= s_.rowCount) {
    problem = formatText("There is no row %d", row + 1);
    return false;
  }
  if (name.empty() || name == kNoStandard) {
    lab(row).standard.reset();
    rememberStandard(row);
    return true;
  }
  const metrology::StandardEntry* found = metrology::findStandard(register_, name);
  if (found == nullptr) {
    problem = "Reference standard " + name + " is not in the register";
  } else if (usableOnRow(row, *found, problem)) {
    lab(row).standard = *found;
    rememberStandard(row);
    return true;
  }
  lab(row).standard.reset();
  controls_.setText(ids::kStandard + row, kNoStandard);
  return false;
}

// The next sensor of the model is offered the same standards, row by row.
void LabBench::rememberStandard(int row) {
  const Measurement* m = s_.rows[static_cast<std::size_t>(row)].measurement;
  if (s_.currentDatasheet == nullptr || m == nullptr) return;
  const auto& standard = lab(row).standard;
  setRowStandard(settings_, s_.currentDatasheet->sensorId, m->id, standard ? standard->name : std::string());
}

// The standard remembered for the row, when the register still has it and it may
// still be used there; else none, for the operator to choose.
void LabBench::recallStandard(int row) {
  const Measurement* m = s_.rows[static_cast<std::size_t>(row)].measurement;
  if (s_.currentDatasheet == nullptr || m == nullptr) return;
  const std::string name = rowStandard(settings_, s_.currentDatasheet->sensorId, m->id);
  const metrology::StandardEntry* found = metrology::findStandard(register_, name);
  std::string ignored;
  if (found != nullptr && usableOnRow(row, *found, ignored)) lab(row).standard = *found;
}

bool LabBench::setTolerance(int row, const std::string& text, std::string& problem) {
  metrology::Tolerance t;
  if (row < 0 || row >= s_.rowCount || s_.currentDatasheet == nullptr) {
    problem = formatText("There is no row %d", row + 1);
    return false;
  }
  if (!parseTolerance(text, t, problem)) return false;
  const CalibrationRow& r = s_.rows[static_cast<std::size_t>(row)];
  const std::string before = toleranceText(lab(row).tolerance);
  lab(row).tolerance = t;
  if (r.measurement == nullptr) return true;
  setRowTolerance(settings_, s_.currentDatasheet->sensorId, r.measurement->id, t);
  RecordStore* store = records_.store();
  const std::string change = formatText("model %d, measurement %d: ", s_.currentDatasheet->sensorId,
                                        r.measurement->id) +
                             "\"" + before + "\" -> \"" + toleranceText(t) + "\"";
  if (before != toleranceText(t) && store != nullptr && !store->noteStationEvent("tolerance changed", "", change)) {
    problem = "The tolerance was kept but not entered in the audit trail: " + store->problem();
    controls_.messageBox(problem);
  }
  return true;
}

void LabBench::sensorTaken(bool anotherSensor) {
  if (anotherSensor) {
    // Nothing typed for the last sensor is this one's own. A unit calibrated
    // before is proposed again from its records.
    controls_.setText(ids::kUnit, "");
    controls_.setText(ids::kCustomer, "");
    controls_.setText(ids::kCustomerAddress, "");
    controls_.setText(ids::kCustomerEmail, "");
    controls_.setText(ids::kResult, "");
    resultWhere_.clear();
  }
  written_.clear();
  checksOpen_ = false;
  std::string ignored;
  standards(register_, ignored);
  // A sensor read again (after Verify, a restore, or plugged back) keeps its rows'
  // standards; another model starts with those last chosen for its rows.
  const int model = s_.currentDatasheet != nullptr ? s_.currentDatasheet->sensorId : 0;
  const bool keepStandards = model == 0 || model == model_;
  if (model != 0) model_ = model;
  for (int i = 0; i < kCalibrationRows; ++i) {
    RowLab& r = lab(i);
    auto standard = std::move(r.standard);
    r = RowLab{};
    if (keepStandards) r.standard = std::move(standard);
    const CalibrationRow& row = s_.rows[static_cast<std::size_t>(i)];
    if (i >= s_.rowCount || row.measurement == nullptr || s_.currentDatasheet == nullptr) continue;
    r.tolerance = rowTolerance(settings_, s_.currentDatasheet->sensorId, row.measurement->id);
    r.hasLine = row.extraRow == 0 && row.measurement->conversionType == kCalibrated;
    if (!keepStandards) recallStandard(i);
  }
  proposeUnit();
  if (RecordStore* store = records_.store(); store == nullptr || !store->customers(servedBefore_)) servedBefore_.clear();
  refresh();
}

void LabBench::customerTyped() {
  const std::string name = controls_.text(ids::kCustomer);
  const CustomerContact shown{name, controls_.text(ids::kCustomerAddress), controls_.text(ids::kCustomerEmail)};
  if (filledFrom_ && filledFrom_->name != name) {
    // Still as filled in: they were the other customer's, not typed for this one.
    if (shown.address == filledFrom_->address && shown.email == filledFrom_->email) {
      controls_.setText(ids::kCustomerAddress, "");
      controls_.setText(ids::kCustomerEmail, "");
    }
    filledFrom_.reset();
  }
  const std::string address = controls_.text(ids::kCustomerAddress);
  const std::string email = controls_.text(ids::kCustomerEmail);
  if (!address.empty() || !email.empty()) return;
  for (const CustomerContact& c : servedBefore_) {
    if (c.name != name) continue;
    controls_.setText(ids::kCustomerAddress, c.address);
    controls_.setText(ids::kCustomerEmail, c.email);
    filledFrom_ = c;
    return;
  }
}

void LabBench::addRawReadings() {
  for (int i = 0; i < s_.rowCount && i < kCalibrationRows; ++i) {
    std::deque<double>& raws = lab(i).raws;
    raws.push_back(s_.currentReading(s_.rows[static_cast<std::size_t>(i)].sourceConverter));
    if (raws.size() > kWindow) raws.pop_front();
  }
}

bool LabBench::clicked(int id) {
  int row = 0;
  std::string problem;
  if (ids::inRow(id, ids::kStandard, row)) {
    if (!chooseStandard(row, controls_.text(id), problem)) controls_.messageBox(problem);
  } else if (ids::inRow(id, ids::kReferenceSource, row)) {
    reference_.setFromInstrument(row, controls_.text(id) == "instrument");
  } else if (ids::inRow(id, ids::kCheck, row)) {
    if (!check(row, problem)) controls_.messageBox(problem);
  } else {
    return false;
  }
  refresh();
  return true;
}

bool LabBench::mayRestore(const CalibrationRecord& record) {
  restoreConfirmation_.clear();
  // A sensor holding neither of the record's states is asked about by the restore
  // itself; here it is the unit that must be the record's.
  const std::string unit = controls_.text(ids::kUnit);
  if (record.unit.empty() || unit == record.unit) return true;
  const std::string why = formatText("Record %lld is of unit %s, and the plugged sensor is %s", record.id,
                                     record.unit.c_str(), unit.empty() ? "of no unit typed" : ("unit " + unit).c_str());
  if (!controls_.ask(why + ".\nWrite the record's state into this sensor anyway?")) {
    controls_.messageBox("Restore cancelled; nothing was written to the sensor");
    return false;
  }
  restoreConfirmation_ = "confirmed by the operator: " + why;
  return true;
}

void LabBench::proposeUnit() {
  RecordStore* store = records_.store();
  if (store == nullptr || s_.currentDatasheet == nullptr || s_.knownImage.empty() ||
      controls_.text(ids::kUnit).find_first_not_of(" \t") != std::string::npos) {
    return;
  }
  std::vector<RecordSummary> kept;
  if (!store->list(s_.currentDatasheet->sensorId, kept)) return;
  // The newest records are looked at: a unit calibrated long ago and not since
  // holds a newer image by now, or is found by its tag.
  constexpr std::size_t kLooked = 20;
  for (std::size_t i = 0; i < kept.size() && i < kLooked; ++i) {
    CalibrationRecord record;
    if (!kept[i].success || kept[i].unit.empty() || !store->load(kept[i].uuid, record)) continue;
    if (record.asLeftImage == s_.knownImage) {
      controls_.setText(ids::kUnit, record.unit);
      return;
    }
  }
}

bool LabBench::dueUnits(std::vector<UnitDue>& out, std::string& problem) {
  if (records_.store() != nullptr) return unitsDue(*records_.store(), settings_, todayUtc(), out, problem);
  problem = "This station keeps no records";
  return false;
}

}  // namespace trimwell
