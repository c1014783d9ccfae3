// The serial port layer's helpers: the port names the user's store holds, and the
// deadline the serial bridge's timed reads and writes count down.
#include "platform/serial_port.h"

#include <chrono>

#include <gtest/gtest.h>

namespace trimwell {
namespace {

// Names as the user's store keeps them: the system's "\\.\" device prefix before
// a port name or a whole path.
TEST(SerialPortNames, MapToDevicePaths) {
  EXPECT_EQ(devicePathForPort("\\\\.\\COM5"), "/dev/COM5");
  EXPECT_EQ(devicePathForPort("\\\\.\\ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(devicePathForPort("\\\\.\\/dev/pts/3"), "/dev/pts/3");
  EXPECT_EQ(devicePathForPort("/dev/ttyS1"), "/dev/ttyS1");
}

TEST(Deadline, CountsDown) {
  EXPECT_TRUE(Deadline(std::chrono::milliseconds(0)).expired());
  const Deadline later(std::chrono::milliseconds(1000));
  EXPECT_GT(later.remainingMs(), 900);
  EXPECT_LE(later.remainingMs(), 1000);
}

}  // namespace
}  // namespace trimwell
