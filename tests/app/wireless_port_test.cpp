// The operator's choice of the wireless port, through the real serial port layer:
// the ports a system lists, the choice in the user's INI file, a port the operator
// may not open, and an adapter that comes back.
#include "app/wireless_port.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "app/dialog_layout.h"
#include "app/control_ids.h"
#include "platform/memory_controls.h"
#include "platform/registry.h"
#include "platform/qt/qsettings_registry.h"
#include "platform/termios_port.h"
#include "sim/station/simulated_station.h"
#include "sim/wireless_interface.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace trimwell {
namespace {

void makeTty(const test::TempDir& root, const std::string& name, const char* uartType) {
  const fs::path tty = root.path() / "sys/class/tty" / name;
  fs::create_directories(tty);
  fs::create_directories(root.path() / "sys/devices" / name);
  fs::create_directory_symlink(root.path() / "sys/devices" / name, tty / "device");
  if (uartType != nullptr) root.write("sys/class/tty/" + name + "/type", uartType);
  root.write("dev/" + name, "");
}

TEST(SerialPortList, NamedAdaptersFirstAndUartsWithoutAChipLeftOut) {
  test::TempDir root;
  makeTty(root, "ttyS0", "4\n");   // a 16550A
  makeTty(root, "ttyS1", "0\n");   // a name without a chip behind it
  makeTty(root, "ttyUSB0", nullptr);
  makeTty(root, "ttyACM0", nullptr);
  fs::create_directories(root.path() / "sys/class/tty/tty5");  // a console: no device
  fs::create_directories(root.path() / "dev/serial/by-id");
  fs::create_symlink("../../ttyUSB0", root.path() / "dev/serial/by-id/usb-Acme_Serial_A1B2-if00-port0");

  EXPECT_EQ(listSerialPorts(root.path().string()),
            (std::vector<std::string>{"/dev/serial/by-id/usb-Acme_Serial_A1B2-if00-port0", "/dev/ttyACM0",
                                      "/dev/ttyS0"}));
}

TEST(SerialPortList, ASystemWithoutTtyClassHasNone) {
  test::TempDir root;
  EXPECT_TRUE(listSerialPorts(root.path().string()).empty());
}

std::string fileText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class WirelessPortTest : public ::testing::Test {
 protected:
  WirelessPortTest() : bridge(port, user), wireless(user, bridge) {}
  ~WirelessPortTest() override { bridge.disconnect(); }
  MemoryRegistry user;
  TermiosPort port;
  SerialBridge bridge;
  WirelessPort wireless;
};

// Kept in the file the moment it is chosen, not when the station ends: a station
// that crashes, or is killed with the machine's power, starts on the same port.
TEST(WirelessPortStore, ChoiceIsInTheUsersIniAtOnceWhereTheBridgeReadsIt) {
  test::TempDir folder;
  sim::WirelessInterface interface;
  ASSERT_TRUE(interface.started());
  const std::string ini = folder.file("CurrentUser.ini");
  {
    QSettingsRegistry user(ini);
    TermiosPort port;
    SerialBridge bridge(port, user);
    WirelessPort wireless(user, bridge);
    ASSERT_TRUE(wireless.choose(interface.portPath())) << wireless.problem();
    EXPECT_TRUE(bridge.connected());
    EXPECT_EQ(bridge.portName(), "\\\\.\\" + interface.portPath());
    EXPECT_EQ(wireless.choices().back(), interface.portPath());
    const std::string text = fileText(ini);
    EXPECT_NE(text.find("Korvane\\Lumeno\\VentrixPort\\Default=" + interface.portPath()), std::string::npos)
        << text;
    bridge.disconnect();
  }
  // The next start finds it again.
  QSettingsRegistry again(ini);
  TermiosPort port;
  SerialBridge bridge(port, again);
  EXPECT_EQ(WirelessPort(again, bridge).chosen(), interface.portPath());
}

TEST_F(WirelessPortTest, NoneLetsThePortGoAndKeepsAnEmptyValue) {
  sim::WirelessInterface interface;
  ASSERT_TRUE(wireless.choose(interface.portPath())) << wireless.problem();
  ASSERT_TRUE(bridge.connected());
  EXPECT_TRUE(wireless.choose(WirelessPort::kNone));
  EXPECT_FALSE(bridge.connected());
  EXPECT_FALSE(port.isOpen());
  std::u16string stored = u"x";
  ASSERT_TRUE(user.queryString(kVentrixPortKey, "", stored));
  EXPECT_TRUE(stored.empty());
  EXPECT_EQ(wireless.choices().front(), "none");
}

// The operator is not in the port's group: the real open fails with EACCES, and
// the message says what to do about it. Run as root, the check runs in a child
// that has given root up, since root may open anything.
TEST_F(WirelessPortTest, APortTheOperatorMayNotOpenNamesDialout) {
  test::TempDir folder;
  const std::string locked = folder.file("ttyLocked");
  folder.write("ttyLocked", "");
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  int answer[2];
  ASSERT_EQ(pipe(answer), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(answer[0]);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    wireless.choose(locked);
    const std::string problem = wireless.problem();
    _exit(write(answer[1], problem.data(), problem.size()) == static_cast<ssize_t>(problem.size()) ? 0 : 4);
  }
  close(answer[1]);
  std::string problem;
  char chunk[256];
  for (ssize_t n; (n = read(answer[0], chunk, sizeof chunk)) > 0;) problem.append(chunk, static_cast<std::size_t>(n));
  close(answer[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(problem.rfind("Cannot open the wireless port " + locked + ": permission denied. Serial ports belong to "
                          "the group dialout: add your login to it (sudo adduser ",
                          0),
            0u)
      << problem;
  EXPECT_NE(problem.find(" dialout), then log out and in again."), std::string::npos) << problem;
}

TEST_F(WirelessPortTest, ANameTheBridgeWouldCutShortIsRefusedAndTheOldChoiceKept) {
  wireless.choose("/dev/ttyUSB0");  // kept, whether or not this machine has one
  ASSERT_EQ(wireless.chosen(), "/dev/ttyUSB0");
  const std::string longest = "/dev/serial/by-id/" + std::string(SerialBridge::kLongestPortName - 18, 'x');
  EXPECT_FALSE(wireless.choose(longest + "y"));
  EXPECT_EQ(wireless.problem(), "The wireless port's name is longer than the 127 characters the station can keep; "
                                "choose it by its /dev/tty name.");
  EXPECT_EQ(wireless.chosen(), "/dev/ttyUSB0");
  wireless.choose(longest);
  EXPECT_EQ(wireless.chosen(), longest);
}

TEST_F(WirelessPortTest, OpenProblemsInWords) {
  EXPECT_EQ(portOpenProblem("/dev/ttyUSB0", EBUSY), "Cannot open the wireless port /dev/ttyUSB0: another program is using it.");
  EXPECT_EQ(portOpenProblem("/dev/ttyUSB0", EIO), "Cannot open the wireless port /dev/ttyUSB0: Input/output error.");
}

// An adapter pulled and plugged back (its by-id link goes and comes) is tried again
// as soon as it is back, without the operator choosing it anew.
TEST_F(WirelessPortTest, APortThatComesBackIsTriedAgain) {
  sim::WirelessInterface interface;
  ASSERT_TRUE(interface.started());
  test::TempDir folder;
  const std::string link = folder.file("usb-Acme_Serial_A1B2-if00-port0");
  EXPECT_FALSE(wireless.choose(link));
  EXPECT_EQ(wireless.problem(),
            "Cannot open the wireless port " + link + ": there is no such port. Is its adapter plugged in?");
  wireless.watch();
  EXPECT_FALSE(wireless.connected());
  fs::create_symlink(interface.portPath(), link);
  wireless.watch();
  EXPECT_TRUE(wireless.connected()) << wireless.problem();
  EXPECT_TRUE(wireless.problem().empty());
}

// The kernel gives a closed pseudo-terminal's number to the next program that asks
// for one; the station must not write its frames into that program.
TEST_F(WirelessPortTest, APseudoTerminalThatClosedIsNotTakenWhenItsNumberComesBack) {
  auto first = std::make_unique<sim::WirelessInterface>();
  ASSERT_TRUE(first->started());
  const std::string path = first->portPath();
  ASSERT_TRUE(wireless.choose(path)) << wireless.problem();
  first.reset();
  bridge.disconnect();  // as the next scan does, its port status failing
  wireless.watch();
  EXPECT_EQ(wireless.problem(), "The wireless port " + path +
                                    " was a pseudo-terminal and has closed; a new one by that name belongs to another "
                                    "program. Start what made the port again, then choose its port.");
  // Another program's terminal under the same name (the lowest free number is
  // given out first, unless a test beside this one took it).
  std::vector<std::unique_ptr<sim::WirelessInterface>> others;
  while (others.size() < 16 && (others.empty() || others.back()->portPath() != path)) {
    others.push_back(std::make_unique<sim::WirelessInterface>());
  }
  if (others.back()->portPath() != path) GTEST_SKIP() << path << " was taken by another program";
  wireless.watch();
  EXPECT_FALSE(wireless.connected());
  EXPECT_FALSE(port.isOpen());
  // Chosen again, it is the operator's to use.
  EXPECT_TRUE(wireless.choose(path)) << wireless.problem();
}

}  // namespace
}  // namespace trimwell

namespace trimwell {
namespace {

// A sensor on the wireless interface, on the real bridge over a real pty.
class WirelessStation : public ::testing::Test {
 protected:
  WirelessStation() : controls(dialogControls()), station(controls, settings, paths()) {}
  static DialogPaths paths() {
    DialogPaths p;
    p.datasheetFolder = TRIMWELL_SAMPLE_DIR;
    return p;
  }
  void choose(const std::string& port) {
    ASSERT_TRUE(controls.type(ids::kWirelessPort, port));
    ASSERT_TRUE(controls.click(ids::kWirelessPort));
  }
  std::vector<std::string> statusesOfATick() {
    std::vector<std::string> seen;
    controls.textObserver = [&seen](int id, const std::string& text) {
      if (id == ids::kStatus) seen.push_back(text);
    };
    station.tick();
    controls.textObserver = nullptr;
    return seen;
  }
  MemoryControls controls;
  MemoryRegistry settings;
  sim::SimulatedStation station;
};

// Another name for the port (here a link to the same pseudo-terminal, as a by-id
// name is to its ttyUSB) may be another interface: what was read through the old
// one is dropped and read afresh.
TEST_F(WirelessStation, ChoosingAnotherPortDropsTheInterfaceOnTheOldOne) {
  ASSERT_TRUE(station.switchWirelessOn());
  ASSERT_TRUE(station.plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds"));
  choose(station.wireless()->portPath());
  station.tick();
  ASSERT_EQ(controls.text(ids::kStatus), "BrimsenSensorGoodDataSheet");
  test::TempDir folder;
  const std::string link = folder.file("usb-Acme_Serial_A1B2-if00-port0");
  fs::create_symlink(station.wireless()->portPath(), link);
  choose(link);
  EXPECT_TRUE(controls.messages.empty());
  EXPECT_EQ(statusesOfATick(), (std::vector<std::string>{"BrimsenSensorRemoved:", "BrimsenInterfaceRemoved"}));
  EXPECT_EQ(statusesOfATick(),
            (std::vector<std::string>{"BrimsenInterfaceAdded", "BrimsenSensorAdded:", "BrimsenSensorGoodDataSheet"}));
  EXPECT_NE(controls.text(ids::kInfo).find("port " + link), std::string::npos) << controls.text(ids::kInfo);
}

}  // namespace
}  // namespace trimwell

namespace trimwell {
namespace {

// The radio drops for some scans and comes back (twice, as a bench's does): each
// time the interface and its sensor are found again without the operator, and
// while the interface is away the strip says what the station does about it.
class RadioDropout : public WirelessStation, public ::testing::WithParamInterface<int> {
 protected:
  std::vector<std::string> statusesOfTicks(int n) {
    std::vector<std::string> seen;
    for (int i = 0; i < n; ++i) {
      const std::vector<std::string> more = statusesOfATick();
      seen.insert(seen.end(), more.begin(), more.end());
    }
    return seen;
  }
};

TEST_P(RadioDropout, TheInterfaceIsFoundAgainByItself) {
  const int scans = GetParam();
  ASSERT_TRUE(station.switchWirelessOn());
  ASSERT_TRUE(station.plugSensor(TRIMWELL_SAMPLE_DIR "/thermal_probe_221.sds"));
  choose(station.wireless()->portPath());
  station.tick();
  ASSERT_EQ(controls.text(ids::kStatus), "BrimsenSensorGoodDataSheet");
  const std::string port = station.wireless()->portPath();
  const int retryScans = static_cast<int>(WirelessPort::kRetrySeconds * 1000 / CalibrationDialog::kTimerPeriodMs);
  for (int dropout = 0; dropout < 2; ++dropout) {
    station.wireless()->setSilent(true);
    std::vector<std::string> seen = statusesOfTicks(scans);
    ASSERT_FALSE(seen.empty()) << dropout;
    EXPECT_EQ(seen.front(), "BrimsenSensorRemoved:") << dropout;
    if (scans > 1) {
      EXPECT_EQ(controls.text(ids::kInfo).rfind("Interface: none", 0), 0u) << controls.text(ids::kInfo);
    }
    // Past the first retry the strip says that nobody answers, and that the
    // station keeps trying.
    if (scans >= 2 * retryScans) {
      EXPECT_EQ(controls.text(ids::kInfo),
                "Interface: none. No wireless interface answers on " + port +
                    "; the station tries it again every 2 seconds. Check that it is switched on and within "
                    "reach.\nSensor: none - The interface was unplugged.");
    }
    station.wireless()->setSilent(false);
    // Found within a retry's wait of the radio coming back.
    seen = statusesOfTicks(retryScans + 2);
    // A one-scan dropout ends before the interface is given up: only its sensor
    // is read again.
    std::vector<std::string> found = {"BrimsenSensorAdded:", "BrimsenSensorGoodDataSheet"};
    if (scans > 1) found.insert(found.begin(), "BrimsenInterfaceAdded");
    ASSERT_GE(seen.size(), found.size()) << dropout << ": " << ::testing::PrintToString(seen);
    EXPECT_EQ(std::vector<std::string>(seen.end() - static_cast<long>(found.size()), seen.end()), found) << dropout;
    EXPECT_EQ(controls.text(ids::kInfo).rfind("Interface: wireless", 0), 0u) << controls.text(ids::kInfo);
    EXPECT_TRUE(controls.messages.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Scans, RadioDropout, ::testing::Values(1, 2, 10));

}  // namespace
}  // namespace trimwell
