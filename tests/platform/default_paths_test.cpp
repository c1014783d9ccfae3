// The files each program keeps its settings and records in. Stations in use have
// them on disk under these names: a changed name would lose an operator's settings
// or start a new records file beside the old one.
#include "platform/default_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
  EXPECT_EQ(p.libraryFolder, GetParam().expected.libraryFolder);
  EXPECT_EQ(p.firmwareFile, GetParam().expected.firmwareFile);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, DefaultPaths,
    ::testing::Values(
        PathsCase{"station", StationProgram::Station, "/home/op/.config/Korvane",
                  {"/home/op/.config/Korvane/LocalMachine.ini", "/home/op/.config/Korvane/CurrentUser.ini",
                   "/srv/station/records.sqlite", "/srv/station/records.sqlite-outbox",
                   "/srv/station/plugins/datasheets", "/srv/station/plugins/datasheets/Dockmon.hex"}},
        // Training takes the station's library, never one in the folder it was started in.
        PathsCase{"simulator", StationProgram::Simulator, "/home/op/.config/Korvane",
                  {"/home/op/.config/Korvane/LocalMachine-sim.ini", "", "/home/op/.config/Korvane/records-sim.sqlite",
                   "", "/srv/station/plugins/datasheets", "/srv/station/plugins/datasheets/Dockmon.hex"}},
        // A script's library is its own folder's, as its lines name it.
        PathsCase{"script", StationProgram::Script, "/tmp/run",
                  {"/tmp/run/LocalMachine.ini", "", "/tmp/run/records.sqlite", "/tmp/run/records-outbox.sqlite", "",
                   ""}},
        PathsCase{"script_in_memory", StationProgram::Script, "", {"", "", ":memory:", "", "", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

// The station folder as trimwell-launch finds it, so that the records lie beside
// the library the launcher seeds.
TEST(StationFolder, TrimwellHomeElseTheUsersDataFolderAlwaysAFullPath) {
  EnvironmentValue noData("XDG_DATA_HOME", nullptr);
  {
    EnvironmentValue home("TRIMWELL_HOME", "/srv/station");
    EXPECT_EQ(stationFolder(), "/srv/station");
    EnvironmentValue relative("TRIMWELL_HOME", "bench/../station");
    EXPECT_EQ(stationFolder(), fullPath("station"));
  }
  EnvironmentValue unset("TRIMWELL_HOME", nullptr);
  EnvironmentValue user("HOME", "/home/op");
  EXPECT_EQ(stationFolder(), "/home/op/.local/share/trimwell");
  EnvironmentValue empty("TRIMWELL_HOME", "");
  EXPECT_EQ(stationFolder(), "/home/op/.local/share/trimwell");
  {
    EnvironmentValue data("XDG_DATA_HOME", "/data/op");
    EXPECT_EQ(stationFolder(), "/data/op/trimwell");
    EnvironmentValue relativeData("XDG_DATA_HOME", "data");
    EXPECT_EQ(stationFolder(), "/home/op/.local/share/trimwell");
  }
  // Without HOME, or with a relative one, the user database names the home.
  for (const char* home : {static_cast<const char*>(nullptr), "op"}) {
    EnvironmentValue noUser("HOME", home);
    EXPECT_EQ(stationFolder().front(), '/') << stationFolder();
  }
}

// The station's folder and files are its owner's alone whatever the umask.
TEST(StationFolder, FolderAndFilesAreTheOwnersAlone) {
  const std::string root = std::filesystem::temp_directory_path() / ("trimwell-private-" + std::to_string(getpid()));
  const mode_t before = umask(0);
  std::string problem;
  ASSERT_TRUE(makePrivateFolder(root + "/station", problem)) << problem;
  EXPECT_EQ(std::filesystem::status(root + "/station").permissions(), std::filesystem::perms::owner_all);
  ASSERT_TRUE(makePrivateFile(root + "/station/records.sqlite", problem)) << problem;
  const auto ownerOnly = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
  EXPECT_EQ(std::filesystem::status(root + "/station/records.sqlite").permissions(), ownerOnly);
  // One made before by a program under the usual umask is taken back, its content kept.
  { std::ofstream(root + "/station/LocalMachine.ini") << "[Options]\n"; }
  chmod((root + "/station/LocalMachine.ini").c_str(), 0664);
  ASSERT_TRUE(makePrivateFile(root + "/station/LocalMachine.ini", problem)) << problem;
  EXPECT_EQ(std::filesystem::status(root + "/station/LocalMachine.ini").permissions(), ownerOnly);
  EXPECT_EQ(std::filesystem::file_size(root + "/station/LocalMachine.ini"), 10u);
  umask(before);
  // A file where the folder should be is said, not taken for one.
  EXPECT_FALSE(makePrivateFolder(root + "/station/records.sqlite", problem));
  EXPECT_NE(problem.find("cannot make the folder"), std::string::npos) << problem;
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace trimwell
