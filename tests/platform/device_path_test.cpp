// The USB driver layer's device paths: "\\.\qzusb-" and the interface number in
// decimal, as the interface's driver names its devices.
#include "link/device_link.h"
#include "platform/usb_driver.h"

#include <gtest/gtest.h>

namespace trimwell {
namespace {

TEST(DevicePath, PrefixAndDecimalNumber) {
  EXPECT_EQ(devicePath(3), "\\\\.\\qzusb-3");
  EXPECT_EQ(interfaceNumberFromPath(devicePath(8)), 8);
  EXPECT_EQ(interfaceNumberFromPath("/dev/ttyUSB0"), -1);
  EXPECT_EQ(interfaceNumberFromPath("\\\\.\\qzusb-x"), -1);
}

}  // namespace
}  // namespace trimwell
