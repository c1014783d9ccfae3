// The serial port layer's helpers: the port names the user's store holds, the
// deadline the serial bridge's timed reads and writes count down, and the read
// interval on a real pseudo-terminal.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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

// A pseudo-terminal's far end, closed with the test.
class Pty {
 public:
  Pty() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
    if (master_ >= 0 && (grantpt(master_) != 0 || unlockpt(master_) != 0)) {
      ::close(master_);
      master_ = -1;
    }
  }
  ~Pty() {
    if (master_ >= 0) ::close(master_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  bool ok() const { return master_ >= 0; }
  std::string device() const { return ptsname(master_); }

 private:
  int master_;
};

// A PID no process has: a child that has ended and been reaped.
pid_t endedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

struct LockCase {
  const char* name;
  // What stands in the lock file before the station opens the port; none: no file.
  std::string (*content)();
  bool opens;
};

class SerialLockFile : public ::testing::TestWithParam<LockCase> {};

TEST_P(SerialLockFile, IsTakenUnlessALiveProcessHoldsIt) {
  char folder[] = "/tmp/trimwell-lock-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  Pty pty;
  ASSERT_TRUE(pty.ok());
  const std::string lock = std::string(folder) + "/" + TermiosPort::lockFileName(pty.device());
  if (GetParam().content != nullptr) std::ofstream(lock) << GetParam().content();
  TermiosPort port(folder);
  EXPECT_EQ(port.open(pty.device()), GetParam().opens) << port.lastError();
  std::ifstream held(lock);
  std::string text((std::istreambuf_iterator<char>(held)), std::istreambuf_iterator<char>());
  if (GetParam().opens) {
    // HDB UUCP form: the PID in ten columns and a line break.
    char mine[16];
    std::snprintf(mine, sizeof mine, "%10d\n", static_cast<int>(getpid()));
    EXPECT_EQ(text, mine);
    port.close();
    EXPECT_FALSE(std::filesystem::exists(lock)) << "the lock file stayed after closing";
  } else {
    EXPECT_EQ(port.lastError(), EBUSY);
    EXPECT_EQ(text, GetParam().content()) << "another's lock file was changed";
  }
  std::filesystem::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, SerialLockFile,
    ::testing::Values(LockCase{"none", nullptr, true},
                      LockCase{"live_process",
                               [] {
                                 char text[16];
                                 std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getppid()));
                                 return std::string(text);
                               },
                               false},
                      LockCase{"live_process_short_form", [] { return std::to_string(getppid()) + "\n"; }, false},
                      LockCase{"stale", [] { return std::to_string(endedProcess()) + "\n"; }, true},
                      LockCase{"no_pid", [] { return std::string("garbage\n"); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SerialLockFile, NamesTheDeviceUnderDev) {
  EXPECT_EQ(TermiosPort::lockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
  EXPECT_EQ(TermiosPort::lockFileName("/dev/pts/3"), "LCK..pts_3");
}

}  // namespace
}  // namespace trimwell
