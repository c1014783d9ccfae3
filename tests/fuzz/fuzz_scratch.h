#pragma once
// A fuzz target's own scratch folder, made once per run under /tmp and taken
// away when the run ends.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace trimwell::fuzz {

inline std::string scratchFolder() {
  // A plain array, which outlives every destructor the handler could run after.
  static char folder[] = "/tmp/trimwell-fuzz-XXXXXX";
  static const bool made = [] {
    if (mkdtemp(folder) == nullptr) std::abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    });
    return true;
  }();
  (void)made;
  return folder;
}

}  // namespace trimwell::fuzz
