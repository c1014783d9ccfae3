#include "metrology/verdict.h"

#include <algorithm>
#include <array>
#include <utility>

namespace trimwell::metrology {

namespace {

constexpr std::array<std::pair<Verdict, const char*>, 5> kNames{{
    {Verdict::kNotStated, "not stated"},
    {Verdict::kPass, "pass"},
    {Verdict::kConditionalPass, "conditional pass"},
    {Verdict::kConditionalFail, "conditional fail"},
    {Verdict::kFail, "fail"},
}};

}  // namespace

const char* verdictName(Verdict verdict) {
  for (const auto& [v, name] : kNames) {
    if (v == verdict) return name;
  }
  return "not stated";
}

bool parseVerdict(std::string_view name, Verdict& verdict) {
  for (const auto& [v, text] : kNames) {
    if (name == text) {
      verdict = v;
      return true;
    }
  }
  return false;
}

Verdict worse(Verdict a, Verdict b) { return std::max(a, b); }

Verdict worstVerdict(std::span<const Verdict> verdicts) {
  Verdict worst = Verdict::kNotStated;
  for (Verdict v : verdicts) worst = worse(worst, v);
  return worst;
}

}  // namespace trimwell::metrology
