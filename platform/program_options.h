#pragma once
// What every Trimwell program answers to --help and --version: printed on standard
// output with exit status 0, before it needs a display, a device or a file, so that
// an operator (or a packaging check) can ask any of them on any machine.

#include <ostream>
#include <string>

namespace trimwell {

// The station's version, as its package names it ("1.21").
const char* programVersion();

// Answers --help (with usage) or --version when either is among the arguments, and
// says whether it did; the program then ends with exit status 0.
bool answerHelpOrVersion(int argc, const char* const* argv, const std::string& program, const std::string& usage,
                         std::ostream& out);

// The value after `option` among the arguments, else `otherwise`.
std::string optionValue(int argc, const char* const* argv, const std::string& option, const std::string& otherwise = {});

}  // namespace trimwell
