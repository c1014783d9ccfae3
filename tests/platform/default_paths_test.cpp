// The files each program keeps its settings and records in. Stations in use have
// them on disk under these names: a changed name would lose an operator's settings
// or start a new records file beside the old one.
#include "platform/default_paths.h"

#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace trimwell {
namespace {

// Sets an environment variable for one test, and puts back what was there.
class EnvironmentValue {
 public:
  EnvironmentValue(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvironmentValue() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  EnvironmentValue(const EnvironmentValue&) = delete;
  EnvironmentValue& operator=(const EnvironmentValue&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct PathsCase {
  const char* name;
  StationProgram program;
  const char* folder;
  StationPaths expected;
};

class DefaultPaths : public ::testing::TestWithParam<PathsCase> {};

TEST_P(DefaultPaths, NameTheFilesInUse) {
  EnvironmentValue home("TRIMWELL_HOME", "/srv/station");
  const StationPaths p = defaultPaths(GetParam().program, GetParam().folder);
  EXPECT_EQ(p.settingsFile, GetParam().expected.settingsFile);
  EXPECT_EQ(p.userSettingsFile, GetParam().expected.userSettingsFile);
  EXPECT_EQ(p.recordsFile, GetParam().expected.recordsFile);
  EXPECT_EQ(p.recordsOutbox, GetParam().expected.recordsOutbox);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, DefaultPaths,
    ::testing::Values(
        PathsCase{"station", StationProgram::Station, "/home/op/.config/Korvane",
                  {"/home/op/.config/Korvane/LocalMachine.ini", "/home/op/.config/Korvane/CurrentUser.ini",
                   "/srv/station/records.sqlite", "/srv/station/records.sqlite-outbox"}},
        PathsCase{"simulator", StationProgram::Simulator, "/home/op/.config/Korvane",
                  {"/home/op/.config/Korvane/LocalMachine-sim.ini", "", "/home/op/.config/Korvane/records-sim.sqlite",
                   ""}},
        PathsCase{"script", StationProgram::Script, "/tmp/run",
                  {"/tmp/run/LocalMachine.ini", "", "/tmp/run/records.sqlite", "/tmp/run/records-outbox.sqlite"}},
        PathsCase{"script_in_memory", StationProgram::Script, "", {"", "", ":memory:", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

// The station folder as trimwell-launch finds it, so that the records lie beside
// the library the launcher seeds.
TEST(StationFolder, TrimwellHomeElseTheUsersDataFolder) {
  {
    EnvironmentValue home("TRIMWELL_HOME", "/srv/station");
    EXPECT_EQ(stationFolder(), "/srv/station");
  }
  EnvironmentValue unset("TRIMWELL_HOME", nullptr);
  EnvironmentValue user("HOME", "/home/op");
  EXPECT_EQ(stationFolder(), "/home/op/.local/share/trimwell");
  EnvironmentValue empty("TRIMWELL_HOME", "");
  EXPECT_EQ(stationFolder(), "/home/op/.local/share/trimwell");
  EnvironmentValue noUser("HOME", nullptr);
  EXPECT_EQ(stationFolder(), "./.local/share/trimwell");
}

}  // namespace
}  // namespace trimwell
