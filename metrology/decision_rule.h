#pragma once
// The decision rules a lab agrees with its customer before a calibration
// (ILAC-G8:09/2019, 4.2): how the expanded uncertainty U of an error E is taken
// into account when E is compared with a tolerance of +/- T.

#include <string_view>

#include "metrology/verdict.h"

namespace trimwell::metrology {

enum class DecisionRule {
  kSimple,     // pass when |E| <= T; U is stated beside it, the risk shared (4.2.1)
  kGuarded,    // guard band w = U: pass when |E| <= T - U, else fail (4.2.2)
  kNonBinary,  // guard band w = U on both sides of T, four statements (4.2.3)
};

// The names records and scripts keep: "simple", "guarded", "non-binary".
const char* ruleName(DecisionRule rule);
bool parseDecisionRule(std::string_view name, DecisionRule& rule);
// How a report names the rule.
const char* ruleTitle(DecisionRule rule);

// The verdict on an error against a tolerance of +/- limit with expanded
// uncertainty U. The non-binary rule: pass when |E| <= T - U, conditional pass
// up to T, conditional fail up to T + U, fail beyond. Every bound is inclusive
// toward the better statement. Not stated when E or the limit is not finite or
// the limit is negative, nor, for the rules that take U into account, when U is
// not finite or negative: simple acceptance needs no U.
Verdict decide(DecisionRule rule, double error, double limit, double expanded);

}  // namespace trimwell::metrology
