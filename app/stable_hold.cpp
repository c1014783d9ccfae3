#include "app/stable_hold.h"

#include <algorithm>
#include <cmath>

#include "app/control_ids.h"
#include "calibration/typed_value.h"
#include "platform/format_text.h"

namespace trimwell {

double StableHold::rowSpan(int row) const {
  const CalibrationRow& r = s_.rows[static_cast<std::size_t>(row)];
  double data1 = 0.0, data2 = 0.0;
  if (parseTypedNumber(r.typedPoint1DataText, false, data1) && parseTypedNumber(r.typedPoint2DataText, false, data2) &&
      data1 != data2) {
    return data2 - data1;
  }
  const auto& history = trend(row).history();
  return history.empty() ? 1.0 : std::max(std::abs(history.back()), 1.0);
}

void StableHold::clear() {
  heldPoint_ = 0;
  for (RowTrend& t : trends_) t.clear();
}

void StableHold::setOnlyWhenStable(bool on) {
  onlyWhenStable_ = on;
  if (!on) heldPoint_ = 0;
}

// The rows a Point press takes from live readings: all rows with Simultaneous Cal,
// else the current one; a typed (manual) point reads nothing.
bool StableHold::pointRowsStable(int id) const {
  int row = 0;
  const bool point1 = ids::inRow(id, ids::kPoint1, row);
  const bool manual = point1 ? s_.effectiveManual1(row) || s_.effectiveManual2(row) : s_.effectiveManual2(row);
  if (manual) return true;
  for (int r = 0; r < s_.rowCount && r < kCalibrationRows; ++r) {
    const bool taken = s_.options.simultaneousCal != 0 || r == s_.currentRow;
    if (!taken || s_.rows[static_cast<std::size_t>(r)].disable != 0) continue;
    if (!rowStable(r)) return false;
    // The reference settles by the same rule, against the same span.
    if (reference_ != nullptr && reference_->fromInstrument(r) && !reference_->stable(rowSpan(r))) return false;
  }
  return true;
}

bool StableHold::hold(int id) {
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

int StableHold::takeIfStable() {
  if (heldPoint_ == 0 || !pointRowsStable(heldPoint_)) return 0;
  const int id = heldPoint_;
  heldPoint_ = 0;
  controls_.setText(ids::kResult, "");
  return controls_.isShown(id) && controls_.isEnabled(id) ? id : 0;
}

}  // namespace trimwell
