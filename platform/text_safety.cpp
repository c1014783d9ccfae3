#include "platform/text_safety.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>

namespace trimwell {
namespace {

// One code point of UTF-8 at `at`, with its length; length 0 for a byte that does
// not start a valid sequence.
struct Decoded {
  char32_t code = 0;
  std::size_t length = 0;
};

Decoded decode(std::string_view text, std::size_t at) {
  const std::size_t length = utf8SequenceLength(text, at);
  if (length == 0) return {};
  const auto first = static_cast<unsigned char>(text[at]);
  char32_t code = length == 1 ? first : first & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  return {code, length};
}

// Unicode's format characters (general category Cf), as ranges.
constexpr std::pair<char32_t, char32_t> kFormat[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F}};

bool isFormat(char32_t c) {
  return std::any_of(std::begin(kFormat), std::end(kFormat),
                     [c](const auto& range) { return c >= range.first && c <= range.second; });
}

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// What reorders or breaks a terminal's line: bidirectional controls and the line
// and paragraph separators.
bool movesText(char32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
         c == 0x2028 || c == 0x2029;
}

std::string escaped(const char* format, unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
  }
  return length;
}

std::string terminalText(std::string_view text, bool keepLayout) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const Decoded d = decode(text, at);
    if (d.length == 0) {
      out += escaped("\\x%02x", static_cast<unsigned char>(text[at]));
      ++at;
      continue;
    }
    const bool layout = d.code == '\t' || d.code == '\n';
    if (keepLayout && layout) {
      out += static_cast<char>(d.code);
    } else if (d.code < 0x80 && isControl(d.code)) {
      out += escaped("\\x%02x", static_cast<unsigned>(d.code));
    } else if (isControl(d.code) || movesText(d.code)) {
      out += escaped("\\u%04x", static_cast<unsigned>(d.code));
    } else {
      out.append(text.substr(at, d.length));
    }
    at += d.length;
  }
  return out;
}

std::string formatOrControlCharacter(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const Decoded d = decode(text, at);
    if (d.length == 0) return escaped("byte 0x%02X", static_cast<unsigned char>(text[at]));
    if (isControl(d.code) || isFormat(d.code)) return escaped("U+%04X", static_cast<unsigned>(d.code));
    at += d.length;
  }
  return {};
}

std::string controlCharacter(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const Decoded d = decode(text, at);
    if (d.length == 0) return escaped("byte 0x%02X", static_cast<unsigned char>(text[at]));
    if (isControl(d.code) && d.code != '\n') return escaped("U+%04X", static_cast<unsigned>(d.code));
    at += d.length;
  }
  return {};
}

}  // namespace trimwell
