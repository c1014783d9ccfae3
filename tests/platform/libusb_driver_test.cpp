#include "platform/libusb_driver.h"

#include <libusb.h>

#include <cerrno>
#include <vector>

#include <gtest/gtest.h>

#include "link/device_link.h"
#include "link/vendor_request.h"

namespace trimwell {
namespace {

struct SetupCase {
  const char* name;
  std::uint8_t direction;
  std::uint8_t requestType;
  std::uint8_t recipient;
  std::uint8_t bmRequestType;
};

class ControlSetupMapping : public ::testing::TestWithParam<SetupCase> {};

TEST_P(ControlSetupMapping, BuildsTheSetupPacket) {
  VendorRequestBlock block;
  block.direction = GetParam().direction;
  block.requestType = GetParam().requestType;
  block.recipient = GetParam().recipient;
  block.request = 0xC3;
  block.value = 0x0102;
  block.index = 0x0304;
  const auto bytes = block.toBytes();
  ControlSetup setup;
  ASSERT_TRUE(controlSetupFromBlock(bytes.data(), bytes.size(), setup));
  EXPECT_EQ(setup.requestType, GetParam().bmRequestType);
  EXPECT_EQ(setup.request, 0xC3);
  EXPECT_EQ(setup.value, 0x0102);
  EXPECT_EQ(setup.index, 0x0304);
  EXPECT_EQ(setup.deviceToHost, GetParam().direction == 1);
}

// bmRequestType as the USB 2.0 standard lays it out (table 9-2): bit 7 the
// direction, bits 6..5 the type (2: vendor, 1: class), bits 4..0 the recipient.
INSTANTIATE_TEST_SUITE_P(Blocks, ControlSetupMapping,
                         ::testing::Values(SetupCase{"vendor_in", 1, 2, 2, 0xC2}, SetupCase{"vendor_out", 0, 2, 2, 0x42},
                                           SetupCase{"vendor_in_device", 1, 2, 0, 0xC0},
                                           SetupCase{"class_out_interface", 0, 1, 1, 0x21}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ControlSetupMapping, RefusesMalformedBlocks) {
  ControlSetup setup;
  const std::uint8_t shortBlock[9] = {1, 2, 2, 0, 1, 0, 0, 0, 0};
  EXPECT_FALSE(controlSetupFromBlock(shortBlock, sizeof shortBlock, setup));
  EXPECT_FALSE(controlSetupFromBlock(nullptr, 10, setup));
  const std::uint8_t badDirection[10] = {7, 2, 2, 0, 1, 0, 0, 0, 0, 0};
  EXPECT_FALSE(controlSetupFromBlock(badDirection, sizeof badDirection, setup));
}

// Short requests get a few seconds; EEPROM writes room for a slow EEPROM on top:
// 3000 ms, and 5 ms per 32-byte page four times over (the EEPROM's page write time).
struct TimeoutCase {
  const char* name;
  std::uint8_t flags;  // the request block's driver flags
  std::size_t length;
  unsigned timeoutMs;
};

class TransferTimeout : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(TransferTimeout, FollowsTheBlocksFlag) {
  VendorRequestBlock block;
  block.request = 0x02;
  block.driverFlags = GetParam().flags;
  const auto bytes = block.toBytes();
  ControlSetup setup;
  ASSERT_TRUE(controlSetupFromBlock(bytes.data(), bytes.size(), setup));
  EXPECT_EQ(transferTimeoutMs(setup, GetParam().length), GetParam().timeoutMs);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, TransferTimeout,
    ::testing::Values(TimeoutCase{"short", 0, 64, 3000}, TimeoutCase{"long_not_eeprom", 0, 4096, 3000},
                      TimeoutCase{"eeprom_largest", kVendorRequestWritesEeprom, 4096, 3000 + 128 * 20},
                      TimeoutCase{"eeprom_page_and_a_byte", kVendorRequestWritesEeprom, 33, 3000 + 2 * 20},
                      TimeoutCase{"eeprom_three_pages", kVendorRequestWritesEeprom, 96, 3000 + 3 * 20},
                      TimeoutCase{"eeprom_nothing", kVendorRequestWritesEeprom, 0, 3000},
                      TimeoutCase{"other_flags", 0xFE, 4096, 3000}),
    [](const auto& info) { return std::string(info.param.name); });

// The driver knows no request codes: the link marks the requests that write the
// sensor's EEPROM in the block it hands over, and only those get the long timeout.
class BlockRecorder final : public UsbDriver {
 public:
  DeviceHandle open(const std::string&, std::uint32_t&) override { return 1; }
  bool control(DeviceHandle, std::uint32_t code, const std::uint8_t* input, std::size_t inputLength, std::uint8_t*,
               std::size_t outputLength, std::size_t& returned, std::uint32_t&) override {
    ControlSetup setup;
    if (code == kControlVendorRequest && controlSetupFromBlock(input, inputLength, setup)) {
      timeouts.push_back(transferTimeoutMs(setup, outputLength));
    }
    returned = outputLength;
    return true;
  }
  void close(DeviceHandle) override {}
  std::vector<unsigned> timeouts;
};

TEST(TransferTimeout, TheLinksEepromWritesGetTheLongTimeout) {
  BlockRecorder driver;
  UsbDriverScope scope(driver);
  DeviceLink link;
  ASSERT_TRUE(link.open(0));
  std::vector<std::uint8_t> bytes(4096, 0x5A);
  link.writeDatasheet(0, bytes.data(), bytes.size());
  link.readDatasheet(0, bytes.data(), bytes.size());
  link.writeCalibration(0, kCalibrationBlockSelector, bytes.data(), 96);
  link.readCalibration(0, kCalibrationBlockSelector, bytes.data(), 96);
  link.writeInterfaceMemory(1008, 0x1000, bytes.data());
  EXPECT_EQ(driver.timeouts, (std::vector<unsigned>{3000 + 128 * 20, 3000, 3000 + 3 * 20, 3000, 3000}));
}

TEST(LibusbErrors, MapToSystemErrors) {
  EXPECT_EQ(errnoFromLibusb(LIBUSB_ERROR_NO_DEVICE), static_cast<std::uint32_t>(ENODEV));
  EXPECT_EQ(errnoFromLibusb(LIBUSB_ERROR_TIMEOUT), static_cast<std::uint32_t>(ETIMEDOUT));
  EXPECT_EQ(errnoFromLibusb(LIBUSB_ERROR_ACCESS), static_cast<std::uint32_t>(EACCES));
  EXPECT_EQ(errnoFromLibusb(LIBUSB_ERROR_PIPE), static_cast<std::uint32_t>(EPIPE));
  EXPECT_EQ(errnoFromLibusb(-999), static_cast<std::uint32_t>(EIO));
}

// This machine has no interface attached (often no USB at all): the real driver
// must still load and answer "no interface" cleanly.
TEST(LibusbDriver, NoInterfaceAttached) {
  LibusbDriver driver(isSupportedInterface);
  UsbDriverScope scope(driver);
  std::uint32_t error = 0;
  EXPECT_EQ(driver.open("\\\\.\\qzusb-8", error), kInvalidHandle);
  EXPECT_TRUE(error == ENOENT || error == ENODEV) << error;
  EXPECT_FALSE(DeviceLink::probe(8, true));
  DeviceLink link;
  EXPECT_FALSE(link.open(8));
  EXPECT_FALSE(link.isAlive());
  std::size_t returned = 7;
  EXPECT_FALSE(driver.control(1234, kControlPresence, nullptr, 0, nullptr, 0, returned, error));
  EXPECT_EQ(returned, 0u);
}

}  // namespace
}  // namespace trimwell
