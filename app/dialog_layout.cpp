#include "app/dialog_layout.h"

#include <algorithm>
#include <filesystem>

#include "app/control_ids.h"
#include "datasheet/datasheet_library.h"
#include "platform/format_text.h"

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

namespace {

// As wide as a reading gets in practice: five digits, the four decimals every
// reading has, and a sign.
constexpr double kWidestValue = -12345.6789;

bool isDatasheetFile(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".sds";
}

void addReadings(const Datasheet& datasheet, std::vector<std::string>& out) {
  for (int i = 0; i < datasheet.measurementCount && i < kMaxMeasurements; ++i) {
    const Measurement* m = datasheet.measurement(i);
    if (m == nullptr || m->conversionType != kCalibrated) continue;
    out.push_back(formatText("%s = %.4f %s", toUtf8(m->primaryText.text).c_str(), kWidestValue,
                             toUtf8(m->secondaryText.text).c_str()));
  }
}

}  // namespace

ReadingTexts readingTexts(const std::string& libraryFolder) {
  ReadingTexts texts;
  texts.number = {formatText("%.4f", kWidestValue)};
  texts.raw = {formatText("0x%x", 0xFFFFFFFFu), texts.number[0]};
  std::error_code error;
  for (std::filesystem::directory_iterator it(libraryFolder, error), end; !error && it != end; it.increment(error)) {
    std::vector<std::uint8_t> bytes;
    if (!isDatasheetFile(it->path()) || !readFileBytes(it->path().string(), bytes)) continue;
    Datasheet datasheet;
    if (datasheet.decode(bytes.data(), bytes.size())) addReadings(datasheet, texts.measurement);
  }
  return texts;
}

}  // namespace trimwell
