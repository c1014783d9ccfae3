#pragma once
// A calibration session with its controls in memory, for the procedure and
// settings tests: rows refresh into nothing, messages are kept.

#include "app/dialog_layout.h"
#include "calibration/calibration_session.h"
#include "platform/memory_controls.h"

#include <vector>

namespace trimwell::test {

class SessionUi : public CalibrationUi {
 public:
  SessionUi() : controls(dialogControls()) {}
  int RefreshRows(bool) override { return ++refreshes; }
  void ShowMessage(const std::string& text) override { controls.messageBox(text); }
  WindowControls& Controls() override { return controls; }
  // Answered from controls.answers, given beforehand; no when none is left.
  bool Confirm(const std::string& question) override { return controls.ask(question); }
  void KeepRecord(CalibrationRecord& record) override {
    record.id = static_cast<long long>(records.size()) + 1;
    records.push_back(record);
  }

  MemoryControls controls;
  std::vector<CalibrationRecord> records;
  int refreshes = 0;
};

}  // namespace trimwell::test
