#pragma once
// The registry layer: a tree of keys holding named 32-bit and text values. Key
// paths use '\' as the station's stored names do ("Software\Korvane\Trimwell\...").
// Implementations: QSettings in INI format (Qt) and MemoryRegistry (tests).

#include <cstdint>
#include <map>
#include <string>

namespace trimwell {

class Registry {
 public:
  virtual ~Registry() = default;
  // Create or open with full access.
  virtual bool createKey(const std::string& path) = 0;
  // Open an existing key: false when it does not exist.
  virtual bool openKey(const std::string& path) = 0;
  virtual bool setDword(const std::string& path, const std::string& name, std::uint32_t value) = 0;
  virtual bool setString(const std::string& path, const std::string& name, const std::u16string& value) = 0;
  // "" names the key's default value.
  virtual bool queryDword(const std::string& path, const std::string& name, std::uint32_t& value) = 0;
  virtual bool queryString(const std::string& path, const std::string& name, std::u16string& value) = 0;
  // Makes what was written durable (a store that writes through does nothing).
  virtual void flush() {}
  // Why what is written will not be kept (a store that cannot be written), or "".
  // The store stays silent about it; the station tells the operator once.
  virtual std::string keepingProblem() const { return {}; }
};

class MemoryRegistry final : public Registry {
 public:
  bool createKey(const std::string& path) override;
  bool openKey(const std::string& path) override { return keys_.count(path) != 0; }
  bool setDword(const std::string& path, const std::string& name, std::uint32_t value) override;
  bool setString(const std::string& path, const std::string& name, const std::u16string& value) override;
  bool queryDword(const std::string& path, const std::string& name, std::uint32_t& value) override;
  bool queryString(const std::string& path, const std::string& name, std::u16string& value) override;
  std::string keepingProblem() const override { return failAll ? "the settings store refuses access" : ""; }

  bool failAll = false;  // every call fails, as a store without access would

 private:
  struct Key {
    std::map<std::string, std::uint32_t> dwords;
    std::map<std::string, std::u16string> strings;
  };
  std::map<std::string, Key> keys_;
};

}  // namespace trimwell
