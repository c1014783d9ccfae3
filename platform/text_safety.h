#pragma once
// Texts from files and stores the station did not make, on their way to a
// terminal or into an identifier: a control character (C0, DEL, C1) can move the
// cursor, retitle the window or hide the rest of a line, and a bidirectional
// control (U+202E...) reorders what is read, while searches and filters still see
// what is stored.

#include <string>
#include <string_view>

namespace trimwell {

// The length of the valid UTF-8 sequence at `at`, or 0: no overlong forms, no
// surrogates, nothing above U+10FFFF, nothing cut short.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

// The text with its control characters, bidirectional controls and line or
// paragraph separators written as escapes ("\x1b", "\u202e"), and each byte that
// is not valid UTF-8 as "\xHH". Tabs and line breaks stay when keepLayout says
// so (a record shown in full), else they are escaped too.
std::string terminalText(std::string_view text, bool keepLayout);

// The first character of the text that has no place in an identifier (a unit,
// a serial number, a certificate number): a control character, or a Unicode
// format character (category Cf: bidirectional controls, zero-width characters,
// soft hyphen, ...), as "U+202E"; empty when there is none.
std::string formatOrControlCharacter(std::string_view text);

// The first control character of the text (a line break excepted, where a text
// has lines), as "U+001B"; empty when there is none.
std::string controlCharacter(std::string_view text);

}  // namespace trimwell
