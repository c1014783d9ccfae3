#pragma once
// What the procedure tells its dialog, kept for the procedure and settings tests:
// messages, the fields marked, the gain row shown, the outcomes handed back.

#include <string>
#include <vector>

#include "calibration/calibration_session.h"

namespace trimwell::test {

struct MarkedField {
  int row;
  int point;
  bool raw;
  bool operator==(const MarkedField&) const = default;
};

class SessionUi : public CalibrationUi {
 public:
  int RefreshRows(bool) override { return ++refreshes; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void markRefusedField(int row, int point, bool raw) override { marked.push_back({row, point, raw}); }
  void showGainRow(int row) override { gainRow = row; }
  void keepOutcome(const WriteOutcome& outcome) override { records.push_back(outcome); }
  // Answered from answers, given beforehand; no when none is left.
  bool confirm(const std::string& question) override {
    messages.push_back(question);
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.erase(answers.begin());
    return yes;
  }

  std::vector<std::string> messages;
  std::vector<bool> answers;
  std::vector<MarkedField> marked;
  std::vector<WriteOutcome> records;
  int gainRow = -2;
  int refreshes = 0;
};

// A kept outcome as the record a restore reads back, numbered.
inline RestoreSource sourceOf(const WriteOutcome& outcome, long long number) {
  return {number, "", outcome.sensorId, outcome.options, outcome.asFound, outcome.asLeft};
}

}  // namespace trimwell::test
