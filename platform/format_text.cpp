#include "platform/format_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <clocale>
#include <cstdio>
#include <locale.h>

namespace trimwell {
namespace {

// The station's texts use a decimal point whatever locale the toolkit took from the
// environment: a reading shown as "50,0000" would be read back differently.
locale_t numericCLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

class CNumericScope {
 public:
  CNumericScope() : previous_(numericCLocale() != nullptr ? uselocale(numericCLocale()) : nullptr) {}
  ~CNumericScope() {
    if (previous_ != nullptr) uselocale(previous_);
  }
  CNumericScope(const CNumericScope&) = delete;
  CNumericScope& operator=(const CNumericScope&) = delete;

 private:
  locale_t previous_;
};

}  // namespace

std::string formatTextV(const char* format, std::va_list args) {
  char buffer[kTextBufferSize];
  int written = 0;
  {
    const CNumericScope c;
    written = std::vsnprintf(buffer, sizeof buffer, format, args);
  }
  if (written < 0) return {};
  return buffer;
}

std::string formatText(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = formatTextV(format, args);
  va_end(args);
  return text;
}

std::string hexText(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
  }
  return out;
}

std::string fixedNumber(double value, int decimals, bool withSign) {
  std::string text = formatText(withSign ? "%+.*f" : "%.*f", decimals, value);
  // Only digits, a point and a sign: all zeros is zero, whatever its sign.
  if (text.find_first_of("123456789") == std::string::npos && (text[0] == '-' || text[0] == '+')) {
    text.erase(0, 1);
  }
  return text;
}

std::string exactFixedNumber(double value) {
  const double size = std::fabs(value);
  const bool fixed = std::isfinite(value) && (size == 0.0 || (size >= 1e-15 && size < 1e15));
  char text[64];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, fixed ? std::chars_format::fixed : std::chars_format::general);
  const std::string out = error == std::errc() ? std::string(text, end) : std::string("nan");
  return out == "-0" ? "0" : out;
}

std::string readableNumber(double value, int digits) {
  if (!std::isfinite(value)) return std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf";
  if (value == 0.0) return "0";
  const int firstPlace = static_cast<int>(std::floor(std::log10(std::fabs(value))));
  std::string text = fixedNumber(value, std::clamp(digits - 1 - firstPlace, 0, 10));
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return text == "-0" ? "0" : text;
}

}  // namespace trimwell
