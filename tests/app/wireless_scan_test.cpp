// A scanner of all ten interface numbers finds the wireless interface as number 9
// and reads its sensor exactly as through a USB interface.
#include <gtest/gtest.h>

#include "app/sensor_scanner.h"
#include "calibration/converter_set.h"
#include "link/serial_bridge.h"
#include "platform/termios_port.h"
#include "sim/wireless_interface.h"
#include "support/sim_fixture.h"

namespace trimwell {
namespace {

class Recorder : public SensorScanner {
 public:
  Recorder() : SensorScanner(10) {}
  void OnScanEvent(int code, void*, SensorInterface* interface, Datasheet* datasheet, int index) override {
    codes.push_back(code);
    indexes.push_back(index);
    if (code == SensorGoodDataSheet) {
      good = datasheet;
      link = interface;
    }
  }
  std::vector<int> codes, indexes;
  Datasheet* good = nullptr;
  SensorInterface* link = nullptr;
};

TEST(WirelessScan, Interface9ReadsItsSensor) {
  sim::WirelessInterface wireless(0x40);
  ASSERT_TRUE(wireless.started());
  wireless.plugSensor(sim::SimulatedSensor::fromFile(test::sampleImagePath("thermal_probe_221.sds")));
  wireless.withSensor([](sim::SimulatedSensor* s) { s->setInput(1, 12.25); });
  MemoryRegistry user;
  user.createKey(kVentrixPortKey);
  user.setString(kVentrixPortKey, "", std::u16string(wireless.portPath().begin(), wireless.portPath().end()));
  TermiosPort port;
  SerialBridge bridge(port, user);
  SerialBridge* previous = installSerialBridge(&bridge);
  RecordingSleeper sleeps;
  SleeperScope sleeperScope(sleeps);
  {
    Recorder scanner;
    scanner.Scan(nullptr, 2);
    EXPECT_EQ(scanner.codes, (std::vector<int>{InterfaceAdded, SensorAdded, SensorGoodDataSheet}));
    EXPECT_EQ(scanner.indexes.front(), 9);
    ASSERT_NE(scanner.good, nullptr);
    EXPECT_EQ(scanner.good->sensorId, 221);

    const std::size_t size = ConverterSet::totalSampleSize(*scanner.good);
    ASSERT_TRUE(scanner.link->setSampleConfig(0, 100, static_cast<int>(size), 0, 0, 1, 0));
    std::uint8_t sample[32] = {};
    std::size_t returned = 0;
    ASSERT_TRUE(scanner.link->readSample(0, sample, size, &returned));
    ASSERT_EQ(returned, size);
    ConverterSet converters;
    converters.Build(scanner.good);
    converters.ProcessSampleBlock(sample, returned, 0.0);
    EXPECT_FLOAT_EQ(converters.converters[0]->value, 12.25f);
  }
  installSerialBridge(previous);
}

}  // namespace
}  // namespace trimwell
