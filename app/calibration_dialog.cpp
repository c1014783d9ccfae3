#include "app/calibration_dialog.h"

#include <algorithm>
#include <cstdio>

#include "app/control_ids.h"
#include "app/control_tables.h"
#include "app/info_strip.h"
#include "calibration/typed_value.h"
#include "platform/clock_state.h"
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
      reference_(settings),
      records_(controls, settings, paths_.recordsFile, paths_.recordsOutbox),
      bench_(session_, controls, settings, records_, reference_),
      interfaceCheck_(controls, paths_.firmwareFile),
      hold_(session_, controls),
      rows_(session_, controls, hold_),
      wireless_(controls, wireless) {
  controls_.setListener(this);
  hold_.useReference(&reference_);
}

CalibrationDialog::~CalibrationDialog() {
  reference_.stop();
  controls_.setListener(nullptr);
}

bool CalibrationDialog::chooseReference(const ReferenceSettings& settings, std::string& problem) {
  const bool kept = reference_.choose(settings, problem);
  refreshReference();
  RefreshRows(false);
  return kept;
}

// The instrument's news, matched against the register as it stands; the strip
// says what changed.
void CalibrationDialog::refreshReference() {
  if (!reference_.settings().chosen()) return;
  if (reference_.refresh(bench_.registered())) refreshInfo();
}

int CalibrationDialog::RefreshRows(bool allRows) {
  const int rows = rows_.refresh(allRows);
  bench_.refresh();
  return rows;
}

void CalibrationDialog::keepOutcome(const WriteOutcome& outcome) {
  records_.keep(outcome, [this](CalibrationRecord& record) { bench_.amendRecord(record); });
  if (!outcome.success && !outcome.restore && !outcome.sensorChanged) {
    controls_.setText(ids::kResult, controls_.text(ids::kResult) + ". " + whatToDoAfterFailedWrite());
  }
  bench_.written(outcome);
  // Another sensor went in while a message was open or the station waited: it is
  // taken up as one just plugged, with nothing of the last one's points or unit.
  if (outcome.sensorChanged) readAgain();
}

// The points stay taken after a failed write; which button writes them again
// depends on where the procedure stands, and whether the sensor was touched on
// how much care the retry needs.
std::string CalibrationDialog::whatToDoAfterFailedWrite() const {
  std::string next;
  if (session_.step == kWaitPoint2) {
    next = "press Point 2 to write the points again";
  } else if (session_.step == kWaitFactoryInit) {
    next = "press Factory Init, then take the points again from Point 1 (the last Point 2 writes them)";
  } else {
    next = formatText("take the points again from row %d's Point 1 (the last Point 2 writes them)",
                      session_.currentRow + 1);
  }
  if (session_.ownWriteFailed) {
    return "The sensor may hold part of this calibration: leave it in, check its seat, then " + next + ".";
  }
  return "Nothing was written into the sensor: mend what is named, then " + next + ".";
}

bool CalibrationDialog::restoreRecord(const std::string& uuid, bool asFound) {
  if (stepBusy_) return false;
  const StepGuard step = guardStep();
  RestoreSource from;
  CalibrationRecord record;
  if (!records_.load(uuid, from, &record) || !bench_.mayRestore(record)) return false;
  const bool restored = procedure_.restore(from, asFound);
  // The station's idea of the sensor is the one before: it reads the sensor again.
  readAgain();
  return restored;
}

void CalibrationDialog::readAgain() {
  if (session_.currentInterface == nullptr) return;
  scanner_.RequestReread(session_.currentInterface->interfaceNumber, 0);
  session_.currentInterface->close();
}

void CalibrationDialog::OnInitDialog() {
  SetStatus("No Sensor Detected...");
  session_.currentInterface = nullptr;
  session_.currentDatasheet = nullptr;
  rows_.showOptions();
  // Whatever the window made, nothing of a sensor is offered before one is there.
  RefreshRows(true);
  wireless_.start();
  reference_.start();
  // Settings from elsewhere (an edited file) that cannot be used are said once.
  if (const std::string why = referenceSettingsProblem(reference_.settings()); !why.empty()) {
    ShowMessage("The reference instrument kept in the settings (" + reference_.settings().line.location +
                ") is not used: " + why + ". Choose it again under Settings > Reference instrument...");
  }
  refreshInfo();
  // The stores fail silently call by call; the operator hears of it once, here.
  const std::string problem = registry_.keepingProblem();
  if (!problem.empty()) ShowMessage(formatText("Warning!  Settings will not be kept: %s.", problem.c_str()));
  records_.warnIfCannotKeep();
  warnOfClock();
}

void CalibrationDialog::warnOfClock() {
  if (!paths_.warnOfClock) return;
  const ClockState clock = clockState();
  if (clock.synchronised) return;
  const std::string error =
      clock.maxErrorUs < 0 ? "" : formatText(" (its maximum error is %.0f s)", static_cast<double>(clock.maxErrorUs) / 1e6);
  ShowMessage("Warning!  This computer's clock is not synchronised" + error +
              ": the times of the records this station keeps may be off. Each record notes the clock's state.");
}

std::string CalibrationDialog::infoText() const {
  const std::string strip =
      stripText({session_, interfaceInUse_, wireless_.port(), interfaceCheck_.firmwareFailed(), state_});
  const std::string reference = reference_.stripLine();
  return reference.empty() ? strip : strip + "\n" + reference;
}

bool CalibrationDialog::mayClose() {
  if (!session_.pointsPending) return true;
  return controls_.ask(
      "Calibration points are taken and not yet written into the sensor; closing the station loses them.\n"
      "Close anyway?");
}

void CalibrationDialog::refreshInfo() {
  if (controls_.exists(ids::kInfo)) controls_.setText(ids::kInfo, infoText());
}

void CalibrationDialog::OnDestroy() {
  reference_.stop();
  settings_.SaveSettings();
  std::size_t atStart = 0;
  const std::size_t left = records_.finishSending([this, &atStart](std::size_t waiting) {
    if (atStart == 0) atStart = waiting;
    return !sendingProgress || sendingProgress(waiting, atStart);
  });
  if (left == 0) return;
  ShowMessage(formatText("%zu %s on this station for the lab's record store. %s sent when the station next runs "
                         "and the store answers, or with trimwell-records send-waiting.",
                         left, left == 1 ? "record waits" : "records wait", left == 1 ? "It is" : "They are"));
}

void CalibrationDialog::SetStatus(const char* format, ...) {
  if (format == nullptr || !controls_.exists(ids::kStatus)) return;
  std::va_list args;
  va_start(args, format);
  controls_.setText(ids::kStatus, formatTextV(format, args));
  va_end(args);
}

int CalibrationDialog::MessageBox(const char* format, ...) {
  if (format == nullptr) return -1;
  std::va_list args;
  va_start(args, format);
  controls_.messageBox(formatTextV(format, args));
  va_end(args);
  return 1;  // OK
}

void CalibrationDialog::ShowMessage(const std::string& text) { MessageBox("%s", text.c_str()); }

void CalibrationDialog::onOptionClicked(int id) {
  const auto& options = optionControls();
  const auto option = std::find_if(options.begin(), options.end(), [id](const auto& o) { return o.id == id; });
  if (option == options.end()) return;
  session_.options.*option->member = controls_.isChecked(id) ? 1 : 0;
  if (id == ids::kDoFactoryInit) {
    session_.step = session_.options.doFactoryInit != 0 ? kWaitFactoryInit : kWaitPoint1;
    // The calibration starts again from its first step: points taken go, with a word.
    if (session_.pointsPending) {
      session_.pointsPending = false;
      resultTellsLostPoints_ = true;
      controls_.setText(ids::kResult, session_.options.doFactoryInit != 0
                                          ? "Do Factory Init starts the calibration afresh: the points taken were not "
                                            "written. Press Factory Init, then take them again from Point 1."
                                          : "The calibration starts afresh at Point 1: the points taken were not "
                                            "written. Take them again.");
    }
  }
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
  std::string problem;
  const bool point = ids::inRow(id, ids::kPoint1, row) || ids::inRow(id, ids::kPoint2, row);
  if (point && !bench_.mayTakePoint(row, problem)) {
    ShowMessage(problem);
    return true;
  }
  if (point && resultTellsLostPoints_) {
    resultTellsLostPoints_ = false;
    controls_.setText(ids::kResult, "");
  }
  if (ids::inRow(id, ids::kPoint1, row)) {
    for (int typed : bench_.typeReferences(row, 1)) rows_.takeTypedText(typed);
    procedure_.TakePoint1(row);
  } else if (ids::inRow(id, ids::kPoint2, row)) {
    for (int typed : bench_.typeReferences(row, 2)) rows_.takeTypedText(typed);
    procedure_.TakePoint2(row);
  } else if (ids::inRow(id, ids::kRowCheck, row)) {
    session_.rows[static_cast<std::size_t>(row)].disable = controls_.isChecked(id) ? 1 : 0;
    session_.currentRow = session_.rowCount;
    procedure_.AdvanceRow();
    RefreshRows(false);
  } else if (rows_.takeManualToggle(id)) {
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
  const StepGuard step = guardStep();
  if (id == ids::kOnlyWhenStable) {
    hold_.setOnlyWhenStable(controls_.isChecked(id));
    return;
  }
  if (id == ids::kWirelessPort) {
    std::string problem;
    const auto letGo = [this] {
      if (const auto& link = scanner_.entry(kWirelessInterface).interface) link->close();
    };
    if (!wireless_.take(letGo, problem)) ShowMessage(problem);
    refreshInfo();
    return;
  }
  if (hold_.hold(id)) return;
  if (bench_.clicked(id) || onRowClicked(id)) return;
  switch (id) {
    case ids::kFactoryInit: procedure_.FactoryInit(); break;
    case ids::kVerify:
      session_.verifyRequested = true;
      readAgain();
      break;
    case ids::kResetMinMax: session_.resetMinMax(); break;
    case ids::kSet: onSet(); break;
    default: onOptionClicked(id); break;
  }
}

void CalibrationDialog::onSet() {
  std::vector<int> wanted;
  std::string refused;
  if (!readMeasurementIds(controls_.text(ids::kOtherCalIds), wanted, refused)) {
    ShowMessage(measurementIdsRefusal(refused));
    return;
  }
  for (const std::string& refusal : session_.setExtraRows(wanted)) ShowMessage(refusal);
  RefreshRows(true);
}

// A message box runs an event loop of its own, which keeps the timer going. A tick
// that comes while a step (a tick, a click) is still on the stack is held back and
// run once that step is over: a scan meanwhile could free the datasheet the step
// is writing into.
void CalibrationDialog::OnTimer() {
  if (stepBusy_) {
    tickDeferred_ = true;
    return;
  }
  const StepGuard step = guardStep();
  refreshReference();
  // The strip says what the station does about a wireless interface that went.
  if (wireless_.chosen() && interfaceInUse_ < 0 && wireless_.watch()) refreshInfo();
  scanner_.scanStation(this, wireless_.chosen());
  if (session_.samplingEnabled && session_.rowCount > 0 && session_.currentInterface != nullptr) {
    if (readSamples(session_, sleeper().seconds() - samplingStart_)) {
      for (int i = 0; i < session_.rowCount && i < kCalibrationRows; ++i) rows_.showRow(i);
      bench_.addRawReadings();
    } else {
      controls_.setText(ids::kMeasurement, "Error reading sample");
    }
    if (const int held = hold_.takeIfStable()) onRowClicked(held);
  }
}

}  // namespace trimwell
