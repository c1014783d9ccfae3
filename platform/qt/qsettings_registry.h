#pragma once
// The registry layer on QSettings in INI format. Key paths keep the station's names;
// their backslashes become QSettings' '/' so that keys nest as groups. The key's
// default value ("") is stored under the name "Default".

#include <memory>
#include <set>
#include <string>

#include "platform/registry.h"

class QSettings;

namespace trimwell {

class QSettingsRegistry final : public Registry {
 public:
  explicit QSettingsRegistry(const std::string& iniFile);
  ~QSettingsRegistry() override;

  bool createKey(const std::string& path) override;
  bool openKey(const std::string& path) override;
  bool setDword(const std::string& path, const std::string& name, std::uint32_t value) override;
  bool setString(const std::string& path, const std::string& name, const std::u16string& value) override;
  bool queryDword(const std::string& path, const std::string& name, std::uint32_t& value) override;
  bool queryString(const std::string& path, const std::string& name, std::u16string& value) override;
  void flush() override;
  std::string keepingProblem() const override { return problem_; }

  // Where the station keeps its files: $XDG_CONFIG_HOME (or ~/.config) /Korvane/.
  static std::string defaultFolder();

 private:
  bool writable() const;
  // Absent when the file is there but no regular file (a FIFO would block every
  // read): the store then answers every call with false.
  std::unique_ptr<QSettings> settings_;
  std::set<std::string> created_;
  std::string problem_;
};

}  // namespace trimwell
