#include "link/serial_bridge.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "link/device_link.h"
#include "platform/termios_port.h"
#include "sim/wireless_interface.h"
#include "support/sim_fixture.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::u16string utf16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Interface 9 on a pseudo-terminal whose other side is the simulated wireless
// interface, with the port name in a registry of its own.
class Bridge : public ::testing::TestWithParam<std::uint8_t> {
 protected:
  Bridge() : wireless(GetParam()), sleeperScope(sleeps) {
    setPortName(wireless.portPath());
    auto sensor = sim::SimulatedSensor::fromFile(test::sampleImagePath("thermal_probe_221.sds"));
    wireless.plugSensor(std::move(sensor));
    previous = installSerialBridge(&bridge);
  }
  ~Bridge() override { installSerialBridge(previous); }

  void setPortName(const std::string& name) {
    user.createKey(kVentrixPortKey);
    user.setString(kVentrixPortKey, "", utf16(name));
  }
  void openLink() {
    ASSERT_TRUE(wireless.started());
    ASSERT_TRUE(link.open(kWirelessInterface)) << bridge.lastMessage();
    wireless.clearReceived();
  }
  // Waits until the interface has seen count bytes (its thread reads them).
  Bytes received(std::size_t count = 0) {
    for (int i = 0; i < 200 && wireless.received().size() < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return wireless.received();
  }

  sim::WirelessInterface wireless;
  RecordingSleeper sleeps;
  SleeperScope sleeperScope;
  MemoryRegistry user;
  TermiosPort port;
  SerialBridge bridge{port, user};
  SerialBridge* previous = nullptr;
  DeviceLink link;
};

TEST_P(Bridge, ConnectHandshake) {
  ASSERT_TRUE(link.open(kWirelessInterface)) << bridge.lastMessage();
  EXPECT_EQ(received(9), (Bytes{0x84, 0, 0, 0xF2, 0, 0, 0xFA, 0xFF, 0}));
  EXPECT_TRUE(bridge.connected());
  EXPECT_EQ(bridge.interfaceVersion(), GetParam());
  EXPECT_EQ(bridge.portName(), "\\\\.\\" + wireless.portPath());
}

TEST_P(Bridge, DescriptorAndPresence) {
  openLink();
  std::uint16_t vendor = 0, product = 0;
  ASSERT_TRUE(link.getIds(&vendor, &product));
  EXPECT_EQ(vendor, 0x7A3C);
  EXPECT_EQ(product, 0x0007);
  std::uint8_t shortBuffer[17] = {};
  EXPECT_FALSE(link.control(kControlGetDescriptor, nullptr, 0, shortBuffer, sizeof shortBuffer));
  EXPECT_TRUE(link.isAlive());
  EXPECT_TRUE(DeviceLink::probe(kWirelessInterface, true));
  EXPECT_TRUE(received().empty());  // none of this goes down the line
  link.close();
  EXPECT_TRUE(bridge.connected());  // the link's close leaves the port open
}

TEST_P(Bridge, SampleConfigurationAndSampleSize) {
  openLink();
  ASSERT_TRUE(link.setSampleConfig(0, 100, 6, 0, 0, 1, 0));
  EXPECT_EQ(received(3), (Bytes{0x81, 0x84, 0x03}));
  EXPECT_EQ(bridge.sampleSize(), 6);
  wireless.clearReceived();
  std::uint8_t sample[8] = {};
  EXPECT_FALSE(link.readSample(0, sample, 4));
  EXPECT_TRUE(received().empty());
  wireless.withSensor([](sim::SimulatedSensor* s) { s->setInput(1, 2.5); });
  std::size_t returned = 0;
  ASSERT_TRUE(link.readSample(0, sample, 6, &returned));
  EXPECT_EQ(returned, 6u);
  EXPECT_EQ(sample[2], 0x02);  // 2.5 in 16.16
  EXPECT_EQ(sample[1], 0x80);
}

TEST_P(Bridge, SensorCommandForms) {
  openLink();
  ASSERT_TRUE(link.sendSensorCommand(0, 6));
  EXPECT_EQ(received(3), (Bytes{0xC6, 0x06, 0x00}));
  wireless.clearReceived();
  ASSERT_TRUE(link.sendGain(0, 221, 2));
  EXPECT_EQ(received(3), (Bytes{0xC7, 0x09, 100}));
  int gain = 0;
  wireless.withSensor([&](sim::SimulatedSensor* s) { gain = s->lastGainCode; });
  EXPECT_EQ(gain, 100);
  ASSERT_TRUE(link.sendGain(0, 235, 3));  // two data bytes after a 50 ms pause
  wireless.withSensor([&](sim::SimulatedSensor* s) { gain = s->lastGainCode; });
  EXPECT_EQ(gain, 0x0120);
  EXPECT_EQ(sleeps.waits, std::vector<std::uint32_t>{50});
}

TEST_P(Bridge, SendDataInBlocksOrPairs) {
  openLink();
  Bytes image(45);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i + 1);
  ASSERT_TRUE(link.writeDatasheet(0, image.data(), image.size())) << bridge.lastMessage();
  Bytes expected;
  if (GetParam() >= 0x40) {
    expected = {0xC9, 3, 0, 0x02, 45, 0};
    for (std::size_t at = 0; at < 45; at += 20) {
      const std::size_t n = std::min<std::size_t>(20, 45 - at);
      expected.insert(expected.end(), {0xC9, static_cast<std::uint8_t>(n), 0});
      expected.insert(expected.end(), image.begin() + static_cast<long>(at), image.begin() + static_cast<long>(at + n));
    }
  } else {
    expected = {0xC7, 0x02, 45, 0xC6, 0, 0};
    for (std::size_t at = 0; at + 1 < 45; at += 2) expected.insert(expected.end(), {0xC7, image[at], image[at + 1]});
    expected.insert(expected.end(), {0xC6, image[44], 0});
  }
  EXPECT_EQ(received(expected.size()), expected);
  Bytes stored;
  wireless.withSensor([&](sim::SimulatedSensor* s) { stored = s->storedImage(); });
  EXPECT_EQ(stored, image);
}

TEST_P(Bridge, DatasheetAndCalibrationRoundTrip) {
  openLink();
  Bytes head(8, 0);
  std::size_t returned = 0;
  ASSERT_TRUE(link.readDatasheet(0, head.data(), head.size(), &returned));
  EXPECT_EQ(head[0], 221);
  EXPECT_EQ(link.readSensorId(0), 221);
  const std::size_t length = head[4] | head[5] << 8;
  Bytes image(length);
  ASSERT_TRUE(link.readDatasheet(0, image.data(), image.size(), &returned));
  Datasheet d;
  EXPECT_TRUE(d.decode(image.data(), image.size()));

  Bytes block(32);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(0xA0 + i);
  ASSERT_TRUE(link.writeCalibration(0, 1, block.data(), block.size()));
  Bytes back(32, 0);
  ASSERT_TRUE(link.readCalibration(0, 1, back.data(), back.size(), &returned));
  EXPECT_EQ(back, block);
  EXPECT_EQ(link.isSensorAttached(0), 1);
  int major = -1, minor = -1;
  char text[10] = {};
  ASSERT_TRUE(link.readInterfaceVersion(&major, &minor, text, 7));
  EXPECT_EQ(major, static_cast<std::int8_t>(GetParam()));
  EXPECT_EQ(std::string(text, 7), "Ventrix");
}

// An acknowledgement later than the bridge waits for (the head's, or a data
// block's) fails its write; the next write still lands where it belongs, and the
// read-back gives it whole. Without the rest of the cut transfer sent first, the
// interface took the next write's head and data for that rest.
TEST_P(Bridge, LateAcknowledgementLeavesTheNextWriteInItsPlace) {
  if (GetParam() < SerialBridge::kBlockInterfaceVersion) GTEST_SKIP() << "pairs carry no block acknowledgements";
  for (const int late : {0, 1}) {
    SCOPED_TRACE(late == 0 ? "the head's acknowledgement late" : "the first data block's late");
    openLink();
    Bytes first(48, 0x11), second(48);
    for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<std::uint8_t>(0xA0 + i + late);
    wireless.holdAckNext(late);
    EXPECT_FALSE(link.writeCalibration(0, 1, first.data(), first.size()));
    EXPECT_NE(bridge.lastMessage().find("timeout"), std::string::npos) << bridge.lastMessage();
    // Released only now: later than the bridge's wait, however long that is.
    wireless.releaseAck();
    ASSERT_TRUE(link.writeCalibration(0, 1, second.data(), second.size())) << bridge.lastMessage();
    Bytes stored;
    wireless.withSensor([&](sim::SimulatedSensor* s) { stored = s->calibration(); });
    ASSERT_GE(stored.size(), second.size());
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + static_cast<long>(second.size())), second);
    Bytes back(second.size(), 0);
    std::size_t returned = 0;
    ASSERT_TRUE(link.readCalibration(0, 1, back.data(), back.size(), &returned)) << bridge.lastMessage();
    EXPECT_EQ(back, second);
    link.close();
  }
}

TEST_P(Bridge, UnimplementedRequests) {
  openLink();
  EXPECT_FALSE(link.setSensorPower(true));
  EXPECT_EQ(bridge.lastMessage(), "Unimplemented vendor request: 0xfa");
  EXPECT_FALSE(link.vendorRead(0x55, 0, 0, nullptr, 0));
  EXPECT_EQ(bridge.lastMessage(), "Unimplemented vendor request: 0x55");
  EXPECT_FALSE(link.holdInterfaceProcessor(true));
  EXPECT_EQ(bridge.lastMessage(), "Unimplemented vendor request: 0xa0");
  EXPECT_FALSE(link.control(0x222000, nullptr, 0, nullptr, 0));
  EXPECT_EQ(bridge.lastMessage(), "Unimplemented io control: 0x222000");
  EXPECT_TRUE(received().empty());
}

TEST_P(Bridge, PortStatusFailureDropsTheInterface) {
  openLink();
  wireless.leaveUnanswered(0xF1);
  EXPECT_EQ(link.isSensorAttached(0), 0);
  EXPECT_FALSE(bridge.connected());
  EXPECT_FALSE(link.isAlive());
}

TEST_P(Bridge, SilentPeerFailsWithinTheTimeouts) {
  openLink();
  wireless.setSilent(true);
  const auto start = std::chrono::steady_clock::now();
  std::uint8_t head[4];
  EXPECT_FALSE(link.readDatasheet(0, head, sizeof head));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took, std::chrono::milliseconds(4 * 50 + 30 + 500));
  EXPECT_NE(bridge.lastMessage().find("Read Error: timeout"), std::string::npos);
}

TEST_P(Bridge, WrongAcknowledgementOrGarbageFails) {
  openLink();
  if (GetParam() >= 0x40) {
    wireless.wrongAckNext();
    const Bytes data(5, 7);
    EXPECT_FALSE(link.writeCalibration(0, 1, data.data(), data.size()));
  }
  wireless.setSilent(true);
  wireless.sendGarbage(3);
  std::uint8_t head[8] = {};
  std::size_t returned = 0;
  EXPECT_FALSE(link.readDatasheet(0, head, sizeof head, &returned));
  EXPECT_EQ(returned, 0u);
}

TEST_P(Bridge, ChangedPortNameDisconnectsFirst) {
  // A handshake that got no answer leaves the port open and the bridge connecting.
  wireless.leaveUnanswered(0xF2);
  EXPECT_EQ(bridge.connect(false), kInvalidHandle);
  EXPECT_TRUE(port.isOpen());
  EXPECT_TRUE(bridge.connecting());
  EXPECT_EQ(bridge.connect(false), kInvalidHandle);  // at once, without another try
  sim::WirelessInterface other(GetParam());
  setPortName(other.portPath());
  EXPECT_NE(bridge.connect(true), kInvalidHandle) << bridge.lastMessage();
  EXPECT_EQ(bridge.portName(), "\\\\.\\" + other.portPath());
  EXPECT_TRUE(bridge.connected());
  EXPECT_FALSE(other.received().empty());
}

TEST_P(Bridge, RenamedWhileConnectedClosesTheOldPort) {
  openLink();
  // A connected bridge answers from its port; the name is read again on the next connect.
  bridge.disconnect();
  EXPECT_EQ(received(3), (Bytes{0xFA, 0, 0}));  // power off on the way out
  setPortName("");
  EXPECT_FALSE(link.open(kWirelessInterface));
  EXPECT_FALSE(DeviceLink::probe(kWirelessInterface, false));
}

// The line belongs to the station that opened it: a second program's connect fails
// at the open, with the port named, and sends nothing on the line.
TEST_P(Bridge, SecondProgramCannotOpenTheLine) {
  openLink();
  TermiosPort otherPort;
  MemoryRegistry otherUser;
  otherUser.createKey(kVentrixPortKey);
  otherUser.setString(kVentrixPortKey, "", utf16(wireless.portPath()));
  SerialBridge other(otherPort, otherUser);
  EXPECT_EQ(other.connect(false), kInvalidHandle);
  EXPECT_EQ(other.lastMessage(),
            "Failed to open \\\\.\\" + wireless.portPath() + ": " + systemErrorText(EBUSY) + "(" +
                std::to_string(EBUSY) + ")");
  EXPECT_TRUE(received().empty());
  EXPECT_TRUE(link.isAlive());
  // Once the station lets go, the line can be taken.
  bridge.disconnect();
  EXPECT_NE(other.connect(true), kInvalidHandle) << other.lastMessage();
}

INSTANTIATE_TEST_SUITE_P(Versions, Bridge, ::testing::Values(std::uint8_t{0x30}, std::uint8_t{0x40}),
                         [](const auto& info) { return info.param >= 0x40 ? std::string("blocks") : std::string("pairs"); });

TEST(BridgeWithoutPort, MissingValueLeavesInterface9Absent) {
  MemoryRegistry user;
  TermiosPort port;
  SerialBridge bridge(port, user);
  SerialBridge* previous = installSerialBridge(&bridge);
  EXPECT_FALSE(DeviceLink::probe(kWirelessInterface, true));
  // A failed connect leaves "connecting" set: later connects fail at once until a
  // disconnect clears it.
  EXPECT_TRUE(bridge.connecting());
  user.createKey(kVentrixPortKey);
  user.setString(kVentrixPortKey, "", u"ttyDoesNotExist9");
  EXPECT_EQ(bridge.connect(true), kInvalidHandle);
  EXPECT_EQ(bridge.lastMessage().rfind("Failed to open \\\\.\\ttyDoesNotExist9: ", 0), 0u);
  EXPECT_EQ(bridge.portName(), "");
  installSerialBridge(previous);
}

// A port that only echoes: a FIFO, whose reader gets what its writer put in, or a
// pseudo-terminal whose far side sends back every byte it gets.
class EchoingPort {
 public:
  explicit EchoingPort(bool fifo) {
    if (fifo) {
      path_ = folder_.file("wireless-fifo");
      if (mkfifo(path_.c_str(), 0600) != 0) path_.clear();
      return;
    }
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    path_ = ptsname(master_);
    echo_ = std::jthread([this](std::stop_token stop) {
      std::uint8_t bytes[64];
      while (!stop.stop_requested()) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) continue;
        const ssize_t n = ::read(master_, bytes, sizeof bytes);
        if (n > 0 && ::write(master_, bytes, static_cast<std::size_t>(n)) != n) return;
      }
    });
  }
  ~EchoingPort() {
    echo_ = {};  // stopped and joined before the line goes
    if (master_ >= 0) ::close(master_);
  }
  const std::string& path() const { return path_; }

 private:
  test::TempDir folder_;
  std::string path_;
  int master_ = -1;
  std::jthread echo_;
};

class EchoOnly : public ::testing::TestWithParam<bool> {};

TEST_P(EchoOnly, IsNoInterface) {
  EchoingPort echo(GetParam());
  ASSERT_FALSE(echo.path().empty());
  RecordingSleeper sleeps;
  SleeperScope sleeperScope(sleeps);
  MemoryRegistry user;
  user.createKey(kVentrixPortKey);
  user.setString(kVentrixPortKey, "", utf16(echo.path()));
  TermiosPort port;
  SerialBridge bridge(port, user);
  SerialBridge* previous = installSerialBridge(&bridge);
  EXPECT_FALSE(DeviceLink::probe(kWirelessInterface, true));
  EXPECT_FALSE(bridge.connected());
  EXPECT_FALSE(port.isOpen());
  EXPECT_NE(bridge.lastMessage().find("only echoes what is sent to it"), std::string::npos) << bridge.lastMessage();
  installSerialBridge(previous);
}

INSTANTIATE_TEST_SUITE_P(Ports, EchoOnly, ::testing::Bool(),
                         [](const auto& info) { return info.param ? std::string("fifo") : std::string("pty"); });

}  // namespace
}  // namespace trimwell
