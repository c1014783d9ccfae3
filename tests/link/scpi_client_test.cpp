// The reference instrument's client: SCPI answers as instruments write them, and
// the client against two instruments over real lines: the bench's own on a
// pseudo-terminal and a loopback port, and a stand-alone meter written for these
// tests, which answers late when told to.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "link/scpi_client.h"
#include "sim/reference_instrument.h"
#include "support/free_port.h"
#include "support/instrument_process.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

struct NumberCase {
  const char* answer;
  bool read;
  double value;  // NaN: read as not a number
};

class ScpiNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ScpiNumber, ReadsTheDecimalFormsAndNothingElse) {
  const NumberCase& c = GetParam();
  double value = -777.0;
  ASSERT_EQ(parseScpiNumber(c.answer, value), c.read) << c.answer;
  if (!c.read) {
    EXPECT_EQ(value, -777.0);
  } else if (std::isnan(c.value)) {
    EXPECT_TRUE(std::isnan(value));
  } else {
    EXPECT_EQ(value, c.value);
  }
}

const double kInf = HUGE_VAL;
INSTANTIATE_TEST_SUITE_P(
    Answers, ScpiNumber,
    ::testing::Values(NumberCase{"20", true, 20.0}, NumberCase{"+2.0013E+01", true, 20.013},
                      NumberCase{"-0.5", true, -0.5}, NumberCase{" 1.5\r", true, 1.5},
                      NumberCase{"1e-3", true, 0.001},
                      // SCPI's own marks for not a number and overflow.
                      NumberCase{"9.91E37", true, NAN}, NumberCase{"+9.9E37", true, kInf},
                      NumberCase{"-9.9E37", true, -kInf}, NumberCase{"", false, 0},
                      NumberCase{"abc", false, 0}, NumberCase{"1.5 C", false, 0}, NumberCase{"1,5", false, 0},
                      NumberCase{"inf", false, 0}, NumberCase{"nan", false, 0}, NumberCase{"1e", false, 0},
                      NumberCase{"0x10", false, 0}, NumberCase{"+-1", false, 0},
                      NumberCase{"1.0,2.0", false, 0}, NumberCase{"#\x7f~ERR", false, 0}));

struct IdentityCase {
  const char* answer;
  bool read;
  const char* serial;
};

class ScpiIdentity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(ScpiIdentity, IsMakerModelSerialAndFirmware) {
  InstrumentIdentity identity;
  ASSERT_EQ(parseIdentity(GetParam().answer, identity), GetParam().read) << GetParam().answer;
  if (GetParam().read) {
    EXPECT_EQ(identity.serial, GetParam().serial);
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, ScpiIdentity,
                         ::testing::Values(IdentityCase{"Brook Metrology,PRT-9,RI-7731,2.04", true, "RI-7731"},
                                           IdentityCase{" Maker , Model , S-1 , ", true, "S-1"},
                                           IdentityCase{"Maker,Model,S-1", false, ""},
                                           IdentityCase{",Model,S-1,1.0", false, ""},
                                           IdentityCase{"Maker,Model,,1.0", false, ""},
                                           IdentityCase{"A,B,C,D,E", false, ""},
                                           IdentityCase{"Maker,Model,S\x1b[2J,1.0", false, ""},
                                           IdentityCase{"+2.0013E+01", false, ""}));

InstrumentLineSettings lineTo(const std::string& location) {
  InstrumentLineSettings settings;
  settings.location = location;
  return settings;
}

// The bench's instrument, on both its lines: who it is, a reading through the
// scale, and each of its faults named as what it is.
class BenchInstrument : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(meter.switchOn());
    meter.setNoise(0);
    meter.setTrueValue(37.25);
    ASSERT_TRUE(line.open(lineTo(GetParam() ? meter.address() : meter.portPath()), 1000)) << line.problem();
  }
  sim::ReferenceInstrument meter;
  InstrumentLine line;
  ScpiClient client{line, 200};
};

TEST_P(BenchInstrument, ReadsAndNamesEachFault) {
  InstrumentIdentity identity;
  std::string problem;
  ASSERT_EQ(client.identify(identity, problem), ReadingFault::None) << problem;
  EXPECT_EQ(identity.serial, sim::ReferenceInstrument::kSerial);
  double value = 0.0;
  ASSERT_EQ(client.read("MEAS?", 1000.0, value, problem), ReadingFault::None) << problem;
  EXPECT_DOUBLE_EQ(value, 37250.0);
  using Mode = sim::ReferenceInstrument::Mode;
  const std::pair<Mode, ReadingFault> faults[] = {{Mode::Garble, ReadingFault::NotANumber},
                                                  {Mode::Error, ReadingFault::InstrumentError},
                                                  {Mode::Silent, ReadingFault::Silent},
                                                  {Mode::Slow, ReadingFault::Silent}};
  for (const auto& [mode, fault] : faults) {
    meter.setMode(mode);
    // Twice: a silent instrument drops the *IDN? the second read resynchronises with.
    for (int twice = 0; twice < 2; ++twice) {
      value = -1.0;
      EXPECT_EQ(client.read("READ?", 1.0, value, problem), fault) << problem;
      EXPECT_EQ(value, -1.0) << "a faulty reading is never handed on";
    }
    meter.setMode(Mode::Normal);
    meter.setTrueValue(40.5);
    // Read again as the poller does; the slow answer comes after all, and is
    // not taken for this reading's.
    ReadingFault again = ReadingFault::Silent;
    for (int tries = 0; tries < 10 && again == ReadingFault::Silent; ++tries) {
      again = client.read("READ?", 1.0, value, problem);
    }
    ASSERT_EQ(again, ReadingFault::None) << problem;
    EXPECT_EQ(value, 40.5);
    meter.setTrueValue(37.25);
  }
  meter.switchOff();
  EXPECT_EQ(client.read("READ?", 1.0, value, problem), ReadingFault::Gone) << problem;
}

INSTANTIATE_TEST_SUITE_P(Lines, BenchInstrument, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "tcp" : "pty"; });

// A meter of another make, on a line of each kind: its first reading comes later
// than the client waits; the next reading is the meter's second, never the late
// first one.
class OtherMeter : public ::testing::TestWithParam<bool> {
 protected:
  std::string start(const std::vector<std::string>& extra) {
    std::vector<std::string> options = extra;
    std::string location;
    if (GetParam()) {
      const int port = test::freeLoopbackPort();
      options.insert(options.end(), {"--listen", std::to_string(port)});
      location = "127.0.0.1:" + std::to_string(port);
    } else {
      location = (folder.path() / "meter").string();
      options.insert(options.end(), {"--pty", location});
    }
    return meter.start(options) ? location : std::string();
  }
  // Starts the meter with its options and connects to it: who it is, in `identity`.
  void connect(const std::vector<std::string>& options, int timeoutMs) {
    const std::string location = start(options);
    ASSERT_FALSE(location.empty());
    ASSERT_TRUE(line.open(lineTo(location), 1000)) << line.problem();
    client = std::make_unique<ScpiClient>(line, timeoutMs);
    std::string problem;
    ASSERT_EQ(client->identify(identity, problem), ReadingFault::None) << problem;
  }
  test::TempDir folder;
  test::InstrumentProcess meter;
  InstrumentLine line;
  std::unique_ptr<ScpiClient> client;
  InstrumentIdentity identity;
};

TEST_P(OtherMeter, ALateAnswerIsNotTakenForTheNextReading) {
  ASSERT_NO_FATAL_FAILURE(connect({"--late-first", "400"}, 100));
  EXPECT_EQ(identity.text(), "Test Bench TI-1, serial TI-0001, firmware 0.1");
  double value = 0.0;
  std::string problem;
  EXPECT_EQ(client->read("READ?", 1.0, value, problem), ReadingFault::Silent);
  EXPECT_EQ(problem, "no answer to READ? within 100 ms");
  // Resynchronised on *IDN?, the late "1" is skipped.
  ReadingFault fault = ReadingFault::Silent;
  for (int tries = 0; tries < 10 && fault == ReadingFault::Silent; ++tries) {
    fault = client->read("READ?", 1.0, value, problem);
  }
  ASSERT_EQ(fault, ReadingFault::None) << problem;
  EXPECT_EQ(value, 2.0);
}

TEST_P(OtherMeter, AnAnswerThatIsNoFiniteNumberIsNeverUsed) {
  for (const char* answer : {"9.91E37", "-9.9E37", "OVLD"}) {
    ASSERT_NO_FATAL_FAILURE(connect({"--answer", answer}, 500));
    double value = -1.0;
    std::string problem;
    const ReadingFault fault = client->read("READ?", 1.0, value, problem);
    EXPECT_EQ(fault, std::string(answer) == "OVLD" ? ReadingFault::NotANumber : ReadingFault::NotFinite) << answer;
    EXPECT_EQ(value, -1.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, OtherMeter, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "tcp" : "pty"; });

}  // namespace
}  // namespace trimwell
