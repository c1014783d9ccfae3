#include "app/record_keeping.h"

#include <cmath>
#include <cstdlib>

#include "app/control_ids.h"
#include "calibration/settings_store.h"
#include "documents/laboratory.h"
#include "platform/format_text.h"
#include "records/lab_record_store.h"
#include "records/postgres_record_store.h"
#include "records/sqlite_record_store.h"

namespace trimwell {

// A PostgreSQL URL names the lab's store, with an outbox on the station for the
// records it cannot take at the time; anything else is the station's own file. A
// file that cannot be opened now is tried again before each write.
RecordKeeping::RecordKeeping(WindowControls& controls, Registry& settings, const std::string& recordsFile,
                             const std::string& outbox)
    : controls_(controls), settings_(settings) {
  if (recordsFile.empty()) return;
  const bool lab = PostgresRecordStore::isUrl(recordsFile);
  const std::string local = lab ? outbox : recordsFile;
  auto file = std::make_unique<SqliteRecordStore>(local.empty() ? ":memory:" : local);
  if (!lab) {
    store_ = std::move(file);
    return;
  }
  auto server = std::make_unique<PostgresRecordStore>(recordsFile);
  server->setCaFile(Laboratory::load(settings).storeCaFile);
  tlsNotice_ = server->tlsNotice();
  auto labStore = std::make_unique<LabRecordStore>(std::move(server), std::move(file));
  lab_ = labStore.get();
  store_ = std::move(labStore);
}

std::size_t RecordKeeping::finishSending(const std::function<bool(std::size_t)>& progress) {
  return lab_ != nullptr ? lab_->finishSending(LabRecordStore::kClosingFlush, progress) : 0;
}

std::string RecordKeeping::keepingProblem() { return store_ != nullptr ? store_->keepingProblem() : std::string(); }

void RecordKeeping::warnIfCannotKeep() {
  if (!tlsNotice_.empty()) controls_.messageBox(formatText("Warning!  %s.", tlsNotice_.c_str()));
  const std::string problem = keepingProblem();
  if (problem.empty()) return;
  controls_.messageBox(formatText("Warning!  Records of writes into sensors cannot be kept: %s.", problem.c_str()));
}

std::string RecordKeeping::unrecordedCounts() const {
  if (unrecordedWrites_ == 0 && unrecordedRefused_ == 0) return {};
  return formatText("; writes without a record: %d, refused for want of a record: %d", unrecordedWrites_,
                    unrecordedRefused_);
}

bool RecordKeeping::mayWrite(const std::string& contentProblem) {
  if (store_ == nullptr) return true;  // a station set up to keep no records
  std::string problem = store_->keepingProblem();
  if (problem.empty()) problem = contentProblem;
  if (problem.empty()) return true;
  std::uint32_t required = 0;
  const bool forbidden = settings_.queryDword(kSettingsBasePath, "RecordsRequired", required) && required != 0;
  if (!forbidden && controls_.ask(formatText("The record of this write cannot be kept: %s.\n\nWrite into the sensor "
                                             "without its record?",
                                             problem.c_str()))) {
    ++unrecordedWrites_;
    return true;
  }
  ++unrecordedRefused_;
  if (forbidden) {
    controls_.messageBox(formatText("The record of this write cannot be kept (%s), and this station may not write a "
                                    "sensor without its record; nothing was written to the sensor",
                                    problem.c_str()));
  }
  controls_.setText(ids::kResult, formatText("Nothing written: its record cannot be kept (%s%s)", problem.c_str(),
                                             unrecordedCounts().c_str()));
  return false;
}

CalibrationRecord RecordKeeping::recordOf(const WriteOutcome& o) {
  CalibrationRecord r;
  r.kind = o.restore ? RecordKind::Restore : RecordKind::Calibration;
  r.interfaceKind = o.interfaceKind;
  r.interfaceProduct = o.interfaceProduct;
  r.firmwareVersion = o.firmwareVersion;
  r.sensorId = o.sensorId;
  r.datasheetName = o.datasheetName;
  r.datasheetVersion = o.datasheetVersion;
  for (const WrittenRow& w : o.rows) {
    r.rows.push_back({w.measurementId, w.name, w.point1Raw, w.point1Data, w.point2Raw, w.point2Data, w.constants,
                      w.leftOut, w.extra});
  }
  r.options = o.options;
  r.success = o.success;
  r.result = o.result;
  r.asFoundImage = o.asFound.image;
  r.asFoundCalibration = o.asFound.calibration;
  r.asLeftImage = o.asLeft.image;
  r.asLeftCalibration = o.asLeft.calibration;
  r.restoredFrom = o.restoredFrom;
  r.restoredFromUuid = o.restoredFromUuid;
  return r;
}

void RecordKeeping::keep(const WriteOutcome& outcome, const std::function<void(CalibrationRecord&)>& amend) {
  CalibrationRecord record = recordOf(outcome);
  if (amend) amend(record);
  stampRecord(record);
  std::string where;
  // A record not kept is no one's last: a check after it has no record to join.
  lastRecord_.clear();
  if (store_ != nullptr && store_->add(record)) {
    where = store_->describe(record);
    lastRecord_ = record.uuid;
  } else {
    where = "not recorded: " + (store_ != nullptr ? store_->problem() : std::string("no record store"));
  }
  if (auto* lab = dynamic_cast<LabRecordStore*>(store_.get()); lab != nullptr) {
    for (const std::string& note : lab->takeNotes()) where += "; " + note;
  }
  where += unrecordedCounts();
  const char* what = outcome.restore ? "Restore" : "Calibration";
  controls_.setText(ids::kResult, outcome.success
                                      ? formatText("%s written and verified (%s)", what, where.c_str())
                                      : formatText("%s failed: %s (%s)", what, outcome.result.c_str(), where.c_str()));
}

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string quoted(double value) { return std::isnan(value) ? std::string("not recorded") : exactNumber(value); }

// Applies the corrections, and says each as "field: old -> new"; nothing for a
// value corrected to what it was.
std::string applyCorrections(const RecordCorrections& c, CalibrationRecord& r) {
  std::string said;
  const auto correct = [&](const char* field, const auto& given, auto& kept) {
    if (!given) return;
    if (quoted(kept) != quoted(*given)) {
      said += (said.empty() ? "" : "\n") + std::string(field) + ": " + quoted(kept) + " -> " + quoted(*given);
    }
    kept = *given;
  };
  correct("unit", c.unit, r.unit);
  correct("customer", c.customer, r.customer);
  correct("customer address", c.customerAddress, r.customerAddress);
  correct("customer e-mail", c.customerEmail, r.customerEmail);
  correct("ambient temperature", c.ambientTemperature, r.ambientTemperature);
  correct("relative humidity", c.relativeHumidity, r.relativeHumidity);
  return said;
}

}  // namespace

bool parseCorrections(const std::string& text, RecordCorrections& out, std::string& problem) {
  out = {};
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(start, end - start);
    part.erase(0, part.find_first_not_of(' '));
    start = end + 1;
    if (part.empty()) continue;
    const std::size_t equals = part.find('=');
    const std::string field = part.substr(0, equals), value = equals == std::string::npos ? "" : part.substr(equals + 1);
    char* rest = nullptr;
    const double number = std::strtod(value.c_str(), &rest);
    const bool isNumber = !value.empty() && rest != nullptr && *rest == '\0' && std::isfinite(number);
    if (equals != std::string::npos && field == "unit") {
      out.unit = value;
    } else if (equals != std::string::npos && field == "customer") {
      out.customer = value;
    } else if (equals != std::string::npos && field == "customer-address") {
      out.customerAddress = value;
    } else if (equals != std::string::npos && field == "customer-email") {
      out.customerEmail = value;
    } else if (field == "ambient" && isNumber) {
      out.ambientTemperature = number;
    } else if (field == "humidity" && isNumber && number >= 0 && number <= 100) {
      out.relativeHumidity = number;
    } else {
      problem = "The correction \"" + part +
                "\" is none of unit=TEXT, customer=TEXT, customer-address=TEXT, customer-email=TEXT, ambient=°C, "
                "humidity=%";
      return false;
    }
  }
  return true;
}

bool RecordKeeping::amend(const std::string& uuid, const std::string& reason, std::string& problem,
                          const RecordCorrections& corrections) {
  if (reason.find_first_not_of(" \t\r\n") == std::string::npos) {
    problem = "An amendment needs its reason";
    return false;
  }
  CalibrationRecord earlier;
  if (store_ == nullptr || !store_->load(uuid, earlier)) {
    problem = "The record cannot be amended: " + (store_ != nullptr ? store_->problem() : "no record store");
    return false;
  }
  CalibrationRecord next = earlier;
  next.uuid.clear();
  next.id = 0;
  next.amendsUuid = earlier.uuid;
  next.revision = earlier.revision + 1;
  next.amendmentReason = reason;
  next.certificateNumber.clear();
  next.signatures.clear();
  next.waiting = false;
  const std::string corrected = applyCorrections(corrections, next);
  // The calibration's own time and people stay: when and by whom it was amended
  // are the trail's entry and the amendment's signature.
  if (!store_->add(next)) {
    const bool amendedAlready = store_->problem().find("amends_uuid") != std::string::npos;
    problem = amendedAlready ? "Record " + std::to_string(earlier.id) + " is amended already: amend its latest version"
                             : "The amendment was not kept: " + store_->problem();
    return false;
  }
  lastRecord_ = next.uuid;
  if (!corrected.empty() && !store_->noteStationEvent("record corrected", next.uuid, corrected)) {
    problem = "The amendment was kept, but its corrections could not be entered in the audit trail: " +
              store_->problem();
    return false;
  }
  return true;
}

bool RecordKeeping::load(const std::string& uuid, RestoreSource& out, CalibrationRecord* whole) {
  CalibrationRecord from;
  if (store_ == nullptr || !store_->load(uuid, from)) {
    const std::string problem = store_ != nullptr ? store_->problem() : "no record store";
    controls_.messageBox(formatText("Record %s cannot be read (%s); nothing was written to the sensor", uuid.c_str(),
                                    problem.c_str()));
    return false;
  }
  out.number = from.id;
  out.uuid = from.uuid;
  out.sensorId = from.sensorId;
  out.options = from.options;
  out.asFound = {from.asFoundImage, from.asFoundCalibration};
  out.asLeft = {from.asLeftImage, from.asLeftCalibration};
  if (whole != nullptr) *whole = std::move(from);
  return true;
}

}  // namespace trimwell
