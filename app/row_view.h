#pragma once
// The rows as the window shows them: which controls a row offers for the step and
// options the session is at, its live reading, raw value, least and greatest
// reading, the colour of the selected gain row, and the values typed into it.

#include <cstdint>
#include <string>

#include "app/stable_hold.h"
#include "calibration/calibration_session.h"
#include "platform/window_controls.h"

namespace trimwell {

class RowView {
 public:
  RowView(CalibrationSession& session, WindowControls& controls, StableHold& hold)
      : session_(session), controls_(controls), hold_(hold) {}

  // Shows and enables the controls of every row (allRows) or of the rows in use;
  // answers how many rows it refreshed.
  int refresh(bool allRows);
  // The row's reading from the last sample, and its raw, least and greatest.
  void showRow(int i);
  void applyColours();
  // The text colour of a control: red for the selected gain row's four boxes.
  std::int32_t controlColour(int id) const;
  // A point field the operator typed into: its text and value into the row.
  // The option boxes as the session has them.
  void showOptions();
  // A field the procedure refused, in red until edited.
  void markRefused(int row, int point, bool raw);
  // Row `row`'s gain box checked, the others not; -1 for none.
  void showGain(int row);
  // A Manual 1 or Manual 2 box's state into its row; false for any other control.
  bool takeManualToggle(int id);
  void takeTypedText(int id);
  // What the settings brought for a sensor: its options, its rows' typed values
  // and its extra rows' IDs, into the controls they belong to.
  void showSettings();

 private:
  void refreshGlobalControls();
  void refreshRow(int i);
  std::string rawText(const CalibrationRow& row) const;
  std::string whyNotFinite(const CalibrationRow& row) const;
  void onTypedRaw(int row, bool point2);
  void onTypedData(int row, bool point2);

  CalibrationSession& session_;
  WindowControls& controls_;
  StableHold& hold_;
};

}  // namespace trimwell
