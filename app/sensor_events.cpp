// The dialog's answer to the scanner's events: which sensor it works with, its rows
// and settings, Verify, and the state the status line shows.
#include <cstring>

#include "app/calibration_dialog.h"
#include "app/control_ids.h"
#include "app/datasheet_check.h"
#include "link/firmware_update.h"
#include "platform/format_text.h"
#include "platform/sleeper.h"

namespace trimwell {

void CalibrationDialog::resetSensor() {
  settings_.SaveSettings();
  hold_.clear();
  session_.forgetSensor();
  bench_.sensorTaken();
}

bool CalibrationDialog::acceptSensor(int code, SensorInterface* interface, Datasheet* datasheet,
                                     std::optional<StationState>& verdict) {
  // The sample buffer holds 32 bytes; a sensor whose samples are larger is refused
  // rather than read past it.
  const std::size_t total = ConverterSet::totalSampleSize(*datasheet);
  if (total > kSampleBufferSize) {
    verdict = StationState::kSensorRefused;
    SetStatus("Sensor refused: its %zu-byte samples exceed the station's %zu-byte sample buffer", total,
              kSampleBufferSize);
    return false;
  }
  session_.currentInterface = interface;
  session_.currentDatasheet = datasheet;
  // What the sensor held when it was read: before a write the station checks that
  // it still does. A sensor that holds neither what the last one was known to
  // hold nor what this station's failed write may have left in it is another one.
  const std::vector<std::uint8_t>& image = scanner_.entry(interface->interfaceNumber).ports[0].image;
  const bool anotherSensor = !session_.knownImage.empty() && image != session_.knownImage &&
                             !(session_.ownWriteFailed && session_.mayHoldAfterOwnFailedWrite(image));
  session_.knownImage = image;
  session_.ownWriteFailed = false;
  session_.failedWriteImages.clear();
  session_.pointsPending = false;
  session_.converters.Build(datasheet);
  samplingStart_ = sleeper().seconds();
  hold_.clear();
  session_.buildRows();
  settings_.LoadSettings();
  rows_.showSettings();
  bench_.sensorTaken(anotherSensor);
  // Before the row advance: with Simultaneous still on it would leave no row current,
  // and a one-row sensor's Point 1 would stay disabled.
  if (session_.rowCount == 1) {
    session_.options.simultaneousCal = 0;
    controls_.setChecked(ids::kSimultaneousCal, false);
  }
  session_.currentRow = session_.rowCount;
  procedure_.AdvanceRow();
  session_.totalSampleSize = total;
  session_.samplingEnabled = true;
  interface->setSampleConfig(0, 100, static_cast<int>(total), 0, 0, 1, 0);
  if (code == SensorBadDataSheet) verdict = StationState::kNewDatasheet;
  if (session_.verifyRequested) {
    if (anotherSensor) {
      // The sensor taken out, or its interface replaced by another while the re-read
      // was pending: what answered now was not what the operator asked about.
      ShowMessage("Verify Error: the sensor read again is not the one Verify was asked for (another sensor or "
                  "interface answered); nothing was verified");
      controls_.setText(ids::kResult, "");
    } else if (code == SensorBadDataSheet) {
      ShowMessage("Verify Error: Something wrong with sensor's datasheet");
    } else {
      // The line under the rows says how the check came out, also when it passed:
      // silence there reads as the check never having run.
      const bool holds = procedure_.VerifyCalibration();
      controls_.setText(ids::kResult, holds ? "Verify: the sensor holds its calibration" : "");
    }
    session_.verifyRequested = false;
  }
  return true;
}

void CalibrationDialog::OnSensorEvent(int code, SensorInterface* interface, Datasheet* datasheet, int) {
  std::optional<StationState> verdict;
  const bool pointsTaken = session_.pointsPending;
  const bool station = interface != nullptr && (interface->interfaceNumber == 0 ||
                                                interface->interfaceNumber == kWirelessInterface);
  if (station) {
    if (code == InterfaceAdded) {
      interfaceCheck_.identify(*interface, session_, [this](const std::string& t) { ShowMessage(t); },
                               firmwareProgress);
    }
    bool accept = false;
    const bool examined = datasheet != nullptr && (code == SensorCantReadDataSheet || code == SensorBadDataSheet ||
                                                   code == SensorGoodDataSheet);
    if (examined) {
      verdict = checkDatasheet(library_, code, datasheet, accept, [this](const std::string& t) { ShowMessage(t); });
    }
    if (code != SensorGoodDataSheet && code != SensorBadDataSheet) accept = false;
    // Settings of the sensor being left are saved before another one is taken up.
    if (accept && session_.currentDatasheet != nullptr && session_.currentDatasheet != datasheet) {
      settings_.SaveSettings();
    }
    if (!accept || !acceptSensor(code, interface, datasheet, verdict)) resetSensor();
    RefreshRows(true);
    showGainRow(-1);
    session_.selectedGainRow = -1;
    rows_.applyColours();
  }
  if (station && (code == InterfaceAdded || code == InterfaceRemoved)) {
    interfaceInUse_ = code == InterfaceAdded ? interface->interfaceNumber : -1;
    if (interfaceInUse_ < 0) interfaceCheck_.forget(session_);
  }
  // Points taken and not written go with the sensor: the line under the rows says so.
  if (pointsTaken && !session_.pointsPending) {
    resultTellsLostPoints_ = true;
    controls_.setText(ids::kResult,
                      "The points taken were not written into the sensor: it went (or was read afresh) before the "
                      "last Point 2. Take them again from Point 1.");
  }
  state_ = verdict.value_or(stateOfEvent(code));
  // A refused sensor's status line says why, and was set with the refusal.
  if (state_ != StationState::kSensorRefused) SetStatus("%s", stateText(state_).status);
  refreshInfo();
}

}  // namespace trimwell
