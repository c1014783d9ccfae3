// The reference instrument as the station uses it: its settings as kept, the
// poller against a meter process that is stopped and started again (on a
// loopback port and on a pseudo-terminal behind a link), and a reading used only
// from an instrument the register names.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "app/reference_source.h"
#include "platform/termios_port.h"
#include "support/free_port.h"
#include "support/instrument_process.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

struct SettingsCase {
  const char* what;
  void (*change)(ReferenceSettings&);
  const char* problem;  // "" when the settings are sound
};

class ReferenceSettingsCheck : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(ReferenceSettingsCheck, AreKeptWhenSoundAndRefusedWithTheReason) {
  ReferenceSettings s;
  s.line.location = "/dev/ttyUSB0";
  GetParam().change(s);
  EXPECT_EQ(referenceSettingsProblem(s), GetParam().problem);
  if (*GetParam().problem != '\0') return;
  MemoryRegistry registry;
  ASSERT_TRUE(saveReferenceSettings(registry, s));
  EXPECT_EQ(loadReferenceSettings(registry), s);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ReferenceSettingsCheck,
    ::testing::Values(
        SettingsCase{"defaults", [](ReferenceSettings&) {}, ""},
        SettingsCase{"a network meter", [](ReferenceSettings& s) { s.line.location = "meter.lab:5025"; s.line.baud = 7; }, ""},
        SettingsCase{"every field", [](ReferenceSettings& s) {
                       s.line.baud = 115200;
                       s.line.parity = LineParity::Odd;
                       s.line.lineEnding = "\r\n";
                       s.query = "MEAS:TEMP?";
                       s.unit = "K";
                       s.scale = 0.001;
                       s.timeoutMs = 2500;
                       s.periodMs = 250;
                     }, ""},
        SettingsCase{"a rate no line takes", [](ReferenceSettings& s) { s.line.baud = 7; },
                     "7 baud is not a rate a serial line takes (1200 to 230400)"},
        SettingsCase{"no query", [](ReferenceSettings& s) { s.query.clear(); },
                     "The query for a reading must be one SCPI command, such as READ?"},
        SettingsCase{"two queries", [](ReferenceSettings& s) { s.query = "READ?\nSYST:ERR?"; },
                     "The query for a reading must be one SCPI command, such as READ?"},
        SettingsCase{"a scale of 0", [](ReferenceSettings& s) { s.scale = 0; },
                     "The scale factor must be a finite number other than 0"},
        SettingsCase{"a scale not finite", [](ReferenceSettings& s) { s.scale = HUGE_VAL; },
                     "The scale factor must be a finite number other than 0"},
        SettingsCase{"no timeout", [](ReferenceSettings& s) { s.timeoutMs = 0; },
                     "The timeout must lie between 10 ms and 60 s"},
        SettingsCase{"a port out of range", [](ReferenceSettings& s) { s.line.location = "localhost:99999"; },
                     "\"localhost:99999\" is neither a serial port nor a network address HOST:PORT with a port from "
                     "1 to 65535"},
        SettingsCase{"no host", [](ReferenceSettings& s) { s.line.location = ":5025"; },
                     "\":5025\" is neither a serial port nor a network address HOST:PORT with a port from 1 to 65535"}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

// A scale kept by hand in the settings file: a decimal comma reads, anything else
// is not taken for 1 but refused.
TEST(ReferenceSettingsKept, AScaleThatIsNoNumberIsRefusedNotTakenForOne) {
  for (const auto& [kept, scale] : {std::pair{"0,5", 0.5}, std::pair{"2.5e-3", 0.0025}, std::pair{"abc", std::nan("")}}) {
    MemoryRegistry registry;
    ReferenceSettings s;
    s.line.location = "/dev/ttyUSB0";
    ASSERT_TRUE(saveReferenceSettings(registry, s));
    registry.setString(kReferenceKey, "Scale", std::u16string(kept, kept + std::strlen(kept)));
    const ReferenceSettings loaded = loadReferenceSettings(registry);
    if (std::isnan(scale)) {
      EXPECT_TRUE(std::isnan(loaded.scale)) << kept;
      EXPECT_EQ(referenceSettingsProblem(loaded), "The scale factor must be a finite number other than 0");
    } else {
      EXPECT_EQ(loaded.scale, scale) << kept;
    }
  }
}

metrology::StandardEntry registered(const std::string& identification) {
  metrology::StandardEntry e;
  e.name = "TI-meter";
  e.identification = identification;
  e.unit = "°C";
  e.uncertainty = {0.02, 0, 2};
  return e;
}

// Polls until the source's state answers `until`, or fails after 10 s.
bool awaitState(ReferenceSource& source, const std::vector<metrology::StandardEntry>& standards,
                const std::function<bool(const ReferenceSnapshot&)>& until) {
  for (int polls = 0; polls < 200; ++polls) {
    const ReferenceSnapshot now = source.poller().snapshot();
    if (until(now)) {
      source.refresh(standards);
      return true;
    }
    if (!source.poller().awaitPolls(1, std::chrono::seconds(10))) return false;
  }
  return false;
}

class MeterComesAndGoes : public ::testing::TestWithParam<bool> {
 protected:
  std::vector<std::string> options() const {
    return GetParam() ? std::vector<std::string>{"--listen", std::to_string(port)}
                      : std::vector<std::string>{"--pty", link};
  }
  test::TempDir folder;
  int port = test::freeLoopbackPort();
  std::string link = (folder.path() / "meter").string();
  test::InstrumentProcess meter;
  MemoryRegistry registry;
  ReferenceSource source{registry};
};

TEST_P(MeterComesAndGoes, IsFoundAgainWhenItComesBack) {
  ASSERT_TRUE(meter.start(options()));
  ReferenceSettings settings;
  settings.line.location = GetParam() ? "127.0.0.1:" + std::to_string(port) : link;
  settings.timeoutMs = 200;
  settings.periodMs = 10;
  settings.retryMs = 20;
  std::string problem;
  ASSERT_TRUE(source.choose(settings, problem)) << problem;
  const std::vector<metrology::StandardEntry> standards{registered("TI-0001")};
  const auto reading = [](const ReferenceSnapshot& s) { return s.connected && s.recent.size() == ReferencePoller::kWindow; };
  ASSERT_TRUE(awaitState(source, standards, reading));
  ReferenceTake take;
  ASSERT_TRUE(source.take(take, problem)) << problem;
  EXPECT_EQ(take.instrument, "Test Bench TI-1, serial TI-0001, firmware 0.1");
  EXPECT_EQ(take.reading.utcTime.size(), 24u) << take.reading.utcTime;
  // Stopped: its readings stop being used, and the reason says it went.
  meter.stop();
  ASSERT_TRUE(awaitState(source, standards, [](const ReferenceSnapshot& s) { return !s.connected; }));
  EXPECT_FALSE(source.take(take, problem));
  EXPECT_NE(problem.find("is gone"), std::string::npos) << problem;
  // Started again (on a new pseudo-terminal behind the same link): found again.
  ASSERT_TRUE(meter.start(options()));
  ASSERT_TRUE(awaitState(source, standards, reading));
  EXPECT_TRUE(source.take(take, problem)) << problem;
  // Read in another unit than its entry states: refused, naming both.
  settings.unit = "K";
  ASSERT_TRUE(source.choose(settings, problem)) << problem;
  ASSERT_TRUE(awaitState(source, standards, reading));
  EXPECT_FALSE(source.take(take, problem));
  EXPECT_NE(problem.find("readings are in K, and its register entry TI-meter states °C"), std::string::npos) << problem;
  settings.unit = "°C";
  ASSERT_TRUE(source.choose(settings, problem)) << problem;
  ASSERT_TRUE(awaitState(source, standards, reading));
  EXPECT_TRUE(source.take(take, problem)) << problem;
  // A meter the register does not name gives nothing.
  source.refresh({registered("TI-9999")});
  EXPECT_FALSE(source.take(take, problem));
  EXPECT_NE(problem.find("is not in the register of reference standards: add it, identified as TI-0001"),
            std::string::npos)
      << problem;
}

// A meter on a pseudo-terminal behind a link.
class ReferencePort : public ::testing::Test {
 protected:
  test::TempDir folder;
  const std::string link = (folder.path() / "meter").string();
  test::InstrumentProcess meter;
  MemoryRegistry registry;
  ReferenceSource source{registry};
};

// A port that cannot be opened is named as the wireless port's is, and the source
// gives nothing: one not there, and one another program holds.
TEST_F(ReferencePort, ThatCannotBeOpenedSaysWhy) {
  ASSERT_TRUE(meter.start({"--pty", link}));
  TermiosPort holder;
  ASSERT_TRUE(holder.open(link)) << holder.lastError();
  const std::pair<std::string, const char*> cases[] = {
      {(folder.path() / "no-such-meter").string(), "there is no such port. Is its adapter plugged in?"},
      {link, "another program is using it."}};
  for (const auto& [where, words] : cases) {
    ReferenceSettings settings;
    settings.line.location = where;
    settings.retryMs = 20;
    std::string problem;
    ASSERT_TRUE(source.choose(settings, problem)) << problem;
    ASSERT_TRUE(awaitState(source, {}, [](const ReferenceSnapshot& s) { return s.polls > 0; }));
    ReferenceTake take;
    EXPECT_FALSE(source.take(take, problem));
    EXPECT_NE(problem.find("Cannot open the reference instrument's port " + where + ": " + words), std::string::npos)
        << problem;
  }
}

// Chosen by its /dev/pts name rather than a link: once closed, that name is the next
// program's, and the station's queries must not go there.
TEST_F(ReferencePort, APseudoTerminalThatClosedIsNotOpenedAgain) {
  ASSERT_TRUE(meter.start({"--pty", link}));
  ReferenceSettings settings;
  settings.line.location = std::filesystem::canonical(link).string();
  ASSERT_TRUE(isPseudoTerminal(settings.line.location)) << settings.line.location;
  settings.timeoutMs = 200;
  settings.periodMs = 10;
  settings.retryMs = 20;
  std::string problem;
  ASSERT_TRUE(source.choose(settings, problem)) << problem;
  ASSERT_TRUE(awaitState(source, {}, [](const ReferenceSnapshot& s) { return s.connected; }));
  meter.stop();
  ASSERT_TRUE(awaitState(source, {}, [](const ReferenceSnapshot& s) { return s.givenUp; }));
  const std::string words = "Cannot open the reference instrument's port " + settings.line.location +
                            " again: it was a pseudo-terminal, and a new one by that name belongs to another program.";
  ReferenceTake take;
  EXPECT_FALSE(source.take(take, problem));
  EXPECT_NE(problem.find(words), std::string::npos) << problem;
  EXPECT_EQ(source.stripLine().rfind(words, 0), 0u) << source.stripLine();
  EXPECT_EQ(source.stripLine().find("tried again"), std::string::npos) << source.stripLine();
}

INSTANTIATE_TEST_SUITE_P(Lines, MeterComesAndGoes, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "tcp" : "pty"; });

}  // namespace
}  // namespace trimwell
