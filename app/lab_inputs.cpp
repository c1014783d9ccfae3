#include "app/lab_inputs.h"

#include <cmath>
#include <sstream>

#include "calibration/settings_store.h"
#include "calibration/typed_value.h"
#include "platform/format_text.h"
#include "platform/utf16_text.h"
#include "records/calibration_record.h"

namespace trimwell {
namespace {

bool toleranceNumber(const std::string& word, const char* field, double& value, std::string& problem) {
  if (parseTypedNumber(word, false, value) && std::isfinite(value) && value >= 0.0) return true;
  problem = formatText("Tolerance %s \"%s\" is not a finite number of 0 or more", field, word.c_str());
  return false;
}

bool rangeNumber(const std::string& word, const char* field, double& value, std::string& problem) {
  if (parseTypedNumber(word, false, value) && std::isfinite(value)) return true;
  problem = formatText("Tolerance calibrated range's %s \"%s\" is not a finite number", field, word.c_str());
  return false;
}

std::string exactText(double value) { return exactNumber(value); }

}  // namespace

bool parseTolerance(const std::string& text, metrology::Tolerance& out, std::string& problem) {
  std::istringstream in(text);
  std::string kind, first, second, third, extra;
  in >> kind >> first >> second >> third >> extra;
  metrology::Tolerance t;
  if (kind == "none" && first.empty()) {
    out = t;
    return true;
  }
  if (kind == "reading" && !second.empty() && third.empty()) {
    if (!toleranceNumber(first, "a", t.a, problem) || !toleranceNumber(second, "b (% of reading)", t.b, problem)) {
      return false;
    }
    t.kind = metrology::Tolerance::Kind::kOfReading;
  } else if (kind == "span" && !first.empty() && second.empty() == third.empty() && extra.empty()) {
    if (!toleranceNumber(first, "% of span", t.percentOfSpan, problem)) return false;
    // The range's values may be below zero: only finite.
    if (!second.empty() && !(rangeNumber(second, "lower value", t.rangeLow, problem) &&
                             rangeNumber(third, "upper value", t.rangeHigh, problem))) {
      return false;
    }
    t.kind = metrology::Tolerance::Kind::kOfSpan;
  } else {
    problem = "Tolerance \"" + text +
              "\" is none, reading A B (± A + B % of reading) or span P LOW HIGH (± P % of the calibrated range from "
              "LOW to HIGH)";
    return false;
  }
  if (!metrology::checkTolerance(t, problem)) return false;
  out = t;
  return true;
}

std::string toleranceText(const metrology::Tolerance& t) {
  switch (t.kind) {
    case metrology::Tolerance::Kind::kOfReading: return "reading " + exactText(t.a) + " " + exactText(t.b);
    case metrology::Tolerance::Kind::kOfSpan:
      return "span " + exactText(t.percentOfSpan) +
             (t.hasRange() ? " " + exactText(t.rangeLow) + " " + exactText(t.rangeHigh) : std::string());
    default: return "none";
  }
}

std::string toleranceStatement(const metrology::Tolerance& t, const std::string& unit) {
  const std::string in = unit.empty() ? std::string() : " " + unit;
  switch (t.kind) {
    case metrology::Tolerance::Kind::kOfReading:
      return "\u00b1 (" + exactText(t.a) + in + " + " + exactText(t.b) + " % of the reading)";
    case metrology::Tolerance::Kind::kOfSpan:
      return t.hasRange() ? "\u00b1 " + exactText(t.percentOfSpan) + " % of the span of the calibrated range " +
                                exactText(t.rangeLow) + " to " + exactText(t.rangeHigh) + in
                          : "\u00b1 " + exactText(t.percentOfSpan) +
                                " % of the span between the row's calibration points (Pt2 Data less Pt1 Data)";
    default: return {};
  }
}

bool parseCondition(const std::string& text, const char* field, double& value, std::string& problem) {
  if (text.find_first_not_of(" \t") == std::string::npos) {
    value = std::nan("");
    return true;
  }
  TypedRefusal why = TypedRefusal::kNone;
  if (parseTypedNumber(text, false, value, &why) && std::isfinite(value)) return true;
  problem = formatText("%s \"%s\" %s", field, text.c_str(),
                       why == TypedRefusal::kNone ? "is not a finite number" : refusalText(why).c_str());
  return false;
}

LabSettings LabSettings::load(Registry& settings) {
  LabSettings lab;
  std::uint32_t flag = 0;
  if (settings.queryDword(kSettingsBasePath, "UnitRequired", flag)) lab.unitRequired = flag != 0;
  if (settings.queryDword(kSettingsBasePath, "ConditionsRequired", flag)) lab.conditionsRequired = flag != 0;
  std::u16string rule;
  if (settings.queryString(kSettingsBasePath, "DecisionRule", rule)) {
    metrology::parseDecisionRule(utf8Of(rule), lab.rule);
  }
  return lab;
}

bool LabSettings::save(Registry& settings) const {
  return settings.createKey(kSettingsBasePath) &&
         settings.setDword(kSettingsBasePath, "UnitRequired", unitRequired ? 1 : 0) &&
         settings.setDword(kSettingsBasePath, "ConditionsRequired", conditionsRequired ? 1 : 0) &&
         settings.setString(kSettingsBasePath, "DecisionRule", utf16Of(metrology::ruleName(rule)));
}

int calibrationInterval(Registry& settings, int sensorId) {
  std::uint32_t days = 0;
  return settings.queryDword(SettingsStore::sensorKey(sensorId), "CalibrationIntervalDays", days)
             ? static_cast<int>(days)
             : 0;
}

bool setCalibrationInterval(Registry& settings, int sensorId, int days) {
  const std::string key = SettingsStore::sensorKey(sensorId);
  return days >= 0 && settings.createKey(key) &&
         settings.setDword(key, "CalibrationIntervalDays", static_cast<std::uint32_t>(days));
}

metrology::Tolerance rowTolerance(Registry& settings, int sensorId, int measurementId) {
  std::u16string text;
  metrology::Tolerance t;
  std::string ignored;
  if (settings.queryString(SettingsStore::rowKey(sensorId, measurementId), "Tolerance", text)) {
    parseTolerance(utf8Of(text), t, ignored);
  }
  return t;
}

bool setRowTolerance(Registry& settings, int sensorId, int measurementId, const metrology::Tolerance& t) {
  const std::string key = SettingsStore::rowKey(sensorId, measurementId);
  return settings.createKey(key) && settings.setString(key, "Tolerance", utf16Of(toleranceText(t)));
}

std::string rowStandard(Registry& settings, int sensorId, int measurementId) {
  std::u16string name;
  return settings.queryString(SettingsStore::rowKey(sensorId, measurementId), "Standard", name) ? utf8Of(name)
                                                                                                 : std::string();
}

bool setRowStandard(Registry& settings, int sensorId, int measurementId, const std::string& name) {
  const std::string key = SettingsStore::rowKey(sensorId, measurementId);
  return settings.createKey(key) && settings.setString(key, "Standard", utf16Of(name));
}

}  // namespace trimwell
