#include "metrology/standard_entry.h"

#include <algorithm>

#include <cctype>
#include <cmath>

namespace trimwell::metrology {

namespace {

// The largest value the calibration block holds, so the largest a row reads.
constexpr double kLargestRowValue = 32768.0;
constexpr double kLargestStandardUncertainty = 1e300;

bool digits(const std::string& text, std::size_t from, std::size_t count, int& value) {
  value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

bool refuse(std::string& problem, const std::string& text) {
  problem = text;
  return false;
}

}  // namespace

bool isCalendarDate(const std::string& text) {
  int year = 0, month = 0, day = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  if (!digits(text, 0, 4, year) || !digits(text, 5, 2, month) || !digits(text, 8, 2, day)) return false;
  if (month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool checkEntry(const StandardEntry& e, std::string& problem) {
  if (e.name.empty()) return refuse(problem, "The reference standard needs a name");
  const std::string of = "Reference standard " + e.name + ": ";
  if (!isCalendarDate(e.calibratedOn)) return refuse(problem, of + "calibrated on \"" + e.calibratedOn + "\" is no date (YYYY-MM-DD)");
  if (!isCalendarDate(e.dueOn)) return refuse(problem, of + "due on \"" + e.dueOn + "\" is no date (YYYY-MM-DD)");
  if (!e.retiredOn.empty() && !isCalendarDate(e.retiredOn)) {
    return refuse(problem, of + "retired on \"" + e.retiredOn + "\" is no date (YYYY-MM-DD)");
  }
  const ReferenceStandard& u = e.uncertainty;
  if (!std::isfinite(u.a) || u.a < 0.0) return refuse(problem, of + "U's a is not a finite number of 0 or more");
  if (!std::isfinite(u.b) || u.b < 0.0) return refuse(problem, of + "U's b is not a finite number of 0 or more");
  if (!std::isfinite(u.coverageFactor) || u.coverageFactor <= 0.0) {
    return refuse(problem, of + "k is not a positive number");
  }
  if (u.a == 0.0 && u.b == 0.0) return refuse(problem, of + "U is not positive (a and b are both 0)");
  if (!(u.degreesOfFreedom >= 1.0)) return refuse(problem, of + "the degrees of freedom of U are not 1 or more");
  // A budget combines U / k with other inputs and expands it again: past this
  // its sums would leave the numbers a store and a certificate can hold.
  const double largest = u.expanded(kLargestRowValue) / u.coverageFactor;
  if (!std::isfinite(largest) || largest > kLargestStandardUncertainty) {
    return refuse(problem, of + "U / k is more than an uncertainty budget can carry (at most 1e+300 at any value a "
                                "row reads, up to 32768)");
  }
  return true;
}

const StandardEntry* findStandard(const std::vector<StandardEntry>& entries, const std::string& name) {
  const auto found = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.name == name; });
  return found != entries.end() ? &*found : nullptr;
}

bool usableOn(const StandardEntry& entry, const std::string& today, std::string& problem) {
  // Both dates are YYYY-MM-DD, which compare as texts.
  if (!entry.retiredOn.empty() && entry.retiredOn <= today) {
    return refuse(problem, "Reference standard " + entry.name + " was retired on " + entry.retiredOn +
                               "; it cannot be used");
  }
  if (entry.dueOn >= today) return true;
  return refuse(problem, "Reference standard " + entry.name + " was due on " + entry.dueOn + "; it cannot be used");
}

namespace {

// The unit with every micro sign written alike: "μ" and a "u" before a letter at
// the start of a unit's part (after nothing, "/", "·", "*" or a space) become "µ".
std::string microAlike(std::string_view unit) {
  std::string out;
  for (std::size_t i = 0; i < unit.size(); ++i) {
    const bool partStarts = out.empty() || out.back() == '/' || out.back() == ' ' || out.back() == '*' ||
                            (out.size() >= 2 && out.compare(out.size() - 2, 2, "\xC2\xB7") == 0);
    if (unit.compare(i, 2, "\xCE\xBC") == 0) {
      out += "\xC2\xB5";
      ++i;
    } else if (unit[i] == 'u' && partStarts && i + 1 < unit.size() &&
               std::isalpha(static_cast<unsigned char>(unit[i + 1])) != 0) {
      out += "\xC2\xB5";
    } else {
      out += unit[i];
    }
  }
  return out;
}

}  // namespace

bool sameUnit(std::string_view a, std::string_view b) { return a == b || microAlike(a) == microAlike(b); }

}  // namespace trimwell::metrology
