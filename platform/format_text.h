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

// Bytes as lowercase hexadecimal digits, two per byte, nothing between them.
std::string hexText(const std::uint8_t* bytes, std::size_t count);

}  // namespace trimwell
