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

#include "app/dialog_paths.h"
#include "app/record_keeping.h"
#include "app/row_view.h"
#include "app/dialog_scanner.h"
#include "app/info_strip.h"
#include "app/interface_check.h"
#include "app/control_ids.h"
#include "app/lab_bench.h"
#include "app/reference_source.h"
#include "app/stable_hold.h"
#include "app/step_guard.h"
#include "app/station_states.h"
#include "app/sample_reader.h"
#include "app/wireless_choice.h"
#include "calibration/calibration_procedure.h"
#include "calibration/calibration_session.h"
#include "calibration/settings_store.h"
#include "datasheet/datasheet_library.h"
#include "platform/registry.h"

namespace trimwell {

class CalibrationDialog final : public CalibrationUi, public ControlListener {
 public:
  static constexpr int kTimerPeriodMs = 500;

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
  void markRefusedField(int row, int point, bool raw) override { rows_.markRefused(row, point, raw); }
  void showGainRow(int row) override { rows_.showGain(row); }
  void keepOutcome(const WriteOutcome& outcome) override;
  void pointTaken(int row, int point) override { bench_.pointTaken(row, point); }
  bool confirm(const std::string& question) override { return controls_.ask(question); }
  bool mayWrite(bool restore) override { return records_.mayWrite(bench_.recordProblem(restore)); }

  // Whether the window may close now: points taken and not written are lost with
  // it, so the operator is asked first.
  bool mayClose();
  // Writes a kept record's state back into the plugged sensor, then reads the
  // sensor afresh; false when it did not go in.
  bool restoreRecord(const std::string& uuid, bool asFound);

  // Told of each firmware chunk written to the interface (bytes so far, total).
  std::function<void(std::size_t, std::size_t)> firmwareProgress;
  // At close, before each round of sending what waits for the lab's store: how many
  // wait, and how many did when the sending began. False: the operator stops it.
  std::function<bool(std::size_t, std::size_t)> sendingProgress;

  RecordKeeping& recordKeeping() { return records_; }
  LabBench& labBench() { return bench_; }
  Registry& settingsRegistry() { return registry_; }
  const StableHold& stableHold() const { return hold_; }
  ReferenceSource& reference() { return reference_; }
  // Keeps the operator's choice of reference instrument and starts polling it.
  bool chooseReference(const ReferenceSettings& settings, std::string& problem);
  // Takes the instrument's news now (each tick does), matched against the register.
  void refreshReference();

  // ControlListener
  void OnControlClicked(int id) override;
  void OnControlTextChanged(int id) override {
    if (id == ids::kCustomer) bench_.customerTyped();
    rows_.takeTypedText(id);
  }

  void SetStatus(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int MessageBox(const char* format, ...) __attribute__((format(printf, 2, 3)));
  std::int32_t controlColour(int id) const { return rows_.controlColour(id); }

  // The information strip: the interface, the sensor and what the status line
  // means, and the datasheet's hint.
  std::string infoText() const;
  // Once, at start: a clock that is not synchronised makes every record's time doubtful.
  void warnOfClock();
  static std::string aboutText() { return stationAbout(); }
  // Offers the serial ports the system has now in the wireless port chooser.
  void refreshWirelessChoices() { wireless_.refresh(); }

  CalibrationSession& session() { return session_; }
  const CalibrationSession& session() const { return session_; }
  // The folder of datasheet files the station checks sensors against.
  const std::string& libraryFolder() const { return library_.folder(); }

 private:
  void onOptionClicked(int id);
  bool onRowClicked(int id);
  void onSet();
  void restartPoints();
  void readAgain();
  std::string whatToDoAfterFailedWrite() const;
  StepGuard guardStep() { return StepGuard(stepBusy_, tickDeferred_, [this] { OnTimer(); }); }
  void refreshInfo();

  void resetSensor();
  bool acceptSensor(int code, SensorInterface* interface, Datasheet* datasheet, std::optional<StationState>& verdict);

  WindowControls& controls_;
  CalibrationSession session_;
  DialogScanner scanner_;
  CalibrationProcedure procedure_;
  SettingsStore settings_;
  Registry& registry_;
  DatasheetLibrary library_;
  DialogPaths paths_;
  ReferenceSource reference_;
  RecordKeeping records_;
  LabBench bench_;
  InterfaceCheck interfaceCheck_;
  StableHold hold_;
  RowView rows_;
  WirelessChoice wireless_;
  // The number of the interface the station works with (0, or 9 for the wireless
  // one), or -1.
  int interfaceInUse_ = -1;
  StationState state_ = StationState::kNoSensor;
  bool stepBusy_ = false;
  bool tickDeferred_ = false;
  // The result line says that points taken were lost: true until the next point
  // is taken, which starts the work it asked for.
  bool resultTellsLostPoints_ = false;
  // The station's time when the sensor was taken up: sample blocks are stamped
  // from it, which keeps the converters' single-precision times fine-grained.
  double samplingStart_ = 0.0;
};

}  // namespace trimwell
