#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace trimwell::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "trimwell-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void TempDir::write(std::string_view name, std::string_view text) const {
  std::filesystem::create_directories((path_ / name).parent_path());
  std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void TempDir::write(std::string_view name, const std::vector<std::uint8_t>& bytes) const {
  write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace trimwell::test
