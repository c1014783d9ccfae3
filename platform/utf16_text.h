#pragma once
// The settings store keeps texts as UTF-16; the station works in UTF-8.

#include <string>

namespace trimwell {

std::u16string utf16Of(const std::string& utf8);
std::string utf8Of(const std::u16string& utf16);

}  // namespace trimwell
