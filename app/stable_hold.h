#pragma once
// Each row's last minute of readings, whether they have settled, and the Point
// press held until they have ("Take points only when stable"): a press on a Point
// button whose rows are still settling is held, and handed back by the first tick
// that finds them stable; a second press on it lets it go.

#include <array>

#include "app/reference_source.h"
#include "app/row_trend.h"
#include "calibration/calibration_session.h"
#include "platform/window_controls.h"

namespace trimwell {

class StableHold {
 public:
  StableHold(const CalibrationSession& session, WindowControls& controls) : s_(session), controls_(controls) {}

  void addReading(int row, double value) { trends_[static_cast<std::size_t>(row)].add(value); }
  const RowTrend& trend(int row) const { return trends_[static_cast<std::size_t>(row)]; }
  // The span settling is measured against: Pt2 Data less Pt1 Data, or the reading's
  // size while they are not typed.
  double rowSpan(int row) const;
  bool rowStable(int row) const { return trend(row).stable(rowSpan(row)); }
  // A new sensor: its rows start afresh, and a press held for the last one goes.
  void clear();

  // Rows that read their reference values from this instrument wait for it to
  // settle too.
  void useReference(const ReferenceSource* reference) { reference_ = reference; }

  void setOnlyWhenStable(bool on);
  int heldPoint() const { return heldPoint_; }
  // A press on a Point button (its ID): true when it is held, or let go by this
  // second press, and so not to be taken now.
  bool hold(int id);
  // The held press once its rows have settled, when its button can still be
  // pressed; else 0.
  int takeIfStable();

 private:
  bool pointRowsStable(int id) const;

  const CalibrationSession& s_;
  WindowControls& controls_;
  const ReferenceSource* reference_ = nullptr;
  std::array<RowTrend, kCalibrationRows> trends_;
  bool onlyWhenStable_ = false;
  int heldPoint_ = 0;
};

}  // namespace trimwell
