#pragma once
// Every control of the calibration dialog with its kind and template caption.

#include <string>
#include <vector>

#include "platform/window_controls.h"

namespace trimwell {

const std::vector<ControlSpec>& dialogControls();

// The widest texts the reading columns have to show for the sensors of a datasheet
// library: each calibrated measurement's reading (the rows a sensor brings) at a
// value as wide as the columns are meant for, and that value alone for Min/Max and
// Raw, beside the widest hexadecimal raw.
struct ReadingTexts {
  std::vector<std::string> measurement;
  std::vector<std::string> number;
  std::vector<std::string> raw;
};
ReadingTexts readingTexts(const std::string& libraryFolder);

}  // namespace trimwell
