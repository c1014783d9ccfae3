#include <array>
#include <functional>

#include <gtest/gtest.h>

#include "link/device_link.h"
#include "support/sim_fixture.h"

namespace trimwell {
namespace {

using Bytes = std::vector<std::uint8_t>;

class CommandSet : public test::SimFixture {
 protected:
  void SetUp() override {
    interface = &plugInterface(0);
    sensor = &plugSensor(*interface);
    ASSERT_TRUE(link.open(0));
  }
  const sim::LoggedRequest& last() const { return interface->log.back(); }

  sim::SimulatedInterface* interface = nullptr;
  sim::SimulatedSensor* sensor = nullptr;
  DeviceLink link;
};

struct WireCase {
  const char* name;
  std::function<bool(DeviceLink&)> send;
  int request;
  int value;
  int index;
  int direction;
  std::size_t length;
  Bytes data;  // for writes: the bytes sent
  bool writesEeprom = false;  // the block tells the driver so
};

std::uint8_t scratch[128];
const std::uint8_t kCal[4] = {1, 2, 3, 4};
const std::uint8_t kImage[7] = {9, 8, 7, 6, 5, 4, 3};

class Wire : public CommandSet, public ::testing::WithParamInterface<WireCase> {};

TEST_P(Wire, SendsExactlyThisRequest) {
  const WireCase& c = GetParam();
  interface->log.clear();
  c.send(link);
  ASSERT_EQ(interface->log.size(), 1u);
  const sim::LoggedRequest& r = last();
  EXPECT_EQ(r.controlCode, kControlVendorRequest);
  EXPECT_EQ(r.block.request, c.request);
  EXPECT_EQ(r.block.value, c.value);
  EXPECT_EQ(r.block.index, c.index);
  EXPECT_EQ(r.block.direction, c.direction);
  EXPECT_EQ(r.block.requestType, 2);
  EXPECT_EQ(r.block.recipient, 2);
  EXPECT_EQ(r.length, c.length);
  if (c.direction == 0) {
    EXPECT_EQ(r.data, c.data);
  }
  EXPECT_EQ(r.block.driverFlags, c.writesEeprom ? kVendorRequestWritesEeprom : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Wire,
    ::testing::Values(
        WireCase{"readDatasheet", [](DeviceLink& l) { return l.readDatasheet(0, scratch, 8); }, 0x01, 0, 0, 1, 8, {}},
        WireCase{"writeDatasheet", [](DeviceLink& l) { return l.writeDatasheet(0, kImage, 7); }, 0x02, 0, 0, 0, 7,
                 Bytes(kImage, kImage + 7), true},
        WireCase{"readSample", [](DeviceLink& l) { return l.readSample(0, scratch, 6); }, 0x21, 0, 0, 1, 6, {}},
        WireCase{"setSampleConfig", [](DeviceLink& l) { return l.setSampleConfig(0, 100, 0x0106, 0, 5, 1, 7); },
                 0x81, 0, 0, 0, 8, {100, 0, 0x06, 0x01, 0, 1, 1, 7}},
        WireCase{"writeInterfaceMemory", [](DeviceLink& l) { return l.writeInterfaceMemory(4, 0x12345, kCal); },
                 0xA0, 0x2345, 1, 0, 4, {1, 2, 3, 4}},
        WireCase{"holdProcessor", [](DeviceLink& l) { return l.holdInterfaceProcessor(true); }, 0xA0, 0x7F92, 0, 0,
                 1, {1}},
        WireCase{"releaseProcessor", [](DeviceLink& l) { return l.holdInterfaceProcessor(false); }, 0xA0, 0x7F92, 0,
                 0, 1, {0}},
        WireCase{"writeCalibration", [](DeviceLink& l) { return l.writeCalibration(0, 1, kCal, 4); }, 0xC3, 1, 0, 0,
                 4, {1, 2, 3, 4}, true},
        WireCase{"readCalibration", [](DeviceLink& l) { return l.readCalibration(0, 1, scratch, 96); }, 0xC3, 1, 0,
                 1, 96, {}},
        WireCase{"initCommand", [](DeviceLink& l) { return l.sendSensorCommand(0, 6); }, 0xC6, 6, 0, 0, 0, {}},
        WireCase{"commandWithData", [](DeviceLink& l) { return l.sendSensorCommand(0, 0x109, kCal, 2); }, 0xC6, 9,
                 0, 0, 2, {1, 2}},
        WireCase{"commandHighLow", [](DeviceLink& l) { return l.sendSensorCommand(0, 9, 100); }, 0xC6, 0x0964, 0, 0,
                 0, {}},
        WireCase{"portStatus", [](DeviceLink& l) { return l.isSensorAttached(0) != 0; }, 0xF1, 0, 0, 1, 16, {}},
        WireCase{"interfaceVersion", [](DeviceLink& l) { return l.readInterfaceVersion(nullptr, nullptr); }, 0xF2,
                 0, 0, 1, 63, {}},
        WireCase{"powerOn", [](DeviceLink& l) { return l.setSensorPower(true); }, 0xFA, 1, 0, 1, 0, {}},
        WireCase{"powerOff", [](DeviceLink& l) { return l.setSensorPower(false); }, 0xFA, 0, 0, 1, 0, {}},
        WireCase{"gain221", [](DeviceLink& l) { return l.sendGain(0, 221, 2); }, 0xC6, 0x0964, 0, 0, 0, {}},
        WireCase{"gain235", [](DeviceLink& l) { return l.sendGain(0, 235, 3); }, 0xC6, 9, 0, 0, 2, {0x20, 0x01}},
        WireCase{"gain243", [](DeviceLink& l) { return l.sendGain(0, 243, 4); }, 0xC6, 9, 0, 0, 2, {0x0A, 0x01}}),
    [](const auto& info) { return std::string(info.param.name); });

struct GainCase {
  int sensorId;
  int index;
  bool sent;
  bool inValue;
  int code;
};

class GainTable : public CommandSet, public ::testing::WithParamInterface<GainCase> {};

TEST_P(GainTable, SendsTheCodeOrNothing) {
  const GainCase& c = GetParam();
  interface->log.clear();
  EXPECT_EQ(link.sendGain(0, c.sensorId, c.index), c.sent);
  EXPECT_EQ(interface->log.size(), c.sent ? 1u : 0u);
  if (c.sent) {
    EXPECT_EQ(sensor->lastGainCode, c.code);
    EXPECT_EQ(sensor->lastGainInValue, c.inValue);
  }
}

// The gain codes each sensor model takes, by gain index, as the sensors' command
// sets define them: model 221 in the command's value, 235 and 243 as two data bytes.
INSTANTIATE_TEST_SUITE_P(Sensors, GainTable,
                         ::testing::Values(GainCase{221, 0, true, true, 1}, GainCase{221, 1, true, true, 10},
                                           GainCase{221, 2, true, true, 100}, GainCase{221, 3, false, false, 0},
                                           GainCase{221, -1, false, false, 0}, GainCase{235, 0, true, false, 1},
                                           GainCase{235, 1, true, false, 0x20}, GainCase{235, 2, true, false, 0x101},
                                           GainCase{235, 4, false, false, 0}, GainCase{243, 2, true, false, 0x64},
                                           GainCase{243, 5, true, false, 0x164}, GainCase{243, 6, false, false, 0},
                                           GainCase{100, 0, false, false, 0}));

TEST_F(CommandSet, ReadSensorIdWaitsBeforeEachTry) {
  EXPECT_EQ(link.readSensorId(0), 221);
  EXPECT_EQ(sleeps.waits, (std::vector<std::uint32_t>{100}));
}

class RefusedSensorId : public CommandSet, public ::testing::WithParamInterface<int> {};

TEST_P(RefusedSensorId, FiveTriesThenZero) {
  std::vector<std::uint8_t> image = sensor->storedImage();
  image[0] = static_cast<std::uint8_t>(GetParam());
  image[1] = static_cast<std::uint8_t>(GetParam() >> 8);
  sensor->writeDatasheet(image.data(), image.size());
  interface->log.clear();
  EXPECT_EQ(link.readSensorId(0), 0);
  EXPECT_EQ(sleeps.waits, std::vector<std::uint32_t>(5, 100));
  ASSERT_EQ(interface->log.size(), 5u);
  for (const auto& r : interface->log) EXPECT_EQ(r.length, 4u);
}

INSTANTIATE_TEST_SUITE_P(Ids, RefusedSensorId, ::testing::Values(0, 0x7000, 0xFFFF, 0x8001));

TEST_F(CommandSet, ReadSensorIdRetriesAfterFailures) {
  interface->failNext(kRequestReadDatasheet, 4);
  EXPECT_EQ(link.readSensorId(0), 221);
  EXPECT_EQ(sleeps.waits.size(), 5u);
}

TEST_F(CommandSet, VersionAfterAFailedRequestIsZero) {
  int major = -1, minor = -1;
  char text[16] = {};
  EXPECT_TRUE(link.readInterfaceVersion(&major, &minor, text, sizeof text - 1));
  EXPECT_EQ(major, 1);
  EXPECT_EQ(minor, 8);
  EXPECT_STREQ(text, "Dockmon 1.8");
  interface->failNext(kRequestInterfaceVersion);
  EXPECT_FALSE(link.readInterfaceVersion(&major, &minor));
  EXPECT_EQ(major, 0);
  EXPECT_EQ(minor, 0);
}

TEST_F(CommandSet, ReadCalibrationWithoutBufferSendsNothing) {
  interface->log.clear();
  std::size_t returned = 5;
  EXPECT_FALSE(link.readCalibration(0, 1, nullptr, 96, &returned));
  EXPECT_TRUE(interface->log.empty());
  EXPECT_EQ(returned, 0u);
}

TEST_F(CommandSet, PortStatusFollowsTheSensor) {
  EXPECT_EQ(link.isSensorAttached(0), 1);
  interface->unplugSensor();
  EXPECT_EQ(link.isSensorAttached(0), 0);
  interface->failNext(kRequestPortStatus);
  EXPECT_EQ(link.isSensorAttached(0), 0);
}

TEST_F(CommandSet, CalibrationBlockRoundTripsAndCorruptionShows) {
  std::array<std::uint8_t, 32> block{};
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_TRUE(link.writeCalibration(0, 1, block.data(), block.size()));
  std::array<std::uint8_t, 32> back{};
  std::size_t returned = 0;
  ASSERT_TRUE(link.readCalibration(0, 1, back.data(), back.size(), &returned));
  EXPECT_EQ(returned, back.size());
  EXPECT_EQ(back, block);
  interface->corruptNext(kRequestCalibration);
  ASSERT_TRUE(link.writeCalibration(0, 1, block.data(), block.size()));
  ASSERT_TRUE(link.readCalibration(0, 1, back.data(), back.size(), &returned));
  EXPECT_NE(back, block);
}

TEST_F(CommandSet, PoweredOffSensorAnswersNothing) {
  ASSERT_TRUE(link.setSensorPower(false));
  std::uint8_t head[8];
  EXPECT_FALSE(link.readDatasheet(0, head, sizeof head));
  ASSERT_TRUE(link.setSensorPower(true));
  EXPECT_TRUE(link.readDatasheet(0, head, sizeof head));
}

TEST_F(CommandSet, ShortAnswerIsReported) {
  interface->shortNext(kRequestReadSample);
  std::uint8_t sample[2];
  std::size_t returned = 0;
  EXPECT_TRUE(link.readSample(0, sample, sizeof sample, &returned));
  EXPECT_EQ(returned, 1u);
}

}  // namespace
}  // namespace trimwell
