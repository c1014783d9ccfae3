#include "calibration/typed_value.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdint>

#include "platform/format_text.h"

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

// A comma followed by exactly three digits reads one way in Germany and another in
// the US: such a number is refused rather than guessed.
bool ambiguousComma(const std::string& t) {
  const std::size_t comma = t.find(',');
  if (comma == std::string::npos) return false;
  std::size_t digits = 0;
  while (comma + 1 + digits < t.size() && std::isdigit(static_cast<unsigned char>(t[comma + 1 + digits])) != 0) {
    ++digits;
  }
  return digits == 3;
}

TypedRefusal parseDecimal(std::string t, double& value) {
  if (ambiguousComma(t)) return TypedRefusal::kAmbiguousComma;
  std::replace(t.begin(), t.end(), ',', '.');
  const char* begin = t.data();
  if (!t.empty() && t[0] == '+') ++begin;
  // from_chars takes a minus after the plus skipped above: "+-5" would be -5.
  if (begin != t.data() && begin != t.data() + t.size() && (*begin == '-' || *begin == '+')) {
    return TypedRefusal::kTwoSigns;
  }
  // from_chars also reads "inf" and "nan", which are no reference values.
  if (begin == t.data() + t.size() || std::isalpha(static_cast<unsigned char>(*begin)) != 0) {
    return TypedRefusal::kNotANumber;
  }
  if (*begin == '-' && begin + 1 != t.data() + t.size() && (begin[1] == '-' || begin[1] == '+')) {
    return TypedRefusal::kTwoSigns;
  }
  double parsed = 0.0;
  const auto [end, error] = std::from_chars(begin, t.data() + t.size(), parsed);
  if (error != std::errc() || end != t.data() + t.size() || !std::isfinite(parsed)) return TypedRefusal::kNotANumber;
  value = parsed;
  return TypedRefusal::kNone;
}

}  // namespace

bool parseTypedNumber(const std::string& text, bool fixedPoint, double& value, TypedRefusal* refusal) {
  value = 0.0;
  const std::string t = trimmed(text);
  TypedRefusal why = TypedRefusal::kNone;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    if (!parseHex(t.substr(2), fixedPoint, value)) why = TypedRefusal::kNotANumber;
  } else {
    why = parseDecimal(t, value);
  }
  if (why != TypedRefusal::kNone) value = 0.0;
  if (refusal != nullptr) *refusal = why;
  return why == TypedRefusal::kNone;
}

double typedValue(const std::string& text, bool fixedPoint) {
  double value = 0.0;
  parseTypedNumber(text, fixedPoint, value);
  return value;
}

std::string refusalText(TypedRefusal refusal) {
  switch (refusal) {
    case TypedRefusal::kNone: return "is a number";
    case TypedRefusal::kTwoSigns: return "has two signs; type one";
    case TypedRefusal::kAmbiguousComma:
      return "could be read two ways: a comma before three digits may separate thousands or decimals; "
             "type the number without it, or with a decimal point";
    case TypedRefusal::kNotANumber: break;
  }
  return "is not a number";
}

namespace {

bool measurementIdOf(const std::string& item, int& id) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
  if (item.empty() || error != std::errc() || end != item.data() + item.size() || value > 0xFFFF) return false;
  id = static_cast<int>(value);
  return true;
}

}  // namespace

// What was meant by "2;3" or "0x0B" is a guess, and a row added on a guess is a
// wrong calibration: such a list is refused as a whole.
bool readMeasurementIds(const std::string& text, std::vector<int>& ids, std::string& refused) {
  const std::string whole = trimmed(text);
  ids.clear();
  refused.clear();
  if (whole.empty()) return true;
  for (std::size_t at = 0; at <= whole.size();) {
    std::size_t comma = whole.find(',', at);
    if (comma == std::string::npos) comma = whole.size();
    const std::string item = trimmed(whole.substr(at, comma - at));
    int id = 0;
    if (measurementIdOf(item, id)) {
      ids.push_back(id);
    } else {
      refused += (refused.empty() ? "\"" : ", \"") + item + "\"";
    }
    at = comma + 1;
  }
  return refused.empty();
}

std::string measurementIdsRefusal(const std::string& refused) {
  const bool one = refused.find("\", \"") == std::string::npos;
  return formatText("Other Cal Measurement IDs: %s %s (a whole number from 0 to 65535; several are parted by commas); "
                    "no row was added",
                    refused.c_str(), one ? "is not a measurement ID" : "are not measurement IDs");
}

}  // namespace trimwell
