#pragma once
// Text values of datasheet images and their character conversions.
//
// Datasheet images hold 8-bit texts in the Windows-1252 code page (so files made on
// the sensors' original platform read back unchanged) and 16-bit texts as UTF-16.
// In memory every text is UTF-16 with a capacity in characters.

#include <cstddef>
#include <memory_resource>
#include <string>
#include <string_view>

namespace trimwell {

// The characters live in the memory a datasheet gives its texts (one block for all
// of an image's texts), or on the heap for a text made anywhere else. A copy is
// always a heap text.
using Text16 = std::pmr::u16string;

struct TextValue {
  static constexpr std::size_t kDefaultCapacity = 255;

  TextValue() = default;
  explicit TextValue(std::pmr::memory_resource* storage) : text(storage) {}

  Text16 text;
  // Room for the characters plus a terminator: at most capacity - 1 characters
  // come back from an image.
  std::size_t capacity = kDefaultCapacity;
};

// Windows-1252 bytes to UTF-16. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the code point of the same value.
char16_t fromCodePage(unsigned char byte);
std::u16string fromCodePage(std::string_view bytes);

// UTF-16 to Windows-1252. A character the code page cannot hold becomes '?'.
unsigned char toCodePage(char16_t ch);
std::string toCodePage(std::u16string_view text);

// UTF-8 for the file tools. fromUtf8 answers false on malformed input.
std::string toUtf8(std::u16string_view text);
bool fromUtf8(std::string_view utf8, std::u16string& out);
bool fromUtf8(std::string_view utf8, Text16& out);

}  // namespace trimwell
