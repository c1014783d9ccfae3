#include "app/calibration_dialog.h"

#include <algorithm>
#include <cstdio>

#include "app/control_ids.h"
#include "app/control_tables.h"
#include "app/info_strip.h"
#include "calibration/typed_value.h"
#include "platform/format_text.h"
#include "platform/sleeper.h"

namespace trimwell {

CalibrationDialog::CalibrationDialog(WindowControls& controls, Registry& settings, DialogPaths paths,
                                     WirelessPort* wireless)
    : controls_(controls),
      procedure_(session_, *this),
      settings_(settings, session_),
      registry_(settings),
      library_(paths.datasheetFolder),
      paths_(std::move(paths)),
      records_(controls, settings, paths_.recordsFile, paths_.recordsOutbox),
      interfaceCheck_(controls, paths_.firmwareFile),
      hold_(session_, controls),
      rows_(session_, controls, hold_),
      wireless_(wireless) {
  controls_.setListener(this);
}

CalibrationDialog::~CalibrationDialog() { controls_.setListener(nullptr); }

bool CalibrationDialog::restoreRecord(const std::string& uuid, bool asFound) {
  if (stepBusy_) return false;
  const StepGuard step(*this);
  RestoreSource from;
  std::string problem;
  if (!records_.load(uuid, from, problem)) {
    ShowMessage(formatText("Record %s cannot be read (%s); nothing was written to the sensor", uuid.c_str(),
                           problem.c_str()));
    return false;
  }
  const bool restored = procedure_.restore(from, asFound);
  // The station's idea of the sensor is the one before: it reads the sensor again.
  if (session_.currentInterface != nullptr) {
    scanner_.RequestReread(session_.currentInterface->interfaceNumber, 0);
    session_.currentInterface->close();
  }
  return restored;
}

std::string CalibrationDialog::aboutText() {
  return formatText("Trimwell Version 1.21\nBuilt %s -- %s", __DATE__, __TIME__);
}

void CalibrationDialog::OnInitDialog() {
  SetStatus("No Sensor Detected...");
  session_.currentInterface = nullptr;
  session_.currentDatasheet = nullptr;
  for (const OptionControl& option : optionControls()) {
    controls_.setChecked(option.id, session_.options.*option.member != 0);
  }
  // Whatever the window made, nothing of a sensor is offered before one is there.
  RefreshRows(true);
  controls_.show(ids::kWirelessPort, wireless_ != nullptr);
  if (wireless_ != nullptr) {
    refreshWirelessChoices();
    // The stored port is tried once now, so that what is wrong with it shows at once.
    if (!wireless_->chosen().empty()) wireless_->connect();
  }
  refreshInfo();
  // The stores fail silently call by call; the operator hears of it once, here.
  const std::string problem = registry_.keepingProblem();
  if (!problem.empty()) ShowMessage(formatText("Warning!  Settings will not be kept: %s.", problem.c_str()));
  const std::string recordsProblem = records_.keepingProblem();
  if (!recordsProblem.empty()) {
    ShowMessage(formatText("Warning!  Records of writes into sensors cannot be kept: %s.", recordsProblem.c_str()));
  }
}

std::string CalibrationDialog::infoText() const {
  return stripText({session_, interfaceInUse_, wireless_, interfaceCheck_.firmwareFailed(), state_});
}

bool CalibrationDialog::mayClose() {
  if (!session_.pointsPending) return true;
  return controls_.ask(
      "Calibration points are taken and not yet written into the sensor; closing the station loses them.\n"
      "Close anyway?");
}

void CalibrationDialog::refreshWirelessChoices() {
  if (wireless_ == nullptr) return;
  controls_.setChoices(ids::kWirelessPort, wireless_->choices());
  const std::string chosen = wireless_->chosen();
  controls_.setText(ids::kWirelessPort, chosen.empty() ? WirelessPort::kNone : chosen);
}

// A new choice lets the port in use go (so the interface on it departs at the next
// scan, its sensor with it, even when the new port answers at once: another
// interface may be there) and connects to the one chosen at once, so that the
// operator hears now what is wrong with it.
void CalibrationDialog::onWirelessPortChosen() {
  if (wireless_ == nullptr) return;
  std::string port = controls_.text(ids::kWirelessPort);
  port.erase(0, port.find_first_not_of(" \t"));
  port.erase(port.find_last_not_of(" \t") + 1);
  if (port.empty()) port = WirelessPort::kNone;
  if (port != wireless_->chosen() || !wireless_->connected()) {
    if (const auto& link = scanner_.entry(kWirelessInterface).interface) link->close();
    if (!wireless_->choose(port)) ShowMessage(wireless_->problem());
  }
  refreshWirelessChoices();
  refreshInfo();
}

void CalibrationDialog::refreshInfo() {
  if (controls_.exists(ids::kInfo)) controls_.setText(ids::kInfo, infoText());
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

void CalibrationDialog::markRefusedField(int row, int point, bool raw) {
  const int base = raw ? (point == 1 ? ids::kPt1Raw : ids::kPt2Raw) : (point == 1 ? ids::kPt1Data : ids::kPt2Data);
  controls_.setTextColour(base + row, kRed);
}

void CalibrationDialog::showGainRow(int row) {
  for (int i = 0; i < kCalibrationRows; ++i) controls_.setChecked(ids::kGain + i, i == row);
}

// ---- typed values ----

double CalibrationDialog::ParseTypedValue(const std::string& text, bool fixedPoint) {
  return typedValue(text, fixedPoint);
}

void CalibrationDialog::OnControlTextChanged(int id) {
  if (id == ids::kOtherCalIds) {
    session_.otherIdsText = controls_.text(id);
  } else {
    rows_.takeTypedText(id);
  }
}

// ---- clicks ----

void CalibrationDialog::onOptionClicked(int id) {
  const auto& options = optionControls();
  const auto option = std::find_if(options.begin(), options.end(), [id](const auto& o) { return o.id == id; });
  if (option == options.end()) return;
  session_.options.*option->member = controls_.isChecked(id) ? 1 : 0;
  if (id == ids::kDoFactoryInit) session_.step = session_.options.doFactoryInit != 0 ? kWaitFactoryInit : kWaitPoint1;
  if (id == ids::kSimultaneousCal) restartPoints();
  // These two change nothing the rows show.
  if (id == ids::kHighEepromCal || id == ids::kDataAveraging) return;
  RefreshRows(false);
}

// Switching between simultaneous and sequential points starts the points afresh
// at the first row in use: Simultaneous Cal leaves the sequential order past the
// last row, where it would offer no Point button at all.
void CalibrationDialog::restartPoints() {
  if (session_.rowCount == 0) return;
  session_.currentRow = session_.rowCount;
  procedure_.AdvanceRow();
}

bool CalibrationDialog::onRowClicked(int id) {
  int row = 0;
  if (ids::inRow(id, ids::kPoint1, row)) {
    procedure_.TakePoint1(row);
  } else if (ids::inRow(id, ids::kPoint2, row)) {
    procedure_.TakePoint2(row);
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
    procedure_.SelectGain(row);
    rows_.applyColours();
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
    hold_.setOnlyWhenStable(controls_.isChecked(id));
    return;
  }
  if (id == ids::kWirelessPort) {
    onWirelessPortChosen();
    return;
  }
  if (hold_.hold(id)) return;
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

void CalibrationDialog::onSet() {
  std::vector<int> wanted;
  std::string refused;
  if (!readMeasurementIds(controls_.text(ids::kOtherCalIds), wanted, refused)) {
    const bool one = refused.find("\", \"") == std::string::npos;
    ShowMessage(formatText("Other Cal Measurement IDs: %s %s (a whole number from 0 to 65535; several are parted by "
                           "commas); no row was added",
                           refused.c_str(), one ? "is not a measurement ID" : "are not measurement IDs"));
    return;
  }
  for (const std::string& refusal : session_.setExtraRows(wanted)) ShowMessage(refusal);
  RefreshRows(true);
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
  scanner_.scanStation(this, wirelessChosen);
  if (session_.samplingEnabled && session_.rowCount > 0 && session_.currentInterface != nullptr) {
    sampleAndShow();
    if (const int held = hold_.takeIfStable()) onRowClicked(held);
  }
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
  for (int i = 0; i < session_.rowCount && i < kCalibrationRows; ++i) rows_.showRow(i);
}

}  // namespace trimwell
