#include "metrology/decision_rule.h"

#include <array>
#include <cmath>

namespace trimwell::metrology {

namespace {

struct RuleNames {
  DecisionRule rule;
  const char* name;
  const char* title;
};

constexpr std::array<RuleNames, 3> kRules{{
    {DecisionRule::kSimple, "simple", "Simple acceptance"},
    {DecisionRule::kGuarded, "guarded", "Guarded acceptance, guard band w = U"},
    {DecisionRule::kNonBinary, "non-binary", "Non-binary statement, guard band w = U"},
}};

const RuleNames& namesOf(DecisionRule rule) {
  for (const RuleNames& r : kRules) {
    if (r.rule == rule) return r;
  }
  return kRules[0];
}

}  // namespace

const char* ruleName(DecisionRule rule) { return namesOf(rule).name; }

const char* ruleTitle(DecisionRule rule) { return namesOf(rule).title; }

bool parseDecisionRule(std::string_view name, DecisionRule& rule) {
  for (const RuleNames& r : kRules) {
    if (name == r.name) {
      rule = r.rule;
      return true;
    }
  }
  return false;
}

Verdict decide(DecisionRule rule, double error, double limit, double expanded) {
  if (!std::isfinite(error) || !std::isfinite(limit) || limit < 0.0) return Verdict::kNotStated;
  // Simple acceptance compares E with T alone: it needs no U to state a verdict.
  if (rule == DecisionRule::kSimple) return std::abs(error) <= limit ? Verdict::kPass : Verdict::kFail;
  if (!std::isfinite(expanded) || expanded < 0.0) return Verdict::kNotStated;
  const double e = std::abs(error);
  switch (rule) {
    case DecisionRule::kSimple:
    case DecisionRule::kGuarded:
      // U larger than T leaves no acceptance zone: every result fails.
      return e <= limit - expanded ? Verdict::kPass : Verdict::kFail;
    case DecisionRule::kNonBinary:
      if (e <= limit - expanded) return Verdict::kPass;
      if (e <= limit) return Verdict::kConditionalPass;
      if (e <= limit + expanded) return Verdict::kConditionalFail;
      return Verdict::kFail;
  }
  return Verdict::kNotStated;
}

}  // namespace trimwell::metrology
