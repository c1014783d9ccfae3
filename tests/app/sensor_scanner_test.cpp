#include "app/sensor_scanner.h"

#include <gtest/gtest.h>

#include "support/sheet_builder.h"
#include "support/sim_fixture.h"

namespace trimwell {
namespace {

struct Event {
  int code;
  SensorInterface* interface;
  Datasheet* datasheet;
  int index;
};

class RecordingScanner : public SensorScanner {
 public:
  using SensorScanner::SensorScanner;
  void OnScanEvent(int code, void* context, SensorInterface* interface, Datasheet* datasheet, int index) override {
    EXPECT_EQ(context, &marker);
    events.push_back({code, interface, datasheet, index});
  }
  std::vector<int> codes() const {
    std::vector<int> out;
    for (const Event& e : events) out.push_back(e.code);
    return out;
  }
  std::vector<int> scan(int depth = 2) {
    events.clear();
    Scan(&marker, depth);
    return codes();
  }
  std::vector<Event> events;
  int marker = 0;
};

using Codes = std::vector<int>;

class Scanner : public test::SimFixture {
 protected:
  sim::SimulatedInterface& withSensor(const char* image = "thermal_probe_221.sds") {
    sim::SimulatedInterface& interface = plugInterface(0);
    plugSensor(interface, image);
    return interface;
  }
  void storeImage(sim::SimulatedInterface& interface, std::vector<std::uint8_t> image) {
    interface.sensor()->writeDatasheet(image.data(), image.size());
  }
  RecordingScanner scanner{1};
};

TEST_F(Scanner, OneScanFindsInterfaceSensorAndDatasheet) {
  withSensor();
  EXPECT_EQ(scanner.scan(), (Codes{InterfaceAdded, SensorAdded, SensorGoodDataSheet}));
  EXPECT_EQ(scanner.events[0].index, 0);
  EXPECT_EQ(scanner.events[1].datasheet, nullptr);
  ASSERT_NE(scanner.events[2].datasheet, nullptr);
  EXPECT_EQ(scanner.events[2].datasheet->sensorId, 221);
  EXPECT_EQ(scanner.entry(0).ports[0].sensorId, 221);
  // Steady state: nothing new, and only probe, presence and port status are asked.
  driver.at(0)->log.clear();
  const std::size_t opens = driver.opens();
  EXPECT_EQ(scanner.scan(), Codes{});
  EXPECT_EQ(driver.opens(), opens + 1);  // the probe
  ASSERT_EQ(driver.at(0)->log.size(), 2u);
  EXPECT_EQ(driver.at(0)->log[0].controlCode, kControlPresence);
  EXPECT_EQ(driver.at(0)->log[1].block.request, kRequestPortStatus);
}

TEST_F(Scanner, DepthLimitsTheWork) {
  withSensor();
  EXPECT_EQ(scanner.scan(0), (Codes{InterfaceAdded}));
  EXPECT_EQ(scanner.scan(1), (Codes{SensorAdded}));
  EXPECT_EQ(scanner.scan(2), Codes{});  // the datasheet is read only on arrival
}

TEST_F(Scanner, VanishingInterfaceWithEmptyPort) {
  plugInterface(0);
  EXPECT_EQ(scanner.scan(), (Codes{InterfaceAdded}));
  driver.unplug(0);
  EXPECT_EQ(scanner.scan(), (Codes{SensorRemoved, InterfaceRemoved}));
  EXPECT_EQ(scanner.events[0].datasheet, nullptr);
  EXPECT_EQ(scanner.events[1].index, 0);
  EXPECT_EQ(scanner.entry(0).interface, nullptr);
}

TEST_F(Scanner, SensorLeavesAndComesBack) {
  auto& interface = withSensor();
  scanner.scan();
  auto sensor = interface.unplugSensor();
  EXPECT_EQ(scanner.scan(), (Codes{SensorRemoved}));
  EXPECT_NE(scanner.events[0].datasheet, nullptr);
  interface.plugSensor(std::move(sensor));
  EXPECT_EQ(scanner.scan(), (Codes{SensorAdded, SensorGoodDataSheet}));
}

class RefusedId : public Scanner, public ::testing::WithParamInterface<int> {};

TEST_P(RefusedId, NeverReportedAndTriedEveryScan) {
  auto& interface = withSensor();
  auto image = interface.sensor()->storedImage();
  image[0] = static_cast<std::uint8_t>(GetParam());
  image[1] = static_cast<std::uint8_t>(GetParam() >> 8);
  storeImage(interface, image);
  EXPECT_EQ(scanner.scan(), (Codes{InterfaceAdded}));
  sleeps.waits.clear();
  EXPECT_EQ(scanner.scan(), Codes{});
  EXPECT_EQ(sleeps.waits.size(), 5u);  // tried again
}

INSTANTIATE_TEST_SUITE_P(Ids, RefusedId, ::testing::Values(0, 0x8000, 0xFFFF, 0x7000, 0x7ABC));

TEST_F(Scanner, LengthLimitOf2048) {
  auto& interface = withSensor();
  auto image = interface.sensor()->storedImage();
  image[4] = 0x00;
  image[5] = 0x08;  // 2048: read whole, fails to decode
  storeImage(interface, image);
  EXPECT_EQ(scanner.scan(), (Codes{InterfaceAdded, SensorAdded, SensorBadDataSheet, SensorBadDataSheet,
                                   SensorBadDataSheet}));
  EXPECT_EQ(driver.at(0)->log.back().length, 2048u);

  auto& other = withSensor();
  image[4] = 0x01;  // 2049: never transferred
  storeImage(other, image);
  RecordingScanner fresh(1);
  EXPECT_EQ(fresh.scan(), (Codes{InterfaceAdded, SensorAdded, SensorBadDataSheet, SensorBadDataSheet,
                                 SensorBadDataSheet}));
  for (const auto& r : other.log) EXPECT_LE(r.length, 63u);
  EXPECT_EQ(fresh.events[2].datasheet->sensorId, 221);
  EXPECT_EQ(fresh.entry(0).ports[0].sensorId, -1);
}

TEST_F(Scanner, ExtendedLengthCountsFromFour) {
  auto& interface = withSensor("ph_electrode_235.sds");
  EXPECT_EQ(scanner.scan(), (Codes{InterfaceAdded, SensorAdded, SensorGoodDataSheet}));
  EXPECT_EQ(interface.log.back().length, interface.sensor()->storedImage().size());
}

TEST_F(Scanner, ThreeFailingDecodesShareOneDatasheet) {
  auto& interface = withSensor();
  auto image = interface.sensor()->storedImage();
  image[60] ^= 0xFF;  // checksum mismatch
  storeImage(interface, image);
  EXPECT_EQ(scanner.scan(), (Codes{InterfaceAdded, SensorAdded, SensorBadDataSheet, SensorBadDataSheet,
                                   SensorBadDataSheet}));
  EXPECT_EQ(scanner.events[2].datasheet, scanner.events[4].datasheet);
  EXPECT_EQ(scanner.events[2].datasheet->status, kChecksumMismatch);
  EXPECT_EQ(scanner.scan(), Codes{});  // not read again while the sensor stays
}

TEST_F(Scanner, ThreeFailingTransfers) {
  auto& interface = withSensor();
  scanner.scan(0);
  interface.failNext(kRequestReadDatasheet, 3, 1);  // the ID read passes, three headers fail
  EXPECT_EQ(scanner.scan(), (Codes{SensorAdded, SensorCantReadDataSheet, SensorCantReadDataSheet,
                                   SensorCantReadDataSheet}));
  EXPECT_EQ(scanner.events[1].datasheet, nullptr);
  EXPECT_EQ(scanner.entry(0).ports[0].sensorId, 221);
}

TEST_F(Scanner, ShortWholeReadIsAFailedTransfer) {
  auto& interface = withSensor();
  scanner.scan(0);
  interface.shortNext(kRequestReadDatasheet, 1, 2);  // ID and header pass; the whole read is short
  EXPECT_EQ(scanner.scan(), (Codes{SensorAdded, SensorCantReadDataSheet, SensorGoodDataSheet}));
}

TEST_F(Scanner, RereadAfterVerify) {
  withSensor();
  scanner.scan();
  scanner.RequestReread(0, 0);
  scanner.entry(0).interface->close();  // what the dialog does after Verify
  EXPECT_EQ(scanner.scan(), (Codes{SensorRemoved, InterfaceRemoved}));
  EXPECT_EQ(scanner.scan(), (Codes{InterfaceAdded, SensorRemoved}));
  EXPECT_EQ(scanner.events[1].datasheet, nullptr);
  EXPECT_EQ(scanner.scan(), (Codes{SensorAdded, SensorGoodDataSheet}));
}

TEST_F(Scanner, RereadOutOfRangeIsIgnored) {
  withSensor();
  scanner.scan();
  scanner.RequestReread(1, 0);
  scanner.RequestReread(0, 1);
  scanner.RequestReread(-1, 0);
  EXPECT_EQ(scanner.scan(), Codes{});
}

TEST_F(Scanner, OnlyTheCountedInterfacesAreProbed) {
  plugInterface(1);
  plugInterface(3);
  EXPECT_EQ(scanner.scan(), Codes{});
  EXPECT_TRUE(driver.at(1)->log.empty());
  RecordingScanner all(0);
  EXPECT_EQ(all.interfaceCount(), 10);
  EXPECT_EQ(all.scan(), (Codes{InterfaceAdded, InterfaceAdded}));
  EXPECT_EQ(all.events[1].index, 3);
  EXPECT_EQ(RecordingScanner(11).interfaceCount(), 10);
  EXPECT_EQ(RecordingScanner(-2).interfaceCount(), 10);
  EXPECT_EQ(RecordingScanner(4).interfaceCount(), 4);
}

TEST_F(Scanner, UnsupportedInterfaceIsNotAdded) {
  plugInterface(0, 0x0004);
  EXPECT_EQ(scanner.scan(), Codes{});
  EXPECT_EQ(driver.openHandles(), 0u);
}

TEST_F(Scanner, DestructionSendsNothingAndClosesEverything) {
  withSensor();
  {
    RecordingScanner local(1);
    local.scan();
    local.events.clear();
  }
  EXPECT_EQ(driver.openHandles(), 0u);
}

}  // namespace
}  // namespace trimwell
