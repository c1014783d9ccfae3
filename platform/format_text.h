#pragma once
// printf-style formatting into the station's 1024-byte text buffer: a longer text is
// cut, never overrun. Numbers are written with a decimal point in every locale.

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

namespace trimwell {

constexpr std::size_t kTextBufferSize = 1024;

std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatTextV(const char* format, std::va_list args);

// A number with a fixed count of decimals, never in e-notation, and never as
// "-0.0000": a value that rounds to zero is shown without a sign. withSign puts
// "+" before a positive value (an error, a difference).
std::string fixedNumber(double value, int decimals, bool withSign = false);

// A number for a person to compare: `digits` significant digits in fixed notation
// ("0.0000610352", "1234.57"), never e-notation nor "-0", no trailing zeros, and
// at most ten decimals (an error of 4e-15 is a zero's rounding, shown as 0).
std::string readableNumber(double value, int digits = 6);

// Every digit that reads back to the same double, in fixed notation
// (0.00006103515625, not 6.103515625e-05) with a decimal point in any locale;
// e-notation only where fixed would run past 15 places either side.
std::string exactFixedNumber(double value);

// Bytes as lowercase hexadecimal digits, two per byte, nothing between them.
std::string hexText(const std::uint8_t* bytes, std::size_t count);

}  // namespace trimwell
