#pragma once
// A statement of conformity and how the statements of a row and of a whole
// calibration follow from those of their results.

#include <span>
#include <string_view>

namespace trimwell::metrology {

// Ordered from no statement to the most severe: worse() relies on that order.
enum class Verdict {
  kNotStated,  // no tolerance: nothing is stated
  kPass,
  kConditionalPass,
  kConditionalFail,
  kFail,
};

// The names records and scripts keep: "not stated", "pass", "conditional pass",
// "conditional fail", "fail".
const char* verdictName(Verdict verdict);
bool parseVerdict(std::string_view name, Verdict& verdict);

// The more severe of two; "not stated" only when neither states anything.
Verdict worse(Verdict a, Verdict b);
// A row's verdict from its results', a calibration's from its rows'.
Verdict worstVerdict(std::span<const Verdict> verdicts);

}  // namespace trimwell::metrology
