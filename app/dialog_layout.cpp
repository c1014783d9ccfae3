#include "app/dialog_layout.h"

#include <algorithm>
#include <filesystem>

#include "app/control_ids.h"
#include "app/control_tables.h"
#include "datasheet/datasheet_library.h"
#include "platform/format_text.h"

namespace trimwell {

const std::vector<ControlSpec>& dialogControls() {
  static const std::vector<ControlSpec> controls = [] {
    std::vector<ControlSpec> c;
    for (const WindowControl& w : windowControls()) c.push_back({w.id, w.kind, w.caption});
    for (const OptionControl& o : optionControls()) c.push_back({o.id, ControlKind::CheckBox, optionOf(o).caption});
    for (int i = 0; i < ids::kRows; ++i) {
      for (const RowColumn& column : rowColumns()) c.push_back({column.baseId + i, column.kind, column.caption});
      const RowColumn& mark = stabilityColumn();
      c.push_back({mark.baseId + i, mark.kind, mark.caption});
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
