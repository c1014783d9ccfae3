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

// Bytes as lowercase hexadecimal digits, two per byte, nothing between them.
std::string hexText(const std::uint8_t* bytes, std::size_t count);

}  // namespace trimwell
