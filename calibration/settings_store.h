#pragma once
// The operator's settings per sensor model, kept in the station's registry store
// under "Software\Korvane\Trimwell\sensor<ID>" and, per calibrated measurement,
// "...\sensor<ID>\meas<measurement ID>". Registry failures are silent: a key that
// cannot be opened leaves the settings it would carry as they are.

#include "calibration/calibration_session.h"
#include "platform/registry.h"

namespace trimwell {

constexpr const char* kSettingsBasePath = "Software\\Korvane\\Trimwell";
constexpr std::size_t kMaxStoredTextUnits = 129;  // a 260-byte buffer with its terminator

class SettingsStore {
 public:
  SettingsStore(Registry& registry, CalibrationSession& session) : registry_(registry), s_(session) {}

  // The options, each row's typed texts and flags, and the extra rows, from the
  // session into the store and back; the dialog shows what LoadSettings brought.
  void SaveSettings();
  void LoadSettings();

  static std::string sensorKey(int sensorId);
  static std::string rowKey(int sensorId, int measurementId);

 private:
  std::uint32_t readDword(const std::string& key, const char* name);
  std::u16string readString(const std::string& key, const char* name);
  void loadExtraRows(const std::string& key, std::uint32_t numCals);
  void saveRow(int row);
  void loadRow(int row);
  bool hasRow(const Measurement* m) const;

  Registry& registry_;
  CalibrationSession& s_;
};

}  // namespace trimwell
