// The serial port layer's helpers: the port names the user's store holds, the
// deadline the serial bridge's timed reads and writes count down, and the read
// interval on a real pseudo-terminal.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "platform/termios_port.h"

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

// A line that goes quiet ends a read with a read interval, long before its total
// time (ten minutes here, which a read that ignored the interval would wait out);
// bytes that keep coming within the interval are all read.
TEST(TermiosPortReadInterval, QuietLineEndsTheRead) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  TermiosPort port;
  ASSERT_TRUE(port.open(ptsname(master))) << port.lastError();
  SerialTimeouts t;
  t.readInterval = 20;
  t.readTotalConstant = 600000;
  ASSERT_TRUE(port.setTimeouts(t));
  std::uint8_t buffer[64] = {};
  std::size_t got = 0;
  ASSERT_TRUE(port.read(buffer, sizeof buffer, got));  // nothing came at all
  EXPECT_EQ(got, 0u);
  const std::uint8_t sent[5] = {1, 2, 3, 4, 5};
  ASSERT_EQ(::write(master, sent, sizeof sent), static_cast<ssize_t>(sizeof sent));
  ASSERT_TRUE(port.read(buffer, sizeof buffer, got));
  EXPECT_EQ(got, sizeof sent);
  EXPECT_EQ(buffer[4], 5);
  port.close();
  ::close(master);
}

}  // namespace
}  // namespace trimwell
