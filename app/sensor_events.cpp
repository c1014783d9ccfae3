// The dialog's answer to the scanner's events: which sensor it works with, the check
// of its datasheet against the library, the firmware update, and the verdict.
#include <cstring>

#include "app/calibration_dialog.h"
#include "app/control_ids.h"
#include "link/firmware_update.h"
#include "platform/format_text.h"
#include "platform/sleeper.h"

namespace trimwell {
namespace {

constexpr const char* kNoFileWarning =
    "Warning!  No valid datasheet file was found for this sensor; Please add a datasheet file for this sensor!";
constexpr const char* kOlderFileWarning =
    "Warning!  The file datasheet is older than the sensor datasheet; Please update the file datasheet!";
constexpr const char* kMismatchWarning =
    "Warning!  The file datasheet and the sensor datasheet have the same version but contain different information";

// The first file with the sensor's ID is the one taken; when it is damaged, a
// valid file further on is not tried, so the warning says which file stood in the way.
std::string noFileWarning(const std::string& usedFile, std::uint32_t status) {
  if (usedFile.empty()) return kNoFileWarning;
  if (status == kDatasheetOk) {
    return formatText("%s\nThe file %s has this sensor's ID but could not be read.", kNoFileWarning,
                      usedFile.c_str());
  }
  return formatText("%s\nThe file %s has this sensor's ID but holds no valid datasheet (status 0x%08x).",
                    kNoFileWarning, usedFile.c_str(), static_cast<unsigned>(status));
}

bool sameContent(const Datasheet& a, const Datasheet& b) {
  return a.baseLength == b.baseLength && a.name.text == b.name.text && a.identity == b.identity;
}

}  // namespace

std::optional<StationState> CalibrationDialog::decideDatasheet(int code, Datasheet* datasheet, bool& accept) {
  accept = false;
  std::optional<StationState> verdict;
  Datasheet file;
  const bool fileFound = library_.loadForSensor(datasheet->sensorId, file);
  if (!fileFound) {
    ShowMessage(noFileWarning(library_.usedFile(), file.status));
    verdict = StationState::kNoCachedDatasheet;
  }
  if (code == SensorGoodDataSheet) {
    accept = true;
    if (!fileFound) return verdict;
    if (file.version() > datasheet->version()) {
      library_.loadForSensor(datasheet->sensorId, *datasheet);
      return StationState::kUpdateDatasheetVersion;
    }
    if (file.version() < datasheet->version()) {
      ShowMessage(kOlderFileWarning);
      return StationState::kOldFileDatasheet;
    }
    if (!sameContent(file, *datasheet)) {
      ShowMessage(kMismatchWarning);
      library_.loadForSensor(datasheet->sensorId, *datasheet);
      return StationState::kDatasheetMismatch;
    }
    return verdict;
  }
  // A bad datasheet is replaced by the file's, when there is one that decodes.
  accept = fileFound && library_.loadForSensor(datasheet->sensorId, *datasheet);
  return verdict;
}

// What the interface is and runs: a Dockmon's version comes from the firmware check
// (which updates an old one); the wireless interface's from the bridge's handshake,
// which the interface-version request answers without a word on the line.
void CalibrationDialog::identifyInterface(SensorInterface& interface) {
  InterfaceIdentity identity;
  bool downloaded = false;
  firmwareFailed_ = !updateInterfaceFirmware(
      interface, paths_.firmwareFile, [this](const std::string& text) { ShowMessage(text); }, &identity,
      [this, &downloaded](std::size_t written, std::size_t total) {
        downloaded = written == total;
        if (firmwareProgress) firmwareProgress(written, total);
      });
  session_.interfaceProduct = identity.product;
  session_.firmwareVersion =
      identity.versionRead ? formatText("%d.%d", identity.major, identity.minor) : std::string();
  if (interface.interfaceNumber == kWirelessInterface) {
    int version = 0;
    if (interface.readInterfaceVersion(&version, nullptr)) session_.firmwareVersion = formatText("0x%02x", version & 0xFF);
  }
  reportFirmwareUpdate(downloaded);
}

// The interface comes back after a download with the new firmware: its version is
// then what the update came to.
void CalibrationDialog::reportFirmwareUpdate(bool downloaded) {
  if (!updatedFrom_.empty() && !session_.firmwareVersion.empty()) {
    controls_.setText(ids::kResult, formatText("Dockmon firmware %s \u2192 %s", updatedFrom_.c_str(),
                                               session_.firmwareVersion.c_str()));
    updatedFrom_.clear();
  }
  if (downloaded) {
    updatedFrom_ = session_.firmwareVersion;
    controls_.setText(ids::kResult, formatText("Dockmon firmware %s written; the interface restarts with it",
                                               updatedFrom_.c_str()));
  }
}

void CalibrationDialog::resetSensor() {
  settings_.SaveSettings();
  hold_.clear();
  session_.currentInterface = nullptr;
  session_.currentDatasheet = nullptr;
  session_.samplingEnabled = false;
  session_.rowCount = 0;
  session_.currentRow = 0;
  session_.step = kWaitPoint1;
  session_.pointsPending = false;
}

void CalibrationDialog::buildRows() {
  session_.rowCount = 0;
  Datasheet& d = *session_.currentDatasheet;
  for (int i = 0; i < d.measurementCount && i < kMaxMeasurements && session_.rowCount < kCalibrationRows; ++i) {
    Measurement* m = d.measurement(i);
    if (m == nullptr || m->conversionType != kCalibrated) continue;
    const int r = session_.rowCount;
    session_.fillRow(r, m, false);
    CalibrationRow& row = session_.rows[static_cast<std::size_t>(r)];
    row.point1Raw = m->type.constants[0];
    row.point1Data = m->type.constants[1];
    row.point2Raw = m->type.constants[2];
    row.point2Data = m->type.constants[3];
    ++session_.rowCount;
  }
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
  // it still does.
  session_.knownImage = scanner_.entry(interface->interfaceNumber).ports[0].image;
  session_.ownWriteFailed = false;
  session_.pointsPending = false;
  session_.converters.Build(datasheet);
  samplingStart_ = sleeper().seconds();
  hold_.clear();
  buildRows();
  settings_.LoadSettings();
  showSettings();
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
    if (code == SensorBadDataSheet) {
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
  const bool station = interface != nullptr && (interface->interfaceNumber == 0 ||
                                                interface->interfaceNumber == kWirelessInterface);
  if (station) {
    if (code == InterfaceAdded) identifyInterface(*interface);
    bool accept = false;
    const bool examined = datasheet != nullptr && (code == SensorCantReadDataSheet || code == SensorBadDataSheet ||
                                                   code == SensorGoodDataSheet);
    if (examined) verdict = decideDatasheet(code, datasheet, accept);
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
    if (interfaceInUse_ < 0) {
      firmwareFailed_ = false;
      session_.interfaceProduct = 0;
      session_.firmwareVersion.clear();
    }
  }
  state_ = verdict.value_or(stateOfEvent(code));
  // A refused sensor's status line says why, and was set with the refusal.
  if (state_ != StationState::kSensorRefused) SetStatus("%s", stateText(state_).status);
  refreshInfo();
}

}  // namespace trimwell
