#pragma once
// The operator's options, one entry each: the check box's caption and tip, the
// name its value is kept under per sensor model, and its label in a record. The
// window, the settings store and the record all read this one table.

#include <array>
#include <cstdint>
#include <string>

#include "calibration/calibration_session.h"

namespace trimwell {

struct OptionInfo {
  std::uint32_t CalibrationOptions::*member;
  const char* caption;
  const char* tooltip;
  const char* settingsName;  // nullptr: not kept per sensor model
  const char* recordLabel;   // nullptr: not in the record
};

// In the order a record lists them.
extern const std::array<OptionInfo, 9> kOptions;

const OptionInfo* findOption(std::uint32_t CalibrationOptions::*member);

// The record's options: "Label=value" lines in the table's order.
std::string optionsText(const CalibrationOptions& options);

}  // namespace trimwell
