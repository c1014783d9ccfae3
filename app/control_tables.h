#pragma once
// The dialog's controls as tables, read by the layout, the Qt window, the dialog
// and its row view: the controls of the window as a whole, the option check boxes
// (their texts and stored names are in the option table of the calibration), and
// the columns every calibration row has. A new row column is one entry here and
// what the row view shows in it.

#include <array>
#include <cstdint>

#include "calibration/calibration_options.h"
#include "platform/window_controls.h"

namespace trimwell {

struct WindowControl {
  int id;
  ControlKind kind;
  const char* caption;
  const char* tooltip;
};

struct OptionControl {
  int id;
  std::uint32_t CalibrationOptions::*member;
};

// One per row: the control of row i is baseId + i.
struct RowColumn {
  int baseId;
  ControlKind kind;
  const char* caption;
  const char* heading;  // above the column in the window; "" for none
  int width;            // the least width of an edit box in pixels; 0: as its content needs
  const char* tooltip;
};

const std::array<WindowControl, 16>& windowControls();
// In the order of the options box, three to a line.
const std::array<OptionControl, 9>& optionControls();
const OptionInfo& optionOf(const OptionControl& control);
// The grid's columns, left to right.
const std::array<RowColumn, 19>& rowColumns();
// Under each row's plot rather than in the grid.
const RowColumn& stabilityColumn();

}  // namespace trimwell
