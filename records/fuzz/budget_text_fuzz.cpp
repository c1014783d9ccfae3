// libFuzzer target: a result's stored budget text, decision rule and verdict
// names, as a records file from elsewhere holds them; what is read is worked with
// as a certificate would (its combined and expanded uncertainty).
#include <cmath>
#include <cstdint>
#include <string>

#include "metrology/decision_rule.h"
#include "metrology/verdict.h"
#include "records/budget_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  trimwell::metrology::UncertaintyBudget budget;
  budget.coverageFactor = 2.0;
  trimwell::readBudgetText(text, budget);
  (void)budget.combined();
  (void)budget.expanded();
  (void)trimwell::budgetText(budget);
  trimwell::metrology::DecisionRule rule{};
  trimwell::metrology::parseDecisionRule(text, rule);
  trimwell::metrology::Verdict verdict{};
  trimwell::metrology::parseVerdict(text, verdict);
  return 0;
}
