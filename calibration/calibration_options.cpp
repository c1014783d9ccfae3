#include "calibration/calibration_options.h"

#include "platform/format_text.h"

namespace trimwell {

const std::array<OptionInfo, 9> kOptions = {{
    {&CalibrationOptions::doFactoryInit, "Do Factory Init",
     "Zero the sensor and power-cycle it (Factory Init) before the points are taken", "Do Factory Init",
     "Do Factory Init"},
    {&CalibrationOptions::highEepromCal, "High EEPROM Cal",
     "Also write the calibration block into the sensor's EEPROM, and check it", "Write EEPROM Cal", "High EEPROM Cal"},
    {&CalibrationOptions::simultaneousCal, "Simultaneous Cal",
     "Take each point for every row at once with the first row's buttons", "Calibrate Simultaneously",
     "Simultaneous Cal"},
    {&CalibrationOptions::postCalInit, "Do Post Cal Init",
     "Send the sensor its initialisation after the calibration is written", "Post Cal Init", "Do Post Cal Init"},
    {&CalibrationOptions::autoGainSet, "Auto Gain Set",
     "Set each row's gain as its turn comes; the Gain buttons set one by hand", "Auto Gain 1 10 100", "Auto Gain Set"},
    {&CalibrationOptions::dataAveraging, "Data Averaging", "Take each reading as the mean of 16 samples",
     "Do Data Averaging", "Data Averaging"},
    {&CalibrationOptions::multipleManualModes, "Allow multiple manual modes",
     "Let each row have its own manual points; otherwise the first row's count for all", "Multiple Manual Modes",
     "Allow multiple manual modes"},
    {&CalibrationOptions::showRaw, "Show Raw", "Show each row's raw reading, as the sensor sends it", nullptr, nullptr},
    {&CalibrationOptions::showMinMax, "Show Min/Max",
     "Show the lowest and highest reading of each row since the last reset", nullptr, nullptr},
}};

const OptionInfo* findOption(std::uint32_t CalibrationOptions::*member) {
  for (const OptionInfo& option : kOptions) {
    if (option.member == member) return &option;
  }
  return nullptr;
}

std::string optionsText(const CalibrationOptions& options) {
  std::string text;
  for (const OptionInfo& option : kOptions) {
    if (option.recordLabel == nullptr) continue;
    if (!text.empty()) text += "\n";
    text += formatText("%s=%u", option.recordLabel, options.*option.member);
  }
  return text;
}

}  // namespace trimwell
