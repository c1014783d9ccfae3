#pragma once
// The lab's side of a calibration, around the points and the write: the unit and
// its customer, the conditions, each row's reference standard and tolerance, the
// as-found result of every point taken (the old calibration's reading against the
// reference value), the as-left checks after the write, and their verdicts by the
// lab's decision rule. What it works out goes into the write's record.

#include <array>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/lab_inputs.h"
#include "app/record_keeping.h"
#include "app/reference_source.h"
#include "app/units_due.h"
#include "calibration/calibration_session.h"
#include "metrology/point_result.h"
#include "metrology/standard_entry.h"
#include "platform/registry.h"
#include "platform/window_controls.h"

namespace trimwell {

class LabBench {
 public:
  static constexpr std::size_t kWindow = 10;  // the stability window's readings

  LabBench(CalibrationSession& session, WindowControls& controls, Registry& settings, RecordKeeping& records,
           ReferenceSource& reference);

  LabSettings& settings() { return lab_; }
  bool saveSettings() { return lab_.save(settings_); }
  // A model's calibration interval, kept with its settings; and the units it makes due.
  bool setInterval(int sensorId, int days) { return setCalibrationInterval(settings_, sensorId, days); }
  bool dueUnits(std::vector<UnitDue>& out, std::string& problem);
  // The plugged model's tolerance of a row, and its calibration interval (0: none).
  const metrology::Tolerance& tolerance(int row) const { return rows_[static_cast<std::size_t>(row)].tolerance; }
  int interval() const { return model_ != 0 ? calibrationInterval(settings_, model_) : 0; }

  // The reference standards register, kept in the record store.
  bool addStandard(const metrology::StandardEntry& entry, std::string& problem);
  // Retires the register's entry of that name from today: kept, and no longer
  // offered to the rows. A change like any other, so an audit entry records it.
  bool retireStandard(const std::string& name, std::string& problem);
  bool standards(std::vector<metrology::StandardEntry>& out, std::string& problem);
  // The register as last read (read once here if it never was).
  const std::vector<metrology::StandardEntry>& registered();
  // The row's standard from the register ("none" or empty: none); a standard past
  // its due date today is refused, naming it and the date.
  bool chooseStandard(int row, const std::string& name, std::string& problem);
  // The row's tolerance as parseTolerance reads it, kept with the model's settings.
  bool setTolerance(int row, const std::string& text, std::string& problem);

  // A sensor was taken up (its rows built and settings read), or went.
  // anotherSensor: not the one worked on, so the unit, its customer and the last
  // result line are not its own.
  void sensorTaken(bool anotherSensor = false);
  // Each tick: the rows' raw readings, for the spread of the stability window.
  void addRawReadings();
  // Before a point of `row` (with Simultaneous Cal, of every row in use): false, with
  // the reason, when the lab's required fields or a standard stand in the way.
  bool mayTakePoint(int row, std::string& problem);
  // Before a point whose rows take their reference values from the instrument:
  // the instrument's reading typed into each such row's Pt1 Data (point 1) or Pt2
  // Data field, as the procedure then reads it. The IDs of the fields typed into.
  std::vector<int> typeReferences(int row, int point);
  // A point was taken: what its as-found result is worked out from.
  void pointTaken(int row, int point);
  // The lab's part of a write's record.
  void amendRecord(CalibrationRecord& record) const;
  // Before a write: why the record the lab's part would make could not be kept
  // (a number no store keeps, a field the lab requires), or empty.
  std::string recordProblem(bool restore) const;
  // After a write was kept: on success the checks open on the new calibration,
  // and the points' as-found results go with the record; after a failure they
  // stay for the next write.
  void written(const WriteOutcome& outcome);
  // A check of `row` at the reference value typed in its Check field.
  bool check(int row, std::string& problem);
  // A click on the lab's row controls (a standard chosen, Check): true when it was
  // one, having told the operator of a refusal.
  bool clicked(int id);

  // Before a restore of `record` into the plugged sensor: true when it goes into
  // the record's unit, or the operator confirms another (the confirmation then goes
  // into the restore's record).
  bool mayRestore(const CalibrationRecord& record);
  // The unit of the newest successful record whose as-left image the plugged sensor
  // holds, typed into Unit when it is empty.
  void proposeUnit();
  // The customer's name was typed: a customer served before brings their address
  // and e-mail, where none is typed; a name changed from theirs takes them away.
  void customerTyped();
  // The customers served before, as the store knew them when the sensor was taken up.
  const std::vector<CustomerContact>& servedBefore() const { return servedBefore_; }

  // Shows the lab's row columns and verdicts.
  void refresh();
  // The results of the calibration written last: as found, then its checks.
  const std::vector<RecordResult>& results() const { return written_; }
  metrology::Verdict verdict(bool asLeft) const;
  // The row's verdicts as the Verdict column shows them.
  std::string rowVerdictText(int row) const;

 private:
  static bool identificationIsFree(const metrology::StandardEntry& entry,
                                   const std::vector<metrology::StandardEntry>& now, std::string& problem);
  void rememberStandard(int row);
  void recallStandard(int row);
  // A point as it was taken: the raw value with its stability window, the line
  // the sensor held then, and the standard as the register had it then. The
  // reference value is the row's, as it goes into the sensor.
  struct TakenPoint {
    double raw = 0.0;
    std::vector<double> rawWindow;
    std::array<double, 4> line{};
    std::optional<metrology::StandardEntry> standard;
    std::optional<ReferenceTake> reference;  // when read from the instrument
  };
  struct RowLab {
    std::optional<metrology::StandardEntry> standard;
    metrology::Tolerance tolerance;
    bool hasLine = false;
    std::deque<double> raws;  // the last readings of the row's raw input
    // The instrument's reading typed into the row for the point about to be taken.
    std::optional<ReferenceTake> typedReference;
    // The points taken since the last verified write.
    std::array<std::optional<TakenPoint>, 2> taken;
  };
  bool judge(int row, metrology::PointResult& result, std::string& problem) const;
  // The as-found result of a point taken, against the reference value the row
  // holds now (corrected since, it is the one written); none without a standard.
  std::optional<metrology::PointResult> foundResult(int row, std::size_t point) const;
  // Whether the point's reference value is still the one read from the instrument.
  bool readFromInstrument(int row, std::size_t point) const;
  // The as-found results of the row's points, with where each reference value came from.
  void addFoundResults(int row, std::vector<RecordResult>& out) const;
  // The rows a press of row's Point takes: every row in use with Simultaneous Cal.
  bool takenBy(int row, int other) const;
  // A row that reads its reference from the instrument: the instrument's standard.
  bool followInstrument(int row, std::string& problem);
  // The row's standard as the register holds it now: a re-saved entry replaces
  // the copy, and a withdrawn or overdue one is refused, naming it.
  bool followRegister(int row, std::string& problem);
  // Whether the entry may give the row's reference values today: in its unit,
  // sound, and not past its due date.
  bool usableOnRow(int row, const metrology::StandardEntry& entry, std::string& problem) const;
  bool readConditions(double& temperature, double& humidity, std::string& problem) const;
  std::string resultLine() const;
  RowLab& lab(int row) { return rows_[static_cast<std::size_t>(row)]; }

  CalibrationSession& s_;
  WindowControls& controls_;
  Registry& settings_;
  RecordKeeping& records_;
  ReferenceSource& reference_;
  LabSettings lab_;
  std::array<RowLab, kCalibrationRows> rows_;
  std::vector<metrology::StandardEntry> register_;
  bool registerRead_ = false;
  std::vector<RecordResult> written_;
  // Each row's standards as the record of the calibration written last keeps them:
  // a check is traceable through them alone.
  std::array<std::vector<metrology::StandardEntry>, kCalibrationRows> writtenStandards_;
  bool checksOpen_ = false;
  std::vector<CustomerContact> servedBefore_;
  // The customer whose address and e-mail were filled in, as filled.
  std::optional<CustomerContact> filledFrom_;
  int model_ = 0;  // the sensor model last taken up
  std::string restoreConfirmation_;
  std::string resultWhere_;
};

// Today's date, UTC, as YYYY-MM-DD.
std::string todayUtc();

}  // namespace trimwell
