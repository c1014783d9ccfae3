#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace trimwell::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(std::string_view name) const { return (path_ / name).string(); }
  void write(std::string_view name, std::string_view text) const;
  void write(std::string_view name, const std::vector<std::uint8_t>& bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace trimwell::test
