#pragma once
// The station's dialog logic: the rows and controls, the timer tick with its
// sampling, the control notifications and the handling of sensor events. It reaches
// its window only through WindowControls, so it runs headless as well as in Qt.

#include <array>
#include <cstdarg>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/row_trend.h"
#include "app/sensor_scanner.h"
#include "app/wireless_port.h"
#include "calibration/calibration_procedure.h"
#include "calibration/calibration_session.h"
#include "calibration/settings_store.h"
#include "datasheet/datasheet_library.h"
#include "platform/registry.h"
#include "records/record_store.h"

namespace trimwell {

class CalibrationDialog;

// The dialog's scanner: hands every event to the dialog given as the scan's context.
class DialogScanner final : public SensorScanner {
 public:
  DialogScanner() : SensorScanner(1) {}
  void OnScanEvent(int event, void* context, SensorInterface* interface, Datasheet* datasheet, int index) override;
  // Interface 0, and the wireless interface while no USB interface is on 0 and a
  // wireless port is chosen. Whichever of them is found first stays the station's
  // until it goes, so that plugging the other does not end a calibration.
  void ScanStation(void* context, bool wirelessChosen);
};

struct DialogPaths {
  std::string datasheetFolder = DatasheetLibrary::kDefaultFolder;
  std::string firmwareFile = "plugins/datasheets/Dockmon.hex";
  // Where the records of every write go: an SQLite file, or a PostgreSQL URL for a
  // lab-wide store with recordsOutbox as the station's file for what waits to be
  // sent. Empty: none are kept.
  std::string recordsFile;
  std::string recordsOutbox;
};

class CalibrationDialog final : public CalibrationUi, public ControlListener {
 public:
  static constexpr int kTimerPeriodMs = 500;
  static constexpr std::size_t kSampleBufferSize = 32;
  static constexpr int kAveragedReads = 16;

  // wireless: the operator's choice of the wireless interface's port, or nullptr
  // for a station that works with USB interfaces only.
  CalibrationDialog(WindowControls& controls, Registry& settings, DialogPaths paths = {},
                    WirelessPort* wireless = nullptr);
  ~CalibrationDialog() override;

  void OnInitDialog();
  void OnTimer();
  void OnDestroy();
  void OnSensorEvent(int code, SensorInterface* interface, Datasheet* datasheet, int index);

  // CalibrationUi
  int RefreshRows(bool allRows) override;
  void ShowMessage(const std::string& text) override;
  WindowControls& Controls() override { return controls_; }
  void KeepRecord(CalibrationRecord& record) override;
  bool Confirm(const std::string& question) override { return controls_.ask(question); }

  // Whether the window may close now: points taken and not written are lost with
  // it, so the operator is asked first.
  bool MayClose();
  bool MayWrite() override;
  // Writes this run that went into a sensor without their record, and writes
  // stopped because their record could not be kept.
  int unrecordedWrites() const { return unrecordedWrites_; }
  int unrecordedRefused() const { return unrecordedRefused_; }

  // Told of each firmware chunk written to the interface (bytes so far, total).
  std::function<void(std::size_t, std::size_t)> firmwareProgress;

  // The record store, or nullptr when none could be opened.
  RecordStore* records() { return records_.get(); }
  // The identity of the record this station kept last, or empty.
  const std::string& lastRecord() const { return lastRecord_; }
  // Writes a kept record's state back into the plugged sensor, then reads the
  // sensor afresh; false when it did not go in.
  bool RestoreRecord(const std::string& uuid, bool asFound);

  // ControlListener
  void OnControlClicked(int id) override;
  void OnControlTextChanged(int id) override;

  void SetStatus(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int MessageBox(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // The text colour of a control: red for the selected gain row's four boxes.
  std::int32_t ControlColour(int id) const;

  static double ParseTypedValue(const std::string& text, bool fixedPoint);
  // The information strip's two lines: the interface, then the sensor and what the
  // status line means.
  std::string InfoText() const;
  static std::string AboutText();
  // Offers the serial ports the system has now in the wireless port chooser.
  void RefreshWirelessChoices();

  // The row's last minute of readings, whether they have settled, and the span the
  // settling is measured against.
  const RowTrend& trend(int row) const { return trends_[static_cast<std::size_t>(row)]; }
  bool rowStable(int row) const;
  double rowSpan(int row) const;
  // The Point press waiting for stable readings (its button ID), or 0.
  int heldPoint() const { return heldPoint_; }

  CalibrationSession& session() { return session_; }
  // The folder of datasheet files the station checks sensors against.
  const std::string& libraryFolder() const { return library_.folder(); }
  const CalibrationSession& session() const { return session_; }

 private:
  void refreshGlobalControls();
  void refreshRow(int i);
  void applyColours();
  void sampleAndShow();
  void showRow(int i);
  std::string rawText(const CalibrationRow& row) const;
  std::string whyNotFinite(const CalibrationRow& row) const;
  void onOptionClicked(int id);
  bool onRowClicked(int id);
  void onSet();
  bool readOtherIds(std::vector<int>& out);
  void restartPoints();
  void onVerify();
  void onResetMinMax();
  void onTypedRaw(int row, bool point2);
  bool holdUntilStable(int id);
  void takeHeldPoint();
  bool pointRowsStable(int id) const;
  std::string extraRowRefusal(int measurementId) const;
  void openRecordStore();
  std::string unrecordedCounts() const;
  void refreshInfo();
  void reportFirmwareUpdate(bool downloaded);
  void identifyInterface(SensorInterface& interface);
  void onWirelessPortChosen();
  std::string interfaceLine() const;

  void resetSensor();
  bool acceptSensor(int code, SensorInterface* interface, Datasheet* datasheet, int& verdict);
  int decideDatasheet(int code, Datasheet* datasheet, bool& accept);
  void buildRows();

  WindowControls& controls_;
  CalibrationSession session_;
  DialogScanner scanner_;
  CalibrationProcedure procedure_;
  SettingsStore settings_;
  Registry& registry_;
  DatasheetLibrary library_;
  DialogPaths paths_;
  // Set while a tick or a click is being handled.
  struct StepGuard {
    explicit StepGuard(CalibrationDialog& dialog);
    ~StepGuard();
    StepGuard(const StepGuard&) = delete;
    StepGuard& operator=(const StepGuard&) = delete;
    CalibrationDialog& dialog_;
  };
  std::unique_ptr<RecordStore> records_;
  std::string lastRecord_;
  std::string recordsProblem_ = "no record store";
  int unrecordedWrites_ = 0;
  int unrecordedRefused_ = 0;
  WirelessPort* wireless_ = nullptr;
  // The number of the interface the station works with (0, or 9 for the wireless
  // one), or -1.
  int interfaceInUse_ = -1;
  std::array<RowTrend, kCalibrationRows> trends_;
  bool onlyWhenStable_ = false;
  int heldPoint_ = 0;
  std::string updatedFrom_;
  // A firmware download failed part-way: the interface needs plugging again.
  bool firmwareFailed_ = false;
  bool stepBusy_ = false;
  bool tickDeferred_ = false;
  std::string refusal_;
  // The station's time when the sensor was taken up: sample blocks are stamped
  // from it, which keeps the converters' single-precision times fine-grained.
  double samplingStart_ = 0.0;
};

}  // namespace trimwell
