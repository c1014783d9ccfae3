// The real libusb driver on an emulated bus: each suite runs under usb-testbed with
// the devices its name says (see tests/CMakeLists.txt), and checks what went over
// the bus in the testbed's log.
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/calibration_dialog.h"
#include "app/dialog_layout.h"
#include "app/control_ids.h"
#include "link/device_link.h"
#include "link/sensor_interface.h"
#include "platform/format_text.h"
#include "platform/libusb_driver.h"
#include "platform/memory_controls.h"
#include "platform/sleeper.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

struct Transfer {
  std::string port;  // the device's port path, 1-1 say
  unsigned requestType = 0, request = 0, value = 0, index = 0, length = 0;
  std::string data;  // hex
};

// The vendor control transfers the testbed has seen so far.
std::vector<Transfer> busLog() {
  std::vector<Transfer> out;
  const char* path = std::getenv("TRIMWELL_USB_LOG");
  if (path == nullptr) return out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Transfer t;
    fields >> t.port >> std::hex >> t.requestType >> t.request >> t.value >> t.index >> std::dec >> t.length;
    fields >> t.data;
    out.push_back(t);
  }
  return out;
}

// The station's dialog with the sample library, headless, on whatever driver is in.
struct Station {
  static DialogPaths samplePaths(const std::string& recordsFile = {}) {
    DialogPaths paths;
    paths.datasheetFolder = TRIMWELL_SAMPLE_DIR;
    paths.recordsFile = recordsFile;
    return paths;
  }
  explicit Station(const std::string& recordsFile = {})
      : controls(dialogControls()), dialog(controls, settings, samplePaths(recordsFile)) {
    dialog.OnInitDialog();
  }

  MemoryRegistry settings;
  MemoryControls controls;
  CalibrationDialog dialog;
};

class Usb : public ::testing::Test {
 protected:
  Usb() : driver(isSupportedInterface), driverScope(driver), sleeperScope(sleeps) {}
  void SetUp() override { ASSERT_TRUE(driver.available()); }

  LibusbDriver driver;
  UsbDriverScope driverScope;
  RecordingSleeper sleeps;
  SleeperScope sleeperScope;
};

// A foreign product of the same vendor on a lower port takes no number: the Dockmon
// behind it is interface 0, which is the one the dialog watches.
TEST_F(Usb, NumberingCountsOnlyAcceptedDevices) {
  std::uint16_t vendor = 0, product = 0;
  ASSERT_TRUE(DeviceLink::probe(0, true, &vendor, &product));
  EXPECT_EQ(vendor, 0x7A3C);
  EXPECT_EQ(product, 0x0002);
  EXPECT_FALSE(DeviceLink::probe(1, false));
}

TEST_F(Usb, TransfersDescriptorFromTheDevice) {
  DeviceLink link;
  ASSERT_TRUE(link.open(0));
  std::uint8_t descriptor[kDeviceDescriptorLength] = {};
  ASSERT_TRUE(link.getDeviceDescriptor(descriptor));
  EXPECT_EQ(hexText(descriptor, sizeof descriptor), "12010002ffffff403c7a020000010102" "0001");
  EXPECT_TRUE(busLog().empty());  // the descriptor comes from the device's record, not a transfer
}

// Each vendor request is exactly one control transfer whose setup fields and data
// are those of the request block.
TEST_F(Usb, TransfersOneControlTransferPerRequest) {
  DeviceLink link;
  ASSERT_TRUE(link.open(0));
  std::uint8_t version[64] = {};
  std::size_t returned = 0;
  ASSERT_TRUE(link.vendorRead(kRequestInterfaceVersion, 0x0000, 0x0000, version, sizeof version, &returned));
  auto log = busLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].requestType, 0xC2u);
  EXPECT_EQ(log[0].request, 0xF2u);
  EXPECT_EQ(log[0].length, 64u);
  EXPECT_EQ(log[0].data, hexText(version, returned));
  EXPECT_EQ(version[0], 1);
  EXPECT_EQ(version[1], 8);

  const std::uint8_t block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  ASSERT_TRUE(link.vendorWrite(kRequestCalibration, 0x0001, 0x0203, block, sizeof block));
  log = busLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].requestType, 0x42u);
  EXPECT_EQ(log[1].request, 0xC3u);
  EXPECT_EQ(log[1].value, 0x0001u);
  EXPECT_EQ(log[1].index, 0x0203u);
  EXPECT_EQ(log[1].length, 16u);
  EXPECT_EQ(log[1].data, hexText(block, sizeof block));

  // More than usbfs moves in one transfer is refused before anything goes out.
  std::vector<std::uint8_t> large(kMaxControlTransfer + 1, 0x5A);
  EXPECT_FALSE(link.vendorWrite(kRequestWriteDatasheet, 0, 0, large.data(), large.size()));
  EXPECT_EQ(link.lastError, static_cast<std::uint32_t>(EINVAL));
  EXPECT_EQ(busLog().size(), 2u);
  EXPECT_TRUE(link.isAlive());
}

// The interface is pulled while a request is on its way: the request fails with
// ENODEV, the presence check fails, and the station's scan reports the removal.
TEST_F(Usb, VanishingDeviceIsRemoved) {
  Station station;
  MemoryControls& controls = station.controls;
  CalibrationDialog& dialog = station.dialog;
  dialog.OnTimer();
  dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kStatus), "BrimsenInterfaceRemoved");
  DeviceLink link;
  EXPECT_FALSE(link.open(0));
}

TEST_F(Usb, VanishingDeviceFailsItsRequest) {
  DeviceLink link;
  ASSERT_TRUE(link.open(0));
  EXPECT_TRUE(link.isAlive());
  std::uint8_t status[16] = {};
  EXPECT_FALSE(link.vendorRead(kRequestPortStatus, 0, 0, status, sizeof status));
  EXPECT_EQ(link.lastError, static_cast<std::uint32_t>(ENODEV));
  EXPECT_FALSE(link.isAlive());
}

// A write that moved half its bytes is a failed write.
TEST_F(Usb, ShortOutTransferFails) {
  DeviceLink link;
  ASSERT_TRUE(link.open(0));
  const std::uint8_t block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_FALSE(link.vendorWrite(kRequestCalibration, 1, 0, block, sizeof block));
  EXPECT_EQ(link.lastError, static_cast<std::uint32_t>(EIO));
  const auto log = busLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].data, hexText(block, 8));
}

// The whole station over the real driver: interface and sensor found, datasheet
// read and checked, samples shown, a calibration written and read back.
TEST_F(Usb, StationCalibratesThroughTheEmulatedDockmon) {
  Station station;
  MemoryControls& controls = station.controls;
  CalibrationDialog& dialog = station.dialog;
  dialog.OnTimer();
  ASSERT_EQ(controls.text(ids::kStatus), "BrimsenSensorGoodDataSheet");
  ASSERT_EQ(dialog.session().rowCount, 2);
  dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kMeasurement).rfind("Temperature = ", 0), 0u) << controls.text(ids::kMeasurement);
  ASSERT_TRUE(controls.click(ids::kManual1));
  ASSERT_TRUE(controls.click(ids::kManual2));
  ASSERT_TRUE(controls.type(ids::kPt1Raw, "0x10000"));
  ASSERT_TRUE(controls.type(ids::kPt2Raw, "0x640000"));
  ASSERT_TRUE(controls.type(ids::kPt1Data, "0"));
  ASSERT_TRUE(controls.type(ids::kPt2Data, "100"));
  ASSERT_TRUE(controls.click(ids::kPoint1));
  // Row 1's source is no 16.16 measurement: its raw values are plain numbers.
  ASSERT_TRUE(controls.type(ids::kPt1Raw + 1, "0x10"));
  ASSERT_TRUE(controls.type(ids::kPt2Raw + 1, "0x20"));
  ASSERT_TRUE(controls.type(ids::kPt1Data + 1, "0"));
  ASSERT_TRUE(controls.type(ids::kPt2Data + 1, "50"));
  ASSERT_TRUE(controls.click(ids::kPoint1 + 1));
  EXPECT_TRUE(controls.messages.empty()) << controls.messages.front();

  DeviceLink link;
  ASSERT_TRUE(link.open(0));
  std::uint8_t block[32] = {};
  ASSERT_TRUE(link.readCalibration(0, 1, block, sizeof block));
  EXPECT_EQ(hexText(block, sizeof block), "00000100000000000000640000006400" "00001000000000000000200000003200");
  bool wroteDatasheet = false, wroteBlock = false;
  for (const Transfer& t : busLog()) {
    wroteDatasheet |= t.requestType == 0x42 && t.request == kRequestWriteDatasheet;
    wroteBlock |= t.requestType == 0x42 && t.request == kRequestCalibration;
  }
  EXPECT_TRUE(wroteDatasheet);
  EXPECT_TRUE(wroteBlock);
}

// The ports the station's vendor transfers went to, from the log's line `from` on.
std::set<std::string> portsUsed(std::size_t from = 0) {
  std::set<std::string> ports;
  const auto log = busLog();
  for (std::size_t i = from; i < log.size(); ++i) ports.insert(log[i].port);
  return ports;
}

// Both rows by typed points, written into the sensor.
void calibrateTypedPoints(MemoryControls& controls) {
  ASSERT_TRUE(controls.click(ids::kManual1));
  ASSERT_TRUE(controls.click(ids::kManual2));
  for (int row = 0; row < 2; ++row) {
    ASSERT_TRUE(controls.type(ids::kPt1Raw + row, "10"));
    ASSERT_TRUE(controls.type(ids::kPt2Raw + row, "20"));
    ASSERT_TRUE(controls.type(ids::kPt1Data + row, "0"));
    ASSERT_TRUE(controls.type(ids::kPt2Data + row, "50"));
    ASSERT_TRUE(controls.click(ids::kPoint1 + row));
  }
  ASSERT_TRUE(controls.messages.empty()) << controls.messages.front();
}

// Two Dockmons, the one on port 1-2 enumerated first. The station works with the
// first in port order; Verify and a restore close it and open interface 0 again,
// and each time it is the same interface, with the same sensor, that is reopened.
TEST_F(Usb, VerifyAndRestoreReopenTheSameInterface) {
  test::TempDir dir;
  Station station(dir.file("records.sqlite"));
  MemoryControls& controls = station.controls;
  CalibrationDialog& dialog = station.dialog;
  dialog.OnTimer();
  ASSERT_EQ(controls.text(ids::kStatus), "BrimsenSensorGoodDataSheet");
  calibrateTypedPoints(controls);
  EXPECT_EQ(portsUsed(), std::set<std::string>{"1-1"});

  std::size_t from = busLog().size();
  ASSERT_TRUE(controls.click(ids::kVerify));
  for (int tick = 0; tick < 3; ++tick) dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kResult), "Verify: the sensor holds its calibration");
  EXPECT_EQ(portsUsed(from), std::set<std::string>{"1-1"});

  from = busLog().size();
  ASSERT_TRUE(dialog.restoreRecord(dialog.recordKeeping().lastRecord(), true));
  for (int tick = 0; tick < 3; ++tick) dialog.OnTimer();
  EXPECT_EQ(controls.text(ids::kStatus), "BrimsenSensorGoodDataSheet");
  EXPECT_TRUE(controls.messages.empty()) << controls.messages.front();
  EXPECT_EQ(portsUsed(from), std::set<std::string>{"1-1"});
  bool reread = false;
  for (std::size_t i = from; i < busLog().size(); ++i) reread |= busLog()[i].request == kRequestReadDatasheet;
  EXPECT_TRUE(reread);
}

// The interface worked with is pulled while Verify's re-read is pending (the test
// sends it the request the testbed pulls it on): the other one becomes interface
// 0, and its sensor, which holds no calibration of this station's, is not
// verified in the place of the one asked about.
TEST_F(Usb, VerifyDoesNotTakeTheOtherInterfacesSensorForItsOwn) {
  Station station;
  MemoryControls& controls = station.controls;
  CalibrationDialog& dialog = station.dialog;
  dialog.OnTimer();
  ASSERT_EQ(controls.text(ids::kStatus), "BrimsenSensorGoodDataSheet");
  calibrateTypedPoints(controls);
  ASSERT_TRUE(controls.click(ids::kVerify));
  {
    DeviceLink pull;
    ASSERT_TRUE(pull.open(0));
    std::uint8_t none[1] = {};
    EXPECT_FALSE(pull.vendorRead(0xEE, 0, 0, none, sizeof none));
  }
  for (int tick = 0; tick < 3; ++tick) dialog.OnTimer();
  ASSERT_EQ(controls.messages.size(), 1u);
  EXPECT_EQ(controls.messages.front(),
            "Verify Error: the sensor read again is not the one Verify was asked for (another sensor or interface "
            "answered); nothing was verified");
  EXPECT_EQ(controls.text(ids::kResult), "");
  EXPECT_EQ(portsUsed(busLog().size() - 1), std::set<std::string>{"1-2"});
}

}  // namespace
}  // namespace trimwell
