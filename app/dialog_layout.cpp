#include "app/dialog_layout.h"

#include "calibration/control_ids.h"

namespace trimwell {

const std::vector<ControlSpec>& dialogControls() {
  static const std::vector<ControlSpec> controls = [] {
    std::vector<ControlSpec> c = {
        {ids::kStatus, ControlKind::ReadOnlyEdit, ""},
        {ids::kDoFactoryInit, ControlKind::CheckBox, "Do Factory Init"},
        {ids::kHighEepromCal, ControlKind::CheckBox, "High EEPROM Cal"},
        {ids::kSimultaneousCal, ControlKind::CheckBox, "Simultaneous Cal"},
        {ids::kDoPostCalInit, ControlKind::CheckBox, "Do Post Cal Init"},
        {ids::kFactoryInit, ControlKind::Button, "Factory Init"},
        {ids::kAutoGainSet, ControlKind::CheckBox, "Auto Gain Set"},
        {ids::kDataAveraging, ControlKind::CheckBox, "Data Averaging"},
        {ids::kVerify, ControlKind::Button, "Verify"},
        {ids::kResetMinMax, ControlKind::Button, "Reset Min/Max"},
        {ids::kOtherCalIds, ControlKind::Edit, ""},
        {ids::kShowRaw, ControlKind::CheckBox, "Show Raw"},
        {ids::kSet, ControlKind::Button, "Set"},
        {ids::kShowMinMax, ControlKind::CheckBox, "Show Min/Max"},
        {ids::kMultipleManualModes, ControlKind::CheckBox, "Allow multiple manual modes"},
        {ids::kResult, ControlKind::Label, ""},
        {ids::kInfo, ControlKind::Label, ""},
        {ids::kOnlyWhenStable, ControlKind::CheckBox, "Take points only when stable"},
        {ids::kWirelessPort, ControlKind::Choice, ""},
    };
    for (int i = 0; i < ids::kRows; ++i) {
      c.push_back({ids::kRowCheck + i, ControlKind::CheckBox, "Check1"});
      c.push_back({ids::kPoint1 + i, ControlKind::Button, "Point 1"});
      c.push_back({ids::kPoint2 + i, ControlKind::Button, "Point 2"});
      c.push_back({ids::kPt1Raw + i, ControlKind::Edit, ""});
      c.push_back({ids::kPt1Data + i, ControlKind::Edit, ""});
      c.push_back({ids::kPt2Raw + i, ControlKind::Edit, ""});
      c.push_back({ids::kPt2Data + i, ControlKind::Edit, ""});
      c.push_back({ids::kManual1 + i, ControlKind::CheckBox, "Manual point 1"});
      c.push_back({ids::kManual2 + i, ControlKind::CheckBox, "Manual point 2"});
      c.push_back({ids::kGain + i, ControlKind::RadioButton, "Gain"});
      c.push_back({ids::kMeasurement + i, ControlKind::ReadOnlyEdit, ""});
      c.push_back({ids::kMinimum + i, ControlKind::ReadOnlyEdit, ""});
      c.push_back({ids::kMaximum + i, ControlKind::ReadOnlyEdit, ""});
      c.push_back({ids::kRaw + i, ControlKind::ReadOnlyEdit, ""});
      c.push_back({ids::kStability + i, ControlKind::Label, ""});
    }
    return c;
  }();
  return controls;
}

}  // namespace trimwell
