#include "records/budget_text.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "records/calibration_record.h"

namespace trimwell {
namespace {

std::string escaped(const std::string& source) {
  std::string out;
  for (char c : source) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

std::string unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

// The next word of `line`, up to a space, and the line after that space.
std::string_view word(std::string_view& line) {
  const std::size_t space = line.find(' ');
  const std::string_view out = line.substr(0, space);
  line = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  return out;
}

template <typename Number>
bool numberOf(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool readLine(std::string_view line, metrology::UncertaintyBudget& budget) {
  const std::string_view kind = word(line);
  if (kind == "contribution") {
    metrology::Contribution c;
    if (!numberOf(word(line), c.value) || !numberOf(word(line), c.divisor) || !numberOf(word(line), c.sensitivity)) {
      return false;
    }
    c.source = unescaped(line);
    budget.contributions.push_back(std::move(c));
    return true;
  }
  // A contribution's degrees of freedom, where finite (older records have none).
  if (kind == "degrees") {
    std::size_t index = 0;
    double nu = 0.0;
    if (!numberOf(word(line), index) || !numberOf(line, nu) || index >= budget.contributions.size()) return false;
    budget.contributions[index].degreesOfFreedom = nu;
    return true;
  }
  metrology::Correlation r;
  if (kind != "correlation" || !numberOf(word(line), r.first) || !numberOf(word(line), r.second) ||
      !numberOf(line, r.coefficient)) {
    return false;
  }
  budget.correlations.push_back(r);
  return true;
}

}  // namespace

std::string budgetText(const metrology::UncertaintyBudget& budget) {
  std::string text;
  for (const metrology::Contribution& c : budget.contributions) {
    text += "contribution " + exactNumber(c.value) + " " + exactNumber(c.divisor) + " " + exactNumber(c.sensitivity) +
            " " + escaped(c.source) + "\n";
  }
  for (std::size_t i = 0; i < budget.contributions.size(); ++i) {
    const double nu = budget.contributions[i].degreesOfFreedom;
    if (std::isfinite(nu)) text += "degrees " + std::to_string(i) + " " + exactNumber(nu) + "\n";
  }
  for (const metrology::Correlation& r : budget.correlations) {
    text += "correlation " + std::to_string(r.first) + " " + std::to_string(r.second) + " " +
            exactNumber(r.coefficient) + "\n";
  }
  return text;
}

bool readBudgetText(const std::string& text, metrology::UncertaintyBudget& budget) {
  budget.contributions.clear();
  budget.correlations.clear();
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    if (!readLine(rest.substr(0, end), budget)) return false;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  return true;
}

}  // namespace trimwell
