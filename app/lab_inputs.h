#pragma once
// What a lab types or sets around a calibration, read and checked: a row's
// tolerance as typed, a condition's value, and the lab's settings (the decision
// rule, which fields are required), kept in the station's settings.

#include <string>

#include "metrology/decision_rule.h"
#include "metrology/tolerance.h"
#include "platform/registry.h"

namespace trimwell {

// "reading A B" (± A + B % of the reading), "span P" (± P % of the span) or
// "none". False, naming the field, for anything else or a value that is not a
// finite number of 0 or more.
bool parseTolerance(const std::string& text, metrology::Tolerance& out, std::string& problem);
// The tolerance as parseTolerance reads it back.
std::string toleranceText(const metrology::Tolerance& tolerance);
// The tolerance as a record and its certificate state it, in the row's unit:
// "± (0.1 °C + 0.5 % of the reading)", "± 0.5 % of the span of the calibrated
// range 0 to 100 °C"; one kept before the range was given says which span it
// meant. Empty for none.
std::string toleranceStatement(const metrology::Tolerance& tolerance, const std::string& unit);

// A typed condition: empty is not given (NaN, true); else a finite number, or
// false naming the field: "Ambient temperature \"warm\" is not a number".
bool parseCondition(const std::string& text, const char* field, double& value, std::string& problem);

struct LabSettings {
  metrology::DecisionRule rule = metrology::DecisionRule::kSimple;
  bool unitRequired = false;
  bool conditionsRequired = false;

  static LabSettings load(Registry& settings);
  bool save(Registry& settings) const;
};

// A model's calibration interval in days (0: none set), a row's tolerance and the
// name of the reference standard last chosen for it (empty: none), kept with the
// model's settings.
int calibrationInterval(Registry& settings, int sensorId);
bool setCalibrationInterval(Registry& settings, int sensorId, int days);
metrology::Tolerance rowTolerance(Registry& settings, int sensorId, int measurementId);
bool setRowTolerance(Registry& settings, int sensorId, int measurementId, const metrology::Tolerance& tolerance);
std::string rowStandard(Registry& settings, int sensorId, int measurementId);
bool setRowStandard(Registry& settings, int sensorId, int measurementId, const std::string& name);

}  // namespace trimwell
