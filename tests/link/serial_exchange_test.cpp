// The bytes and timeouts of each serial exchange, as a recording port sees them.
#include <gtest/gtest.h>

#include "link/device_link.h"
#include "link/serial_bridge.h"
#include "platform/sleeper.h"
#include "support/recording_port.h"

namespace trimwell {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::RecordingPort;

// A wireless interface as far as the exchanges need one: commands echo their code
// (the version command answers the version), blocks out are acknowledged once their
// data came, and block and datasheet reads answer count bytes 0xA0, 0xA1, ...
class Peer {
 public:
  explicit Peer(std::uint8_t version) : version_(version) {}

  Bytes answer(const Bytes& written) {
    if (expectBlock_ > 0) {
      expectBlock_ = 0;
      return {0xC9};
    }
    if (written.size() != 3) return {};
    const std::size_t count = written[1] | written[2] << 8;
    switch (written[0]) {
      case 0xC9: expectBlock_ = count; return {};
      case 0xC8: case 0x01: return pattern(count);
      case 0xF2: return {version_};
      default: return {written[0]};
    }
  }

 private:
  static Bytes pattern(std::size_t count) {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(0xA0 + i);
    return out;
  }
  std::uint8_t version_;
  std::size_t expectBlock_ = 0;
};

class Exchange : public ::testing::TestWithParam<std::uint8_t> {
 protected:
  Exchange() : peer(GetParam()), sleeperScope(sleeps) {
    port.respond = [this](const Bytes& written) { return peer.answer(written); };
    user.createKey(kVentrixPortKey);
    user.setString(kVentrixPortKey, "", u"ttyWIRELESS");
    previous = installSerialBridge(&bridge);
  }
  ~Exchange() override { installSerialBridge(previous); }

  void connect() {
    ASSERT_TRUE(link.open(kWirelessInterface)) << bridge.lastMessage();
    port.events.clear();
  }
  bool blocks() const { return GetParam() >= SerialBridge::kBlockInterfaceVersion; }
  // The writes that carry n data bytes to the interface, as blocks or as pairs.
  Bytes dataOut(const Bytes& data) const {
    Bytes out;
    if (blocks()) {
      out = {0xC9, static_cast<std::uint8_t>(data.size()), 0};
      out.insert(out.end(), data.begin(), data.end());
      return out;
    }
    for (std::size_t i = 0; i < data.size(); i += 2) {
      const bool pair = i + 1 < data.size();
      out.insert(out.end(), {std::uint8_t{pair ? std::uint8_t{0xC7} : std::uint8_t{0xC6}}, data[i],
                             static_cast<std::uint8_t>(pair ? data[i + 1] : 0)});
    }
    return out;
  }
  static Bytes joined(const std::vector<Bytes>& writes) {
    Bytes out;
    for (const Bytes& w : writes) out.insert(out.end(), w.begin(), w.end());
    return out;
  }

  Peer peer;
  RecordingSleeper sleeps;
  SleeperScope sleeperScope;
  RecordingPort port;
  MemoryRegistry user;
  SerialBridge bridge{port, user};
  SerialBridge* previous = nullptr;
  DeviceLink link;
};

TEST_P(Exchange, DatasheetReadIsOneRequestAndOneTimedRead) {
  connect();
  std::uint8_t data[6] = {};
  ASSERT_TRUE(link.readDatasheet(0, data, sizeof data)) << bridge.lastMessage();
  EXPECT_EQ(port.writes(), (std::vector<Bytes>{{0x01, 6, 0}}));
  EXPECT_EQ(port.events.front().kind, RecordingPort::Event::kPurge);
  EXPECT_EQ(port.writeTimeouts(), (std::vector<std::pair<std::size_t, std::uint32_t>>{{3, 30}}));
  EXPECT_EQ(port.readTimeouts(), (std::vector<std::pair<std::size_t, std::uint32_t>>{{6, 6 * 50}}));
  EXPECT_EQ(port.readIntervals(), std::vector<std::uint32_t>{1000});  // a quiet line ends it
  EXPECT_EQ(Bytes(data, data + 6), (Bytes{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));
}

TEST_P(Exchange, CalibrationWriteSendsItsHeadThenTheData) {
  connect();
  const Bytes block = {1, 2, 3, 4, 5};
  ASSERT_TRUE(link.writeCalibration(0, 1, block.data(), block.size())) << bridge.lastMessage();
  Bytes expected = dataOut({0xC3, 1, 5, 0});
  const Bytes data = dataOut(block);
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(joined(port.writes()), expected);
  for (const auto& [bytes, ms] : port.writeTimeouts()) EXPECT_EQ(ms, bytes * 10) << bytes;
  for (const auto& [asked, ms] : port.readTimeouts()) EXPECT_EQ(ms, blocks() ? 1000u : 500u) << asked;
}

TEST_P(Exchange, CalibrationReadAsksWithCbThenReadsABlock) {
  connect();
  std::uint8_t back[5] = {};
  ASSERT_TRUE(link.readCalibration(0, 1, back, sizeof back)) << bridge.lastMessage();
  Bytes expected = dataOut({0xCB, 1, 5, 0});
  expected.insert(expected.end(), {0xC8, 5, 0});
  EXPECT_EQ(joined(port.writes()), expected);
  const auto reads = port.readTimeouts();
  ASSERT_FALSE(reads.empty());
  EXPECT_EQ(reads.back(), (std::pair<std::size_t, std::uint32_t>{5, 5 * 200}));
  EXPECT_EQ(Bytes(back, back + 5), (Bytes{0xA0, 0xA1, 0xA2, 0xA3, 0xA4}));
}

TEST_P(Exchange, SampleReadSelectsThenReadsABlock) {
  connect();
  ASSERT_TRUE(link.setSampleConfig(0, 100, 4, 0, 0, 0, 0)) << bridge.lastMessage();
  port.events.clear();
  std::uint8_t sample[4] = {};
  ASSERT_TRUE(link.readSample(0, sample, sizeof sample)) << bridge.lastMessage();
  EXPECT_EQ(port.writes(), (std::vector<Bytes>{{0xC6, 0x21, 0}, {0xC8, 4, 0}}));
  EXPECT_EQ(port.readTimeouts(), (std::vector<std::pair<std::size_t, std::uint32_t>>{{1, 500}, {4, 4 * 200}}));
  EXPECT_EQ(port.readIntervals(), (std::vector<std::uint32_t>{0, 1000}));
}

// A late answer left on the line is never taken for the next exchange's data.
TEST_P(Exchange, StaleBytesAreDroppedBeforeEveryAnswer) {
  connect();
  std::uint8_t back[5] = {};
  port.respond = [this](const Bytes& written) {
    Bytes answer = peer.answer(written);
    if (answer.empty() || written[0] == 0xC8) return answer;
    // Every other answer comes with a late tail, still waiting when the next request goes.
    answer.insert(answer.end(), {0x55, 0x55, 0x55, 0x55, 0x55});
    return answer;
  };
  ASSERT_TRUE(link.readCalibration(0, 1, back, sizeof back)) << bridge.lastMessage();
  EXPECT_EQ(Bytes(back, back + 5), (Bytes{0xA0, 0xA1, 0xA2, 0xA3, 0xA4}));
  port.waiting.assign({0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
  std::uint8_t data[6] = {};
  ASSERT_TRUE(link.readDatasheet(0, data, sizeof data)) << bridge.lastMessage();
  EXPECT_EQ(data[0], 0xA0);
}

// The first block's acknowledgement comes twice; the second block gets none. The
// spare byte, still waiting, must not pass for the second block's acknowledgement.
TEST_P(Exchange, LateAcknowledgementIsNotTakenForTheNextBlock) {
  if (!blocks()) GTEST_SKIP() << "interfaces before 0x40 take data in pairs, without acknowledgements";
  connect();
  port.respond = [this](const Bytes& written) {
    const Bytes answer = peer.answer(written);
    if (written.size() == SerialBridge::kBlockSize) return Bytes{0xC9, 0xC9};
    if (written.size() == 10) return Bytes{};
    return answer;
  };
  const Bytes data(SerialBridge::kBlockSize + 10, 0x5A);
  EXPECT_FALSE(link.writeCalibration(0, 1, data.data(), data.size()));
  EXPECT_NE(bridge.lastMessage().find("Read Error: timeout"), std::string::npos) << bridge.lastMessage();
}

TEST_P(Exchange, ShortWritesFail) {
  connect();
  port.shortWrites = true;
  std::uint8_t data[6] = {};
  EXPECT_FALSE(link.readDatasheet(0, data, sizeof data));
  EXPECT_NE(bridge.lastMessage().find("Write error"), std::string::npos) << bridge.lastMessage();
  const Bytes block = {1, 2, 3, 4};
  EXPECT_FALSE(link.writeCalibration(0, 1, block.data(), block.size()));
}

INSTANTIATE_TEST_SUITE_P(Versions, Exchange, ::testing::Values(std::uint8_t{0x30}, std::uint8_t{0x40}),
                         [](const auto& info) { return info.param >= 0x40 ? std::string("blocks") : std::string("pairs"); });

}  // namespace
}  // namespace trimwell
