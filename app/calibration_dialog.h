#pragma once
// The station's dialog logic: the timer tick with its sampling, the control
// notifications and the handling of sensor events, wiring together the procedure,
// the settings, the record keeping, the stable-point hold and the row view. It
// reaches its window only through WindowControls, so it runs headless as well as
// in Qt.

#include <cstdarg>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/record_keeping.h"
#include "app/row_view.h"
#include "app/dialog_scanner.h"
#include "app/interface_check.h"
#include "app/stable_hold.h"
#include "app/station_states.h"
#include "app/wireless_port.h"
#include "calibration/calibration_procedure.h"
#include "calibration/calibration_session.h"
#include "calibration/settings_store.h"
#include "datasheet/datasheet_library.h"
#include "platform/registry.h"

namespace trimwell {

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
  int RefreshRows(bool allRows) override { return rows_.refresh(allRows); }
  void ShowMessage(const std::string& text) override;
  void markRefusedField(int row, int point, bool raw) override;
  void showGainRow(int row) override;
  void keepOutcome(const WriteOutcome& outcome) override { records_.keep(outcome); }
  bool confirm(const std::string& question) override { return controls_.ask(question); }
  bool mayWrite() override { return records_.mayWrite(); }

  // Whether the window may close now: points taken and not written are lost with
  // it, so the operator is asked first.
  bool mayClose();
  // Writes a kept record's state back into the plugged sensor, then reads the
  // sensor afresh; false when it did not go in.
  bool restoreRecord(const std::string& uuid, bool asFound);

  // Told of each firmware chunk written to the interface (bytes so far, total).
  std::function<void(std::size_t, std::size_t)> firmwareProgress;

  RecordKeeping& recordKeeping() { return records_; }
  // The record store, or nullptr when none is kept.
  RecordStore* records() { return records_.store(); }
  // The identity of the record this station kept last, or empty.
  const std::string& lastRecord() const { return records_.lastRecord(); }
  int unrecordedWrites() const { return records_.unrecordedWrites(); }
  int unrecordedRefused() const { return records_.unrecordedRefused(); }

  // ControlListener
  void OnControlClicked(int id) override;
  void OnControlTextChanged(int id) override;

  void SetStatus(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int MessageBox(const char* format, ...) __attribute__((format(printf, 2, 3)));
  std::int32_t controlColour(int id) const { return rows_.controlColour(id); }

  static double ParseTypedValue(const std::string& text, bool fixedPoint);
  // The information strip: the interface, the sensor and what the status line
  // means, and the datasheet's hint.
  std::string infoText() const;
  static std::string aboutText();
  // Offers the serial ports the system has now in the wireless port chooser.
  void refreshWirelessChoices();

  const RowTrend& trend(int row) const { return hold_.trend(row); }
  bool rowStable(int row) const { return hold_.rowStable(row); }
  double rowSpan(int row) const { return hold_.rowSpan(row); }
  // The Point press waiting for stable readings (its button ID), or 0.
  int heldPoint() const { return hold_.heldPoint(); }

  CalibrationSession& session() { return session_; }
  const CalibrationSession& session() const { return session_; }
  // The folder of datasheet files the station checks sensors against.
  const std::string& libraryFolder() const { return library_.folder(); }

 private:
  void sampleAndShow();
  void onOptionClicked(int id);
  bool onRowClicked(int id);
  void onSet();
  void restartPoints();
  void onVerify();
  void onResetMinMax();
  void refreshInfo();
  void onWirelessPortChosen();

  void resetSensor();
  bool acceptSensor(int code, SensorInterface* interface, Datasheet* datasheet, std::optional<StationState>& verdict);
  void buildRows();
  void verifyOnRequest(int code);

  WindowControls& controls_;
  CalibrationSession session_;
  DialogScanner scanner_;
  CalibrationProcedure procedure_;
  SettingsStore settings_;
  Registry& registry_;
  DatasheetLibrary library_;
  DialogPaths paths_;
  RecordKeeping records_;
  InterfaceCheck interfaceCheck_;
  StableHold hold_;
  RowView rows_;
  // Set while a tick or a click is being handled.
  struct StepGuard {
    explicit StepGuard(CalibrationDialog& dialog);
    ~StepGuard();
    StepGuard(const StepGuard&) = delete;
    StepGuard& operator=(const StepGuard&) = delete;
    CalibrationDialog& dialog_;
  };
  WirelessPort* wireless_ = nullptr;
  // The number of the interface the station works with (0, or 9 for the wireless
  // one), or -1.
  int interfaceInUse_ = -1;
  StationState state_ = StationState::kNoSensor;
  bool stepBusy_ = false;
  bool tickDeferred_ = false;
  // The station's time when the sensor was taken up: sample blocks are stamped
  // from it, which keeps the converters' single-precision times fine-grained.
  double samplingStart_ = 0.0;
};

}  // namespace trimwell
