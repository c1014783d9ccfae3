#pragma once
// A calibration point's result as a lab reports it: the reference value, the
// unit's reading, the error between them, the uncertainty of that error with the
// budget it comes from, and the verdict against a tolerance by the agreed rule.
// Standard library only: the records, the window, the certificate and the
// scripts all read this one set of types, and none of them is needed to compute
// them.

#include <optional>
#include <span>
#include <string>

#include "metrology/decision_rule.h"
#include "metrology/tolerance.h"
#include "metrology/uncertainty_budget.h"
#include "metrology/verdict.h"

namespace trimwell::metrology {

struct PointResult {
  double referenceValue = 0.0;    // Y
  double reading = 0.0;           // R
  UncertaintyBudget uncertainty;  // of the error E
  std::optional<double> limit;    // T, where a tolerance is stated
  DecisionRule rule = DecisionRule::kSimple;
  Verdict verdict = Verdict::kNotStated;
  double error() const { return reading - referenceValue; }  // E = R - Y
  // U is more than a quarter of T (a test uncertainty ratio under 4:1): a
  // simple-acceptance verdict, which leaves U out, says little here.
  bool uncertaintyAboveQuarterOfLimit() const { return limit && uncertainty.expanded() > *limit / 4.0; }
};

// States the result's verdict: T from the tolerance at the result's reading (or
// the row's span), U from its budget, decided by the rule. No tolerance states
// nothing. False with a reason, the result as it was, for a tolerance
// checkTolerance refuses or a % of span whose span is not finite or not
// positive.
bool judge(PointResult& result, const Tolerance& tolerance, DecisionRule rule, double span, std::string& problem);

// A row's verdict: the worst of its results'.
Verdict worstVerdict(std::span<const PointResult> results);

}  // namespace trimwell::metrology
