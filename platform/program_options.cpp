#include "platform/program_options.h"

#include <string_view>

namespace trimwell {

const char* programVersion() { return TRIMWELL_VERSION; }

bool answerHelpOrVersion(int argc, const char* const* argv, const std::string& program, const std::string& usage,
                         std::ostream& out) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      out << usage << "\n\n  --help     show this text and exit\n  --version  show the version and exit\n";
      return true;
    }
    if (arg == "--version") {
      out << program << " (Trimwell) " << programVersion() << "\n";
      return true;
    }
  }
  return false;
}

std::string optionValue(int argc, const char* const* argv, const std::string& option, const std::string& otherwise) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (option == argv[i]) return argv[i + 1];
  }
  return otherwise;
}

}  // namespace trimwell
