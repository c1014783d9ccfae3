#include "calibration/typed_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace trimwell {
namespace {

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool parseHex(const std::string& digits, bool fixedPoint, double& value) {
  if (digits.empty() || digits.size() > 8) return false;
  std::uint32_t raw = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), raw, 16);
  if (error != std::errc() || end != digits.data() + digits.size()) return false;
  const double signedValue = static_cast<std::int32_t>(raw);
  value = fixedPoint ? signedValue * (1.0 / 65536.0) : signedValue;
  return true;
}

bool parseDecimal(std::string t, double& value) {
  std::replace(t.begin(), t.end(), ',', '.');
  const char* begin = t.data();
  if (!t.empty() && t[0] == '+') ++begin;
  // from_chars also reads "inf" and "nan", which are no reference values.
  if (begin == t.data() + t.size() || std::isalpha(static_cast<unsigned char>(*begin)) != 0) return false;
  double parsed = 0.0;
  const auto [end, error] = std::from_chars(begin, t.data() + t.size(), parsed);
  if (error != std::errc() || end != t.data() + t.size() || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

}  // namespace

bool parseTypedNumber(const std::string& text, bool fixedPoint, double& value) {
  value = 0.0;
  const std::string t = trimmed(text);
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) return parseHex(t.substr(2), fixedPoint, value);
  return parseDecimal(t, value);
}

}  // namespace trimwell
