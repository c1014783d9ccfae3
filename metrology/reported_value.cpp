#include "metrology/reported_value.h"

#include <charconv>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "metrology/coverage.h"

namespace trimwell::metrology {
namespace {

// A finite double's shortest decimal form, as its significant digits and the
// power of ten of the first: 0.0150001 is "150001" at -2.
struct Decimal {
  bool negative = false;
  std::string digits;
  int firstPlace = 0;
};

Decimal decimalOf(double value) {
  char text[64];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  Decimal d;
  const std::string s(text, error == std::errc() ? end : text);
  std::size_t at = 0;
  if (at < s.size() && s[at] == '-') {
    d.negative = true;
    ++at;
  }
  const std::size_t e = s.find('e');
  for (; at < e && at < s.size(); ++at) {
    if (s[at] != '.') d.digits += s[at];
  }
  d.firstPlace = e == std::string::npos ? 0 : std::atoi(s.c_str() + e + 1);
  return d;
}

// Adds one to a string of decimal digits; "99" becomes "100".
std::string incremented(std::string digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return digits;
    }
    digits[i] = '0';
  }
  return "1" + digits;
}

// The whole number `digits` times 10^lastPlace, written with -lastPlace decimals.
std::string placed(bool negative, std::string digits, int lastPlace) {
  if (lastPlace > 0) digits.append(static_cast<std::size_t>(lastPlace), '0');
  // Nothing kept above the place (a reading under a U of tens) is 0, not "00".
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
  const std::size_t decimals = lastPlace < 0 ? static_cast<std::size_t>(-lastPlace) : 0;
  if (digits.size() <= decimals) digits.insert(0, decimals - digits.size() + 1, '0');
  if (decimals > 0) digits.insert(digits.size() - decimals, ".");
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  return (negative && !zero ? "-" : "") + digits;
}

}  // namespace

RoundedUncertainty roundUp(double expanded) {
  RoundedUncertainty r;
  if (!(expanded > 0.0) || !std::isfinite(expanded)) return r;
  const Decimal d = decimalOf(expanded);
  std::string kept = d.digits.substr(0, 2);
  if (kept.size() < 2) kept += '0';
  r.lastPlace = d.firstPlace - 1;
  if (d.digits.size() > 2 && d.digits.find_first_not_of('0', 2) != std::string::npos) kept = incremented(kept);
  // 99 rounded up is 100: two significant digits of it are "10", one place up.
  if (kept.size() > 2) {
    kept.pop_back();
    ++r.lastPlace;
  }
  r.text = placed(false, kept, r.lastPlace);
  r.stated = true;
  return r;
}

std::string roundedTo(double value, int lastPlace) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : value > 0 ? "inf" : "-inf";
  const Decimal d = decimalOf(value);
  // Digits kept: those from the first down to lastPlace; the rest decide the last.
  const int keepCount = d.firstPlace - lastPlace + 1;
  if (value == 0.0 || keepCount < 0) return placed(false, "0", lastPlace);
  const auto keep = static_cast<std::size_t>(keepCount);
  std::string kept = d.digits.substr(0, std::min(keep, d.digits.size()));
  kept.resize(keep, '0');
  const std::string rest = d.digits.size() > keep ? d.digits.substr(keep) : std::string();
  // Half to even: above a half rounds away, a half exactly to the even neighbour.
  const bool beyondFive = rest.find_first_not_of('0', 1) != std::string::npos;
  const bool aboveHalf = !rest.empty() && (rest[0] > '5' || (rest[0] == '5' && beyondFive));
  const bool half = !rest.empty() && rest[0] == '5' && !beyondFive;
  const bool odd = !kept.empty() && (kept.back() - '0') % 2 == 1;
  if (kept.empty()) kept = "0";
  if (aboveHalf || (half && odd)) kept = incremented(kept);
  return placed(d.negative, kept, lastPlace);
}

std::string significantDigits(double value) {
  if (!std::isfinite(value)) return std::isnan(value) ? "NaN" : value > 0 ? "inf" : "-inf";
  // to_chars, not printf: the certificate's decimal point is a point in every locale.
  char text[32];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value == 0.0 ? 0.0 : value, std::chars_format::general, 10);
  return std::string(text, error == std::errc() ? end : text);
}

ReportedPoint reportPoint(const PointResult& p) {
  ReportedPoint out;
  const double k = p.uncertainty.coverageFactor;
  const RoundedUncertainty u = roundUp(p.uncertainty.expanded());
  const auto value = [&](double v) { return u.stated ? roundedTo(v, u.lastPlace) : significantDigits(v); };
  out.referenceValue = value(p.referenceValue);
  out.reading = value(p.reading);
  out.error = value(p.error());
  // A limit as the lab set it (0.25 beside a U of 0.9) is stated whole: rounded, it
  // would misstate the tolerance. One worked out from a reading, with many
  // more digits than U's place, is rounded to that place.
  // Never to a place above its first digit, though: a limit of 0.1 beside a U of
  // 98 printed as "±0" would state a tolerance of none.
  if (p.limit && u.stated) {
    const Decimal d = decimalOf(*p.limit);
    const int own = d.firstPlace - static_cast<int>(d.digits.size()) + 1;
    const int place = own >= u.lastPlace - 2 ? std::min(own, u.lastPlace) : u.lastPlace;
    out.limit = roundedTo(*p.limit, *p.limit != 0.0 ? std::min(place, d.firstPlace) : place);
  } else if (p.limit) {
    out.limit = significantDigits(*p.limit);
  }
  out.expanded = u.text;
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, k, std::chars_format::fixed, 2);
  out.coverageFactor = std::string(text, error == std::errc() ? end : text);
  if (std::abs(k - 2.0) > 0.005) {
    const double nu = effectiveDegreesOfFreedom(p.uncertainty);
    if (std::isfinite(nu)) out.effectiveDegrees = std::to_string(static_cast<long long>(std::floor(nu)));
  }
  return out;
}

}  // namespace trimwell::metrology
