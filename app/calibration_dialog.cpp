#include "app/calibration_dialog.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/control_ids.h"
#include "app/station_summary.h"
#include "calibration/typed_value.h"
#include "link/firmware_update.h"
#include "records/lab_record_store.h"
#include "records/postgres_record_store.h"
#include "records/sqlite_record_store.h"
#include "platform/format_text.h"
#include "platform/sleeper.h"

namespace trimwell {

void DialogScanner::OnScanEvent(int event, void* context, SensorInterface* interface, Datasheet* datasheet,
                                int index) {
  static_cast<CalibrationDialog*>(context)->OnSensorEvent(event, interface, datasheet, index);
}

void DialogScanner::ScanStation(void* context, bool wirelessChosen) {
  const bool wirelessInUse = entry(kWirelessInterface).interface != nullptr;
  if (!wirelessInUse) Scan(context, 2);
  if (entry(0).interface == nullptr && (wirelessChosen || wirelessInUse)) {
    ScanNumber(context, kWirelessInterface, 2);
  }
}

CalibrationDialog::CalibrationDialog(WindowControls& controls, Registry& settings, DialogPaths paths,
                                     WirelessPort* wireless)
    : controls_(controls),
      procedure_(session_, *this),
      settings_(settings, session_, *this),
      registry_(settings),
      library_(paths.datasheetFolder),
      paths_(std::move(paths)),
      wireless_(wireless) {
  controls_.setListener(this);
  openRecordStore();
}

// A PostgreSQL URL names the lab's store, with an outbox on the station for the
// records it cannot take at the time; anything else is the station's own file. A
// file that cannot be opened now is tried again before each write.
void CalibrationDialog::openRecordStore() {
  if (paths_.recordsFile.empty()) return;
  const bool lab = PostgresRecordStore::isUrl(paths_.recordsFile);
  const std::string local = lab ? paths_.recordsOutbox : paths_.recordsFile;
  auto file = std::make_unique<SqliteRecordStore>(local.empty() ? ":memory:" : local);
  if (!lab) {
    records_ = std::move(file);
    return;
  }
  records_ = std::make_unique<LabRecordStore>(std::make_unique<PostgresRecordStore>(paths_.recordsFile), std::move(file));
}

std::string CalibrationDialog::unrecordedCounts() const {
  if (unrecordedWrites_ == 0 && unrecordedRefused_ == 0) return {};
  return formatText("; writes without a record: %d, refused for want of a record: %d", unrecordedWrites_,
                    unrecordedRefused_);
}

// Before each write into a sensor: when its record cannot be kept, the write goes
// ahead only if the lab's settings allow it and the operator confirms it.
bool CalibrationDialog::MayWrite() {
  if (records_ == nullptr) return true;  // a station set up to keep no records
  const std::string problem = records_->keepingProblem();
  if (problem.empty()) return true;
  std::uint32_t required = 0;
  const bool forbidden = registry_.queryDword(kSettingsBasePath, "RecordsRequired", required) && required != 0;
  if (!forbidden && controls_.ask(formatText("The record of this write cannot be kept: %s.\n\nWrite into "
                                                     "the sensor without its record?",
                                                     problem.c_str()))) {
    ++unrecordedWrites_;
    return true;
  }
  ++unrecordedRefused_;
  if (forbidden) {
    ShowMessage(formatText("The record of this write cannot be kept (%s), and this station may not write a sensor "
                           "without its record; nothing was written to the sensor",
                           problem.c_str()));
  }
  controls_.setText(ids::kResult, formatText("Nothing written: its record cannot be kept (%s%s)", problem.c_str(),
                                             unrecordedCounts().c_str()));
  return false;
}

void CalibrationDialog::KeepRecord(CalibrationRecord& record) {
  stampRecord(record);
  std::string where;
  if (records_ != nullptr && records_->add(record)) {
    where = records_->describe(record);
    lastRecord_ = record.uuid;
  } else {
    where = "not recorded: " + (records_ != nullptr ? records_->problem() : recordsProblem_);
  }
  if (auto* lab = dynamic_cast<LabRecordStore*>(records_.get()); lab != nullptr) {
    for (const std::string& note : lab->takeNotes()) where += "; " + note;
  }
  where += unrecordedCounts();
  const char* what = record.kind == RecordKind::Restore ? "Restore" : "Calibration";
  controls_.setText(ids::kResult, record.success
                                      ? formatText("%s written and verified (%s)", what, where.c_str())
                                      : formatText("%s failed: %s (%s)", what, record.result.c_str(), where.c_str()));
}

bool CalibrationDialog::RestoreRecord(const std::string& uuid, bool asFound) {
  if (stepBusy_) return false;
  const StepGuard step(*this);
  CalibrationRecord from;
  if (records_ == nullptr || !records_->load(uuid, from)) {
    ShowMessage(formatText("Record %s cannot be read (%s); nothing was written to the sensor", uuid.c_str(),
                           records_ != nullptr ? records_->problem().c_str() : recordsProblem_.c_str()));
    return false;
  }
  const bool restored = procedure_.Restore(from, asFound);
  // The station's idea of the sensor is the one before: it reads the sensor again.
  if (session_.currentInterface != nullptr) {
    scanner_.RequestReread(session_.currentInterface->interfaceNumber, 0);
    session_.currentInterface->close();
  }
  return restored;
}

CalibrationDialog::~CalibrationDialog() { controls_.setListener(nullptr); }

std::string CalibrationDialog::AboutText() {
  return formatText("Trimwell Version 1.21\nBuilt %s -- %s", __DATE__, __TIME__);
}

void CalibrationDialog::OnInitDialog() {
  SetStatus("No Sensor Detected...");
  session_.currentInterface = nullptr;
  session_.currentDatasheet = nullptr;
  const CalibrationOptions& o = session_.options;
  controls_.setChecked(ids::kAutoGainSet, o.autoGainSet != 0);
  controls_.setChecked(ids::kDoFactoryInit, o.doFactoryInit != 0);
  controls_.setChecked(ids::kHighEepromCal, o.highEepromCal != 0);
  controls_.setChecked(ids::kSimultaneousCal, o.simultaneousCal != 0);
  controls_.setChecked(ids::kDataAveraging, o.dataAveraging != 0);
  // Whatever the window made, nothing of a sensor is offered before one is there.
  RefreshRows(true);
  controls_.show(ids::kWirelessPort, wireless_ != nullptr);
  if (wireless_ != nullptr) {
    RefreshWirelessChoices();
    // The stored port is tried once now, so that what is wrong with it shows at once.
    if (!wireless_->chosen().empty()) wireless_->connect();
  }
  refreshInfo();
  // The store fails silently call by call; the operator hears of it once, here.
  const std::string problem = registry_.keepingProblem();
  if (!problem.empty()) {
    ShowMessage(formatText("Warning!  Settings will not be kept: %s.", problem.c_str()));
  }
  const std::string recordsProblem = records_ != nullptr ? records_->keepingProblem() : std::string();
  if (!recordsProblem.empty()) {
    ShowMessage(formatText("Warning!  Records of writes into sensors cannot be kept: %s.", recordsProblem.c_str()));
  }
}

std::string CalibrationDialog::interfaceLine() const {
  if (interfaceInUse_ == kWirelessInterface) {
    return formatText("Interface: wireless, product 0x%04x%s, firmware %s, port %s", session_.interfaceProduct,
                      session_.interfaceProduct == kVentrixProduct ? " (Ventrix)" : "",
                      session_.firmwareVersion.empty() ? "not read" : session_.firmwareVersion.c_str(),
                      wireless_ != nullptr ? wireless_->devicePath().c_str() : "");
  }
  if (interfaceInUse_ == 0) {
    return formatText("Interface: USB, product 0x%04x%s, firmware %s, interface number 0%s", session_.interfaceProduct,
                      session_.interfaceProduct == kDockmonProduct ? " (Dockmon)" : "",
                      session_.firmwareVersion.empty() ? "not read" : session_.firmwareVersion.c_str(),
                      firmwareFailed_ ? ". The firmware update failed: unplug the interface and plug it in again." : "");
  }
  if (wireless_ == nullptr || wireless_->chosen().empty()) return "Interface: none";
  if (!wireless_->problem().empty()) return "Interface: none. " + wireless_->problem();
  return "Interface: none; looking for the wireless interface on " + wireless_->devicePath();
}

std::string CalibrationDialog::InfoText() const {
  std::string sensorLine = "Sensor: none";
  if (const Datasheet* d = session_.currentDatasheet) {
    sensorLine = formatText("Sensor: ID %d, \"%s\", datasheet %s", d->sensorId, toUtf8(d->name.text).c_str(),
                            d->versionString().c_str());
  }
  const std::string meaning = plainStatus(controls_.text(ids::kStatus));
  std::string text = interfaceLine() + "\n" + sensorLine + (meaning.empty() ? "" : " - " + meaning);
  // The datasheet's own advice for this model, such as the buffers to calibrate with.
  if (const Datasheet* d = session_.currentDatasheet; d != nullptr && !d->extensionText.text.empty()) {
    text += "\nHint: " + toUtf8(d->extensionText.text);
  }
  return text;
}

bool CalibrationDialog::MayClose() {
  if (!session_.pointsPending) return true;
  return controls_.ask(
      "Calibration points are taken and not yet written into the sensor; closing the station loses them.\n"
      "Close anyway?");
}

void CalibrationDialog::RefreshWirelessChoices() {
  if (wireless_ == nullptr) return;
  controls_.setChoices(ids::kWirelessPort, wireless_->choices());
  const std::string chosen = wireless_->chosen();
  controls_.setText(ids::kWirelessPort, chosen.empty() ? WirelessPort::kNone : chosen);
}

// A new choice lets the port in use go (so the interface on it departs at the next
// scan) and connects to the one chosen at once, so that the operator hears now
// what is wrong with it.
void CalibrationDialog::onWirelessPortChosen() {
  if (wireless_ == nullptr) return;
  std::string port = controls_.text(ids::kWirelessPort);
  port.erase(0, port.find_first_not_of(" \t"));
  port.erase(port.find_last_not_of(" \t") + 1);
  if (port.empty()) port = WirelessPort::kNone;
  const bool same = port == wireless_->chosen() && wireless_->connected();
  if (!same) {
    // The interface on the old port goes at the next scan, its sensor with it, even
    // when the new port answers at once: another interface may be there, with
    // another sensor in it.
    if (const auto& link = scanner_.entry(kWirelessInterface).interface) link->close();
    if (!wireless_->choose(port)) ShowMessage(wireless_->problem());
  }
  RefreshWirelessChoices();
  refreshInfo();
}

void CalibrationDialog::refreshInfo() {
  if (controls_.exists(ids::kInfo)) controls_.setText(ids::kInfo, InfoText());
}

void CalibrationDialog::OnDestroy() { settings_.SaveSettings(); }

void CalibrationDialog::SetStatus(const char* format, ...) {
  if (format == nullptr || !controls_.exists(ids::kStatus)) return;
  std::va_list args;
  va_start(args, format);
  const std::string text = formatTextV(format, args);
  va_end(args);
  controls_.setText(ids::kStatus, text);
}

int CalibrationDialog::MessageBox(const char* format, ...) {
  if (format == nullptr) return -1;
  std::va_list args;
  va_start(args, format);
  const std::string text = formatTextV(format, args);
  va_end(args);
  controls_.messageBox(text);
  return 1;  // OK
}

void CalibrationDialog::ShowMessage(const std::string& text) { MessageBox("%s", text.c_str()); }

// ---- rows ----

void CalibrationDialog::refreshGlobalControls() {
  for (int id : {ids::kDoFactoryInit, ids::kHighEepromCal, ids::kSimultaneousCal, ids::kDoPostCalInit,
                 ids::kFactoryInit, ids::kDataAveraging, ids::kVerify, ids::kResetMinMax, ids::kShowRaw, ids::kSet,
                 ids::kShowMinMax, ids::kMultipleManualModes, ids::kOtherCalIds}) {
    if (!controls_.exists(id)) return;
  }
  const CalibrationOptions& o = session_.options;
  const bool rows = session_.rowCount > 0;
  controls_.show(ids::kSimultaneousCal, session_.rowCount > 1);
  for (int id : {ids::kDoFactoryInit, ids::kHighEepromCal, ids::kSet, ids::kOtherCalIds, ids::kMultipleManualModes,
                 ids::kDoPostCalInit, ids::kAutoGainSet, ids::kDataAveraging, ids::kShowRaw, ids::kShowMinMax,
                 ids::kVerify}) {
    controls_.show(id, rows);
  }
  controls_.show(ids::kResetMinMax, rows && o.showMinMax != 0);
  if (controls_.exists(ids::kOnlyWhenStable)) controls_.show(ids::kOnlyWhenStable, rows);
  controls_.show(ids::kFactoryInit, o.doFactoryInit != 0 && rows);
  controls_.enable(ids::kFactoryInit, session_.step == kWaitFactoryInit);
  controls_.setFocus(ids::kFactoryInit);
}

void CalibrationDialog::refreshRow(int i) {
  const int rowIds[] = {ids::kRowCheck, ids::kPoint1, ids::kPoint2, ids::kPt1Raw, ids::kPt1Data, ids::kPt2Raw,
                        ids::kPt2Data, ids::kManual1, ids::kManual2, ids::kGain, ids::kMeasurement, ids::kMinimum,
                        ids::kMaximum, ids::kRaw};
  for (int base : rowIds) {
    if (!controls_.exists(base + i)) return;
  }
  const CalibrationOptions& o = session_.options;
  CalibrationRow& row = session_.rows[static_cast<std::size_t>(i)];
  const bool inUse = i < session_.rowCount;
  const bool m1 = session_.effectiveManual1(i);
  const bool m2 = session_.effectiveManual2(i);

  controls_.show(ids::kRowCheck + i, inUse);
  const bool manualShown = inUse && (o.multipleManualModes != 0 || i == 0);
  controls_.show(ids::kManual1 + i, manualShown);
  controls_.show(ids::kManual2 + i, manualShown);
  controls_.setChecked(ids::kRowCheck + i, row.disable != 0);
  controls_.setChecked(ids::kManual1 + i, row.manualPoint1 != 0);
  controls_.setChecked(ids::kManual2 + i, row.manualPoint2 != 0);

  const bool offered = inUse && (o.simultaneousCal == 0 || i == 0);
  controls_.show(ids::kPoint1 + i, offered);
  controls_.show(ids::kPoint2 + i, offered && !m1 && !m2);
  controls_.setText(ids::kPoint1 + i, m1 || m2 ? "Calibrate" : "Point 1");

  for (int base : {ids::kPt1Data, ids::kPt2Data, ids::kPt1Raw, ids::kPt2Raw, ids::kMeasurement}) {
    controls_.show(base + i, inUse);
  }
  controls_.show(ids::kRaw + i, inUse && o.showRaw != 0);
  if (controls_.exists(ids::kStability + i)) controls_.show(ids::kStability + i, inUse);
  controls_.show(ids::kMinimum + i, inUse && o.showMinMax != 0);
  controls_.show(ids::kMaximum + i, inUse && o.showMinMax != 0);
  controls_.show(ids::kGain + i, inUse && o.autoGainSet != 0);

  controls_.setReadOnly(ids::kPt1Raw + i, !m1);
  controls_.setReadOnly(ids::kPt2Raw + i, !m2);
  controls_.setText(ids::kPt1Raw + i, m1 ? row.typedPoint1RawText : std::string());
  controls_.setText(ids::kPt2Raw + i, m2 ? row.typedPoint2RawText : std::string());

  if (offered) {
    // Simultaneous Cal offers its Point buttons on row 0 for every row, whatever row
    // the sequential order had reached.
    const bool current = o.simultaneousCal != 0 ? i == 0 : i == session_.currentRow;
    controls_.enable(ids::kPoint1 + i, session_.step == kWaitPoint1 && current);
    if (session_.step == kWaitPoint1 && current) controls_.setFocus(ids::kPoint1 + i);
    controls_.enable(ids::kPoint2 + i, session_.step == kWaitPoint2 && current);
    if (session_.step == kWaitPoint2 && current) controls_.setFocus(ids::kPoint2 + i);
  }
  if (row.disable != 0) {
    controls_.enable(ids::kPoint1 + i, false);
    controls_.enable(ids::kPoint2 + i, false);
  }
  for (int base : {ids::kPt1Data, ids::kPt2Data, ids::kPt1Raw, ids::kPt2Raw}) {
    controls_.enable(base + i, row.disable == 0);
  }
}

int CalibrationDialog::RefreshRows(bool allRows) {
  refreshGlobalControls();
  const int last = allRows ? kCalibrationRows : std::min(session_.rowCount, kCalibrationRows);
  for (int i = 0; i < last; ++i) refreshRow(i);
  applyColours();
  return last;
}

std::int32_t CalibrationDialog::ControlColour(int id) const {
  if (session_.options.autoGainSet == 0 || session_.selectedGainRow < 0) return kDefaultColour;
  int row = -1;
  for (int base : {ids::kMeasurement, ids::kMaximum, ids::kMinimum, ids::kRaw}) {
    if (ids::inRow(id, base, row)) return row == session_.selectedGainRow ? kRed : kDefaultColour;
  }
  return kDefaultColour;
}

void CalibrationDialog::applyColours() {
  for (int base : {ids::kMeasurement, ids::kMaximum, ids::kMinimum, ids::kRaw}) {
    for (int i = 0; i < kCalibrationRows; ++i) controls_.setTextColour(base + i, ControlColour(base + i));
  }
}

// ---- typed values ----

double CalibrationDialog::ParseTypedValue(const std::string& text, bool fixedPoint) {
  double value = 0.0;
  parseTypedNumber(text, fixedPoint, value);
  return value;
}

void CalibrationDialog::onTypedRaw(int row, bool point2) {
  if (row >= session_.rowCount) return;
  if (!(point2 ? session_.effectiveManual2(row) : session_.effectiveManual1(row))) return;
  CalibrationRow& r = session_.rows[static_cast<std::size_t>(row)];
  const std::string text = controls_.text((point2 ? ids::kPt2Raw : ids::kPt1Raw) + row);
  const bool fixed = r.measurement != nullptr && r.sourceMeasurement != nullptr &&
                     r.sourceMeasurement->conversionType == kRawLong;
  (point2 ? r.typedPoint2RawText : r.typedPoint1RawText) = text;
  (point2 ? r.typedPoint2Raw : r.typedPoint1Raw) = ParseTypedValue(text, fixed);
}

void CalibrationDialog::OnControlTextChanged(int id) {
  int row = 0;
  for (int base : {ids::kPt1Data, ids::kPt2Data, ids::kPt1Raw, ids::kPt2Raw}) {
    // A field marked as no number is unmarked as soon as the operator edits it.
    if (ids::inRow(id, base, row)) controls_.setTextColour(id, kDefaultColour);
  }
  if (ids::inRow(id, ids::kPt1Data, row)) {
    session_.rows[static_cast<std::size_t>(row)].point1Data = ParseTypedValue(controls_.text(id), false);
  } else if (ids::inRow(id, ids::kPt2Data, row)) {
    session_.rows[static_cast<std::size_t>(row)].point2Data = ParseTypedValue(controls_.text(id), false);
  } else if (ids::inRow(id, ids::kPt1Raw, row)) {
    onTypedRaw(row, false);
  } else if (ids::inRow(id, ids::kPt2Raw, row)) {
    onTypedRaw(row, true);
  }
}

// ---- clicks ----

void CalibrationDialog::onOptionClicked(int id) {
  CalibrationOptions& o = session_.options;
  const std::uint32_t checked = controls_.isChecked(id) ? 1 : 0;
  switch (id) {
    case ids::kDoFactoryInit:
      o.doFactoryInit = checked;
      session_.step = checked != 0 ? kWaitFactoryInit : kWaitPoint1;
      break;
    case ids::kHighEepromCal: o.highEepromCal = checked; return;
    case ids::kSimultaneousCal:
      o.simultaneousCal = checked;
      restartPoints();
      break;
    case ids::kDoPostCalInit: o.postCalInit = checked; break;
    case ids::kAutoGainSet: o.autoGainSet = checked; break;
    case ids::kDataAveraging: o.dataAveraging = checked; return;
    case ids::kShowRaw: o.showRaw = checked; break;
    case ids::kShowMinMax: o.showMinMax = checked; break;
    case ids::kMultipleManualModes: o.multipleManualModes = checked; break;
    default: return;
  }
  RefreshRows(false);
}

bool CalibrationDialog::onRowClicked(int id) {
  int row = 0;
  if (ids::inRow(id, ids::kPoint1, row)) {
    procedure_.TakePoint1(id);
  } else if (ids::inRow(id, ids::kPoint2, row)) {
    procedure_.TakePoint2(id);
  } else if (ids::inRow(id, ids::kRowCheck, row)) {
    session_.rows[static_cast<std::size_t>(row)].disable = controls_.isChecked(id) ? 1 : 0;
    session_.currentRow = session_.rowCount;
    procedure_.AdvanceRow();
    RefreshRows(false);
  } else if (ids::inRow(id, ids::kManual1, row)) {
    session_.rows[static_cast<std::size_t>(row)].manualPoint1 = controls_.isChecked(id) ? 1 : 0;
    RefreshRows(false);
  } else if (ids::inRow(id, ids::kManual2, row)) {
    session_.rows[static_cast<std::size_t>(row)].manualPoint2 = controls_.isChecked(id) ? 1 : 0;
    RefreshRows(false);
  } else if (ids::inRow(id, ids::kGain, row)) {
    procedure_.SelectGain(id);
    applyColours();
  } else {
    return false;
  }
  return true;
}

void CalibrationDialog::OnControlClicked(int id) {
  // A click that reaches the dialog while a step waits in a message box is dropped:
  // the step on the stack still holds the sensor's rows and datasheet.
  if (stepBusy_) return;
  const StepGuard step(*this);
  if (id == ids::kOnlyWhenStable) {
    onlyWhenStable_ = controls_.isChecked(id);
    if (!onlyWhenStable_) heldPoint_ = 0;
    return;
  }
  if (id == ids::kWirelessPort) {
    onWirelessPortChosen();
    return;
  }
  if (holdUntilStable(id)) return;
  if (onRowClicked(id)) return;
  switch (id) {
    case ids::kFactoryInit: procedure_.FactoryInit(); break;
    case ids::kVerify: onVerify(); break;
    case ids::kResetMinMax: onResetMinMax(); break;
    case ids::kSet: onSet(); break;
    default: onOptionClicked(id); break;
  }
}

void CalibrationDialog::onVerify() {
  session_.verifyRequested = true;
  if (session_.currentInterface == nullptr) return;
  scanner_.RequestReread(session_.currentInterface->interfaceNumber, 0);
  session_.currentInterface->close();
}

void CalibrationDialog::onResetMinMax() {
  for (int i = 0; i < session_.rowCount && i < kCalibrationRows; ++i) {
    session_.rows[static_cast<std::size_t>(i)].runningMinimum = 1e100;
    session_.rows[static_cast<std::size_t>(i)].runningMaximum = -1e100;
  }
}

// Switching between simultaneous and sequential points starts the points afresh
// at the first row in use: Simultaneous Cal leaves the sequential order past the
// last row, where it would offer no Point button at all.
void CalibrationDialog::restartPoints() {
  if (session_.rowCount == 0) return;
  session_.currentRow = session_.rowCount;
  procedure_.AdvanceRow();
}

namespace {

std::string trimmedText(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool measurementIdOf(const std::string& item, int& id) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
  if (item.empty() || error != std::errc() || end != item.data() + item.size() || value > 0xFFFF) return false;
  id = static_cast<int>(value);
  return true;
}

}  // namespace

// Other Cal Measurement IDs: whole numbers from 0 to 65535, parted by commas. A
// list with anything else in it adds no row: what was meant by "2;3" or "0x0B"
// is a guess, and a guessed row is a wrong calibration.
bool CalibrationDialog::readOtherIds(std::vector<int>& out) {
  const std::string text = trimmedText(controls_.text(ids::kOtherCalIds));
  out.clear();
  if (text.empty()) return true;
  std::string refused;
  for (std::size_t at = 0; at <= text.size();) {
    std::size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = trimmedText(text.substr(at, comma - at));
    int id = 0;
    if (measurementIdOf(item, id)) {
      out.push_back(id);
    } else {
      refused += (refused.empty() ? "\"" : ", \"") + item + "\"";
    }
    at = comma + 1;
  }
  if (refused.empty()) return true;
  const bool one = refused.find("\", \"") == std::string::npos;
  ShowMessage(formatText("Other Cal Measurement IDs: %s %s (a whole number from 0 to 65535; several are parted by "
                         "commas); no row was added",
                         refused.c_str(), one ? "is not a measurement ID" : "are not measurement IDs"));
  return false;
}

void CalibrationDialog::onSet() {
  std::vector<int> wanted;
  if (!readOtherIds(wanted)) return;
  for (int i = 0; i < session_.rowCount; ++i) {
    if (session_.rows[static_cast<std::size_t>(i)].extraRow != 0) {
      session_.rowCount = i;
      break;
    }
  }
  for (const int id : wanted) {
    if (session_.currentDatasheet == nullptr) break;
    if (session_.rowCount >= kCalibrationRows) {
      ShowMessage(formatText("Other Cal Measurement ID %d: all %d rows are in use", id, kCalibrationRows));
      break;
    }
    const std::string refusal = extraRowRefusal(id);
    if (!refusal.empty()) {
      ShowMessage(refusal);
      continue;
    }
    session_.fillRow(session_.rowCount, session_.currentDatasheet->findMeasurement(id), true);
    ++session_.rowCount;
  }
  RefreshRows(true);
}

// Row settings are kept per measurement ID, so a second row for a measurement
// that has one would take over the first one's settings at the next plug.
std::string CalibrationDialog::extraRowRefusal(int measurementId) const {
  if (session_.currentDatasheet->findMeasurement(measurementId) == nullptr) {
    return formatText("Other Cal Measurement ID %d: the sensor has no measurement with this ID", measurementId);
  }
  for (int i = 0; i < session_.rowCount; ++i) {
    const Measurement* m = session_.rows[static_cast<std::size_t>(i)].measurement;
    if (m != nullptr && m->id == measurementId) {
      return formatText("Other Cal Measurement ID %d: this measurement already has row %d", measurementId, i + 1);
    }
  }
  return {};
}

// ---- the tick ----

// A message box runs an event loop of its own, which keeps the timer going. A tick
// that comes while a step (a tick, a click) is still on the stack is held back and
// run once that step is over: a scan meanwhile could free the datasheet the step
// is writing into.
void CalibrationDialog::OnTimer() {
  if (stepBusy_) {
    tickDeferred_ = true;
    return;
  }
  const StepGuard step(*this);
  const bool wirelessChosen = wireless_ != nullptr && !wireless_->chosen().empty();
  if (wirelessChosen && interfaceInUse_ < 0) wireless_->watch();
  scanner_.ScanStation(this, wirelessChosen);
  if (session_.samplingEnabled && session_.rowCount > 0 && session_.currentInterface != nullptr) {
    sampleAndShow();
    if (heldPoint_ != 0 && pointRowsStable(heldPoint_)) takeHeldPoint();
  }
}

// ---- points taken only when stable ----

double CalibrationDialog::rowSpan(int row) const {
  double data1 = 0.0, data2 = 0.0;
  if (parseTypedNumber(controls_.text(ids::kPt1Data + row), false, data1) &&
      parseTypedNumber(controls_.text(ids::kPt2Data + row), false, data2) && data1 != data2) {
    return data2 - data1;
  }
  const auto& history = trends_[static_cast<std::size_t>(row)].history();
  return history.empty() ? 1.0 : std::max(std::abs(history.back()), 1.0);
}

bool CalibrationDialog::rowStable(int row) const { return trends_[static_cast<std::size_t>(row)].stable(rowSpan(row)); }

// The rows a Point press takes from live readings: all rows with Simultaneous Cal,
// else the current one; a typed (manual) point reads nothing.
bool CalibrationDialog::pointRowsStable(int id) const {
  int row = 0;
  const bool point1 = ids::inRow(id, ids::kPoint1, row);
  const bool manual = point1 ? session_.effectiveManual1(row) || session_.effectiveManual2(row)
                             : session_.effectiveManual2(row);
  if (manual) return true;
  for (int r = 0; r < session_.rowCount && r < kCalibrationRows; ++r) {
    const bool taken = session_.options.simultaneousCal != 0 || r == session_.currentRow;
    if (taken && session_.rows[static_cast<std::size_t>(r)].disable == 0 && !rowStable(r)) return false;
  }
  return true;
}

// With "Take points only when stable", a press on a Point button whose rows are
// still settling is held, and taken by the first tick that finds them stable; a
// second press on it lets it go.
bool CalibrationDialog::holdUntilStable(int id) {
  int row = 0;
  if (!onlyWhenStable_ || !(ids::inRow(id, ids::kPoint1, row) || ids::inRow(id, ids::kPoint2, row))) return false;
  if (heldPoint_ == id) {
    heldPoint_ = 0;
    controls_.setText(ids::kResult, formatText("%s of row %d: not taken", controls_.text(id).c_str(), row + 1));
    return true;
  }
  if (pointRowsStable(id)) return false;
  heldPoint_ = id;
  controls_.setText(ids::kResult, formatText("%s of row %d waits for a stable reading; press it again to cancel",
                                             controls_.text(id).c_str(), row + 1));
  return true;
}

void CalibrationDialog::takeHeldPoint() {
  const int id = heldPoint_;
  heldPoint_ = 0;
  controls_.setText(ids::kResult, "");
  if (controls_.isShown(id) && controls_.isEnabled(id)) onRowClicked(id);
}

CalibrationDialog::StepGuard::StepGuard(CalibrationDialog& dialog) : dialog_(dialog) { dialog_.stepBusy_ = true; }

CalibrationDialog::StepGuard::~StepGuard() {
  dialog_.stepBusy_ = false;
  if (dialog_.tickDeferred_) {
    dialog_.tickDeferred_ = false;
    dialog_.OnTimer();
  }
}

void CalibrationDialog::sampleAndShow() {
  const bool averaging = session_.options.dataAveraging != 0;
  if (averaging) session_.converters.ResetAverages();
  const int reads = averaging ? kAveragedReads : 1;
  // The accepted sensor's sample fits the buffer; a larger one is never sampled.
  const std::size_t size = std::min(session_.totalSampleSize, kSampleBufferSize);
  for (int n = 0; n < reads; ++n) {
    std::uint8_t sample[kSampleBufferSize] = {};
    std::size_t returned = 0;
    const bool good = session_.currentInterface->readSample(0, sample, size, &returned) && returned == size;
    // The station's own clock: the rate and difference operations divide by the
    // time between blocks, which a constant time stamp would make zero.
    session_.converters.ProcessSampleBlock(sample, good ? size : returned, sleeper().seconds() - samplingStart_);
    if (!good) {
      controls_.setText(ids::kMeasurement, "Error reading sample");
      return;
    }
  }
  for (int i = 0; i < session_.rowCount && i < kCalibrationRows; ++i) showRow(i);
}

// The raw reading in hexadecimal, as the sensor counts; a raw value with a fraction
// (a mean, or a derived source) as the number it is, which hex would cut.
std::string CalibrationDialog::rawText(const CalibrationRow& row) const {
  if (row.sourceMeasurement == nullptr || row.sourceConverter == nullptr) return "0x0";
  const double reading = session_.currentReading(row.sourceConverter);
  if (!std::isfinite(reading)) return "\u2014";
  const bool fixed = row.sourceMeasurement->conversionType == kRawLong;
  const double scaled = fixed ? reading * 65536.0 : reading;
  if (!fixed && scaled != std::trunc(scaled)) return formatText("%.8g", reading);
  const auto raw = static_cast<long long>(std::trunc(std::clamp(scaled, -9.2e18, 9.2e18)));
  return formatText("0x%x", static_cast<unsigned>(raw));
}

// Why a reading is no number: a calibrated row whose two points share a raw value
// has no line to read through; anything else comes from the conversion itself.
std::string CalibrationDialog::whyNotFinite(const CalibrationRow& row) const {
  const Measurement* m = row.measurement;
  if (m != nullptr && m->conversionType == kCalibrated && m->type.constants[0] == m->type.constants[2]) {
    return formatText("No reading: both points of this row have the raw value %g, so its calibration line is "
                      "undefined. Take the points again at two different raw values.",
                      m->type.constants[0]);
  }
  return "No reading: the conversion of the sensor's sample gives no finite number (a division by zero, or a value "
         "beyond range).";
}

void CalibrationDialog::showRow(int i) {
  CalibrationRow& row = session_.rows[static_cast<std::size_t>(i)];
  const Measurement* m = row.measurement;
  const double value = session_.currentReading(row.converter);
  const std::string name = m != nullptr ? toUtf8(m->primaryText.text) : "???";
  const std::string units = m != nullptr ? toUtf8(m->secondaryText.text) : "???";
  const int reading = ids::kMeasurement + i;
  if (m != nullptr && m->conversionType == kText) {
    controls_.setText(reading, name + ": " + toUtf8(m->type.text.text));
    controls_.setToolTip(reading, "");
  } else if (!std::isfinite(value)) {
    controls_.setText(reading, formatText("%s = \u2014 %s", name.c_str(), units.c_str()));
    controls_.setToolTip(reading, whyNotFinite(row));
  } else {
    row.runningMaximum = std::max(row.runningMaximum, value);
    row.runningMinimum = std::min(row.runningMinimum, value);
    controls_.setText(reading, formatText("%s = %.4f %s", name.c_str(), value, units.c_str()));
    const std::string hint = m != nullptr ? toUtf8(m->extensionText.text) : std::string();
    controls_.setToolTip(reading, hint.empty() ? std::string() : name + ": " + hint);
  }
  trends_[static_cast<std::size_t>(i)].add(value);
  controls_.setText(ids::kStability + i, rowStable(i) ? "stable" : "settling");
  controls_.setText(ids::kRaw + i, rawText(row));
  // Until a finite reading came, there is no least or greatest one to show.
  const bool seen = row.runningMinimum <= row.runningMaximum;
  controls_.setText(ids::kMinimum + i, seen ? formatText("%.4f", row.runningMinimum) : "\u2014");
  controls_.setText(ids::kMaximum + i, seen ? formatText("%.4f", row.runningMaximum) : "\u2014");
}

}  // namespace trimwell
