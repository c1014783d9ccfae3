#include "calibration/settings_store.h"

#include "calibration/calibration_options.h"
#include "platform/format_text.h"

namespace trimwell {
namespace {

std::u16string utf16(const std::string& utf8) {
  std::u16string out;
  fromUtf8(utf8, out);
  return out;
}

}  // namespace

std::string SettingsStore::sensorKey(int sensorId) { return formatText("%s\\sensor%d", kSettingsBasePath, sensorId); }

std::string SettingsStore::rowKey(int sensorId, int measurementId) {
  return formatText("%s\\sensor%d\\meas%d", kSettingsBasePath, sensorId, measurementId);
}

std::uint32_t SettingsStore::readDword(const std::string& key, const char* name) {
  std::uint32_t value = 0;
  return registry_.queryDword(key, name, value) ? value : 0;
}

std::u16string SettingsStore::readString(const std::string& key, const char* name) {
  std::u16string value;
  if (!registry_.queryString(key, name, value)) return {};
  if (value.size() > kMaxStoredTextUnits) value.resize(kMaxStoredTextUnits);
  return value;
}

void SettingsStore::SaveSettings() {
  if (s_.currentDatasheet == nullptr || s_.rowCount == 0) return;
  const int sensorId = s_.currentDatasheet->sensorId;
  const std::string key = sensorKey(sensorId);
  if (registry_.createKey(key)) {
    for (int i = 0; i < s_.rowCount; ++i) {
      const Measurement* m = s_.rows[static_cast<std::size_t>(i)].measurement;
      registry_.setDword(key, formatText("Cal ID %d", i), m != nullptr ? m->id : 0);
    }
    for (const OptionInfo& o : kOptions) {
      if (o.settingsName != nullptr) registry_.setDword(key, o.settingsName, s_.options.*o.member);
    }
    registry_.setDword(key, "Num Cals", static_cast<std::uint32_t>(s_.rowCount));
  }
  for (int i = 0; i < s_.rowCount; ++i) saveRow(i);
  registry_.flush();
}

void SettingsStore::saveRow(int i) {
  const CalibrationRow& row = s_.rows[static_cast<std::size_t>(i)];
  if (row.measurement == nullptr) return;
  const std::string key = rowKey(s_.currentDatasheet->sensorId, row.measurement->id);
  if (!registry_.createKey(key)) return;
  registry_.setString(key, "data1", utf16(row.typedPoint1DataText));
  registry_.setString(key, "data2", utf16(row.typedPoint2DataText));
  registry_.setDword(key, "disable", row.disable != 0);
  registry_.setDword(key, "Enter Pt1", row.manualPoint1 != 0);
  registry_.setDword(key, "Enter Pt2", row.manualPoint2 != 0);
  registry_.setString(key, "raw1", utf16(row.typedPoint1RawText));
  registry_.setString(key, "raw2", utf16(row.typedPoint2RawText));
  registry_.setDword(key, "Extra Cal", row.extraRow != 0);
}

void SettingsStore::LoadSettings() {
  if (s_.currentDatasheet == nullptr || s_.rowCount == 0) return;
  const std::string key = sensorKey(s_.currentDatasheet->sensorId);
  if (registry_.openKey(key)) {
    for (const OptionInfo& o : kOptions) {
      if (o.settingsName != nullptr) s_.options.*o.member = readDword(key, o.settingsName);
    }
    s_.step = s_.options.doFactoryInit != 0 ? kWaitFactoryInit : kWaitPoint1;
    loadExtraRows(key, readDword(key, "Num Cals"));
  }
  for (int i = 0; i < s_.rowCount; ++i) loadRow(i);
}

void SettingsStore::loadExtraRows(const std::string& key, std::uint32_t numCals) {
  std::string list;
  if (numCals <= static_cast<std::uint32_t>(kCalibrationRows) && numCals > static_cast<std::uint32_t>(s_.rowCount)) {
    const int builtRows = s_.rowCount;
    for (int k = builtRows; k < static_cast<int>(numCals); ++k) {
      const std::uint32_t id = readDword(key, formatText("Cal ID %d", k).c_str());
      Measurement* m = s_.currentDatasheet->findMeasurement(static_cast<int>(id));
      if (m == nullptr || hasRow(m)) continue;
      s_.fillRow(s_.rowCount, m, true);
      ++s_.rowCount;
      if (!list.empty()) list += ",";
      list += std::to_string(id);
    }
  }
  s_.otherIdsText = list;
}

void SettingsStore::loadRow(int i) {
  CalibrationRow& row = s_.rows[static_cast<std::size_t>(i)];
  if (row.measurement == nullptr) return;
  const std::string key = rowKey(s_.currentDatasheet->sensorId, row.measurement->id);
  if (!registry_.openKey(key)) {
    // A measurement with nothing saved starts clean: reference values typed for
    // another model would invite a wrong calibration.
    row.typedPoint1DataText.clear();
    row.typedPoint2DataText.clear();
    row.typedPoint1RawText.clear();
    row.typedPoint2RawText.clear();
    row.disable = 0;
    row.manualPoint1 = 0;
    row.manualPoint2 = 0;
    return;
  }
  row.typedPoint1DataText = toUtf8(readString(key, "data1"));
  row.typedPoint2DataText = toUtf8(readString(key, "data2"));
  row.typedPoint1RawText = toUtf8(readString(key, "raw1"));
  row.typedPoint2RawText = toUtf8(readString(key, "raw2"));
  row.disable = readDword(key, "disable") != 0;
  row.manualPoint1 = readDword(key, "Enter Pt1") != 0;
  row.manualPoint2 = readDword(key, "Enter Pt2") != 0;
  // "Extra Cal" is saved with each row but not read back: the row's kind comes from
  // the datasheet and the ID list, and a stored flag must not turn a measurement's
  // own row into an extra one whose constants are never written.
}

bool SettingsStore::hasRow(const Measurement* m) const {
  for (int i = 0; i < s_.rowCount; ++i) {
    if (s_.rows[static_cast<std::size_t>(i)].measurement == m) return true;
  }
  return false;
}

}  // namespace trimwell
