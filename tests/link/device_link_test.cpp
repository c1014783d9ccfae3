#include "link/device_link.h"

#include <cerrno>

#include <vector>

#include <gtest/gtest.h>

#include "link/vendor_request.h"
#include "support/sim_fixture.h"

namespace trimwell {
namespace {

// The block's layout as the interface's driver reads it (link/vendor_request.h),
// multi-byte fields little-endian.
TEST(VendorRequestBlock, ByteForByte) {
  VendorRequestBlock block;
  block.direction = VendorRequestBlock::kDeviceToHost;
  block.request = 0xC3;
  block.value = 0x1234;
  block.index = 0xABCD;
  block.driverFlags = kVendorRequestWritesEeprom;
  const auto bytes = block.toBytes();
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 10>{1, 2, 2, 0, 0xC3, 1, 0x34, 0x12, 0xCD, 0xAB}));
  const VendorRequestBlock back = VendorRequestBlock::fromBytes(bytes.data());
  EXPECT_EQ(back.value, 0x1234);
  EXPECT_EQ(back.index, 0xABCD);
  EXPECT_EQ(back.direction, 1);
  EXPECT_EQ(back.driverFlags, kVendorRequestWritesEeprom);
}

struct Acceptance {
  std::uint16_t vendor;
  std::uint16_t product;
  bool accepted;
};

class AcceptanceTable : public ::testing::TestWithParam<Acceptance> {};

TEST_P(AcceptanceTable, Decides) {
  EXPECT_EQ(isSupportedInterface(GetParam().vendor, GetParam().product), GetParam().accepted);
}

// The interface products by the vendor and product IDs their descriptors carry
// (vendor 0x7A3C's seven, any product of vendor 0x0547), and neighbours of them
// that are no interface.
INSTANTIATE_TEST_SUITE_P(Products, AcceptanceTable,
                         ::testing::Values(Acceptance{0x7A3C, 0x0002, true}, Acceptance{0x7A3C, 0x0003, true},
                                           Acceptance{0x7A3C, 0x0005, true}, Acceptance{0x7A3C, 0x0006, true},
                                           Acceptance{0x7A3C, 0x0007, true}, Acceptance{0x7A3C, 0x0100, true},
                                           Acceptance{0x7A3C, 0x0101, true}, Acceptance{0x0547, 0x1234, true},
                                           Acceptance{0x0547, 0x0000, true}, Acceptance{0x7A3C, 0x0004, false},
                                           Acceptance{0x7A3C, 0x0102, false}, Acceptance{0x1234, 0x0002, false}));

using DeviceLinkTest = test::SimFixture;

TEST_F(DeviceLinkTest, ProbeIdentifiesAndLeavesNothingOpen) {
  plugInterface(0);
  std::uint16_t vendor = 0, product = 0;
  EXPECT_TRUE(DeviceLink::probe(0, true, &vendor, &product));
  EXPECT_EQ(vendor, 0x7A3C);
  EXPECT_EQ(product, 0x0002);
  EXPECT_TRUE(DeviceLink::probe(0, false));
  EXPECT_EQ(driver.openHandles(), 0u);
  EXPECT_FALSE(DeviceLink::probe(1, false));
}

TEST_F(DeviceLinkTest, ProbeRejectsUnsupportedProducts) {
  plugInterface(0, 0x0004);
  std::uint16_t product = 0;
  EXPECT_FALSE(DeviceLink::probe(0, true, nullptr, &product));
  EXPECT_EQ(product, 0x0004);
  EXPECT_EQ(driver.openHandles(), 0u);
}

TEST_F(DeviceLinkTest, WirelessInterfaceGoesToTheBridgeNotTheDriver) {
  plugInterface(0);
  DeviceLink link;
  EXPECT_FALSE(link.open(kWirelessInterface));
  EXPECT_NE(link.lastError, 0u);
  EXPECT_FALSE(DeviceLink::probe(kWirelessInterface, false));
  EXPECT_TRUE(driver.at(0)->log.empty());
}

TEST_F(DeviceLinkTest, OpenOfAnAbsentInterfaceKeepsTheSystemError) {
  DeviceLink link;
  EXPECT_FALSE(link.open(2));
  EXPECT_EQ(link.interfaceNumber, 2);
  EXPECT_EQ(link.lastError, static_cast<std::uint32_t>(ENOENT));
  EXPECT_FALSE(link.isOpen());
}

TEST_F(DeviceLinkTest, DescriptorErrors) {
  auto& interface = plugInterface(0);
  DeviceLink link;
  ASSERT_TRUE(link.open(0));
  EXPECT_FALSE(link.getDeviceDescriptor(nullptr));
  EXPECT_EQ(link.lastError, 1u);
  interface.shortNext(sim::kFaultDescriptor);
  std::uint8_t descriptor[18];
  EXPECT_FALSE(link.getDeviceDescriptor(descriptor));
  EXPECT_EQ(link.lastError, 2u);
  interface.failNext(sim::kFaultDescriptor);
  EXPECT_FALSE(link.getDeviceDescriptor(descriptor));
  EXPECT_EQ(link.lastError, 2u);
  EXPECT_TRUE(link.getDeviceDescriptor(descriptor));
  EXPECT_EQ(link.lastError, 0u);
}

TEST_F(DeviceLinkTest, IsAliveFailsAfterUnplugAndAfterClose) {
  plugInterface(0);
  DeviceLink link;
  ASSERT_TRUE(link.open(0));
  EXPECT_TRUE(link.isAlive());
  driver.unplug(0);
  EXPECT_FALSE(link.isAlive());
  EXPECT_EQ(link.lastError, static_cast<std::uint32_t>(ENODEV));
  plugInterface(0);
  EXPECT_FALSE(link.isAlive());  // a new device behind the same number is not this link's
  ASSERT_TRUE(link.open(0));
  EXPECT_TRUE(link.isAlive());
  link.close();
  EXPECT_FALSE(link.isAlive());
  EXPECT_EQ(driver.openHandles(), 0u);
}

TEST_F(DeviceLinkTest, FailedRequestReportsNoBytes) {
  auto& interface = plugInterface(0);
  plugSensor(interface);
  DeviceLink link;
  ASSERT_TRUE(link.open(0));
  interface.failNext(kRequestReadDatasheet);
  std::uint8_t buffer[8];
  std::size_t returned = 99;
  EXPECT_FALSE(link.readDatasheet(0, buffer, sizeof buffer, &returned));
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(link.lastError, static_cast<std::uint32_t>(EIO));
}

// The simulated driver reports what the kernel's does: a write that moved part of its
// bytes failed, and no transfer carries more than 4096.
TEST_F(DeviceLinkTest, SimulatedDriverFailsShortAndOversizedWrites) {
  auto& interface = plugInterface(0);
  plugSensor(interface);
  DeviceLink link;
  ASSERT_TRUE(link.open(0));
  const std::vector<std::uint8_t> block(16, 0x11);
  interface.shortNext(kRequestCalibration);
  EXPECT_FALSE(link.writeCalibration(0, 1, block.data(), block.size()));
  EXPECT_EQ(link.lastError, static_cast<std::uint32_t>(EIO));
  EXPECT_TRUE(link.writeCalibration(0, 1, block.data(), block.size()));
  const std::vector<std::uint8_t> image(kMaxControlTransfer + 1, 0x22);
  interface.log.clear();
  EXPECT_FALSE(link.writeDatasheet(0, image.data(), image.size()));
  EXPECT_EQ(link.lastError, static_cast<std::uint32_t>(EINVAL));
  EXPECT_TRUE(interface.log.empty());
  std::vector<std::uint8_t> back(kMaxControlTransfer + 1);
  EXPECT_FALSE(link.readDatasheet(0, back.data(), back.size()));
}

}  // namespace
}  // namespace trimwell
