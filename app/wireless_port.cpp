#include "app/wireless_port.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>

#include "datasheet/text.h"
#include "platform/format_text.h"
#include "platform/sleeper.h"

namespace trimwell {
namespace fs = std::filesystem;

namespace {

// A serial-core port reports its UART type; 0 means the kernel found no chip
// behind it, as for most of the sixteen ttyS names a PC has.
bool hasUart(const fs::path& ttyClass) {
  std::ifstream type(ttyClass / "type");
  if (!type) return true;  // USB adapters and modems have no such file
  int value = 0;
  return (type >> value) && value != 0;
}

std::string loginName() {
  if (const passwd* user = getpwuid(geteuid())) return user->pw_name;
  return "$USER";
}

}  // namespace

std::vector<std::string> listSerialPorts(const std::string& root) {
  const fs::path base = root.empty() ? fs::path("/") : fs::path(root);
  std::error_code error;
  std::map<std::string, std::string> byDevice;  // /dev/NAME -> the name to show
  for (const fs::directory_entry& tty : fs::directory_iterator(base / "sys/class/tty", error)) {
    if (!fs::exists(tty.path() / "device", error) || !hasUart(tty.path())) continue;
    const std::string device = "/dev/" + tty.path().filename().string();
    byDevice[device] = device;
  }
  for (const fs::directory_entry& link : fs::directory_iterator(base / "dev/serial/by-id", error)) {
    const fs::path target = fs::weakly_canonical(link.path(), error);
    if (error) continue;
    const std::string device = "/" + target.lexically_relative(base).string();
    const auto known = byDevice.find(device);
    if (known != byDevice.end()) known->second = "/dev/serial/by-id/" + link.path().filename().string();
  }
  std::vector<std::string> ports;
  for (const auto& [device, shown] : byDevice) ports.push_back(shown);
  // The named adapters first: they are what an operator plugs in.
  std::stable_partition(ports.begin(), ports.end(),
                        [](const std::string& p) { return p.rfind("/dev/serial/by-id/", 0) == 0; });
  return ports;
}

std::string portOpenProblem(const std::string& path, int error, const char* port) {
  switch (error) {
    case EACCES:
    case EPERM:
      return formatText("Cannot open %s %s: permission denied. Serial ports belong to the group "
                        "dialout: add your login to it (sudo adduser %s dialout), then log out and in again.",
                        port, path.c_str(), loginName().c_str());
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return formatText("Cannot open %s %s: there is no such port. Is its adapter plugged in?", port,
                        path.c_str());
    case EBUSY:
      return formatText("Cannot open %s %s: another program is using it.", port, path.c_str());
    default:
      return formatText("Cannot open %s %s: %s.", port, path.c_str(), systemErrorText(error).c_str());
  }
}

WirelessPort::WirelessPort(Registry& currentUser, SerialBridge& bridge) : registry_(currentUser), bridge_(bridge) {
  std::u16string value;
  if (registry_.openKey(kVentrixPortKey) && registry_.queryString(kVentrixPortKey, "", value)) chosen_ = toUtf8(value);
}

std::vector<std::string> WirelessPort::choices(const std::string& root) const {
  std::vector<std::string> list = {kNone};
  const std::vector<std::string> system = listSerialPorts(root);
  list.insert(list.end(), system.begin(), system.end());
  std::vector<std::string> more = extraPorts;
  more.push_back(chosen());
  for (const std::string& port : more) {
    if (!port.empty() && std::find(list.begin(), list.end(), port) == list.end()) list.push_back(port);
  }
  return list;
}

bool WirelessPort::choose(const std::string& port) {
  const std::string value = port == kNone ? std::string() : port;
  std::u16string stored;
  if (!fromUtf8(value, stored)) {
    problem_ = "The wireless port's name is not valid text.";
    return false;
  }
  // The bridge would read a longer name cut short, and open another device.
  if (stored.size() > SerialBridge::kLongestPortName) {
    problem_ = formatText("The wireless port's name is longer than the %zu characters the station can keep; choose "
                          "it by its /dev/tty name.",
                          SerialBridge::kLongestPortName);
    return false;
  }
  // The port in use is let go first, whatever comes of the new choice.
  bridge_.disconnect();
  if (!registry_.createKey(kVentrixPortKey) || !registry_.setString(kVentrixPortKey, "", stored)) {
    problem_ = "The wireless port could not be kept: " + registry_.keepingProblem();
    return false;
  }
  registry_.flush();
  chosen_ = value;
  problem_.clear();
  closedPseudoTerminal_ = false;
  return value.empty() || connect();
}

bool WirelessPort::connect() {
  const std::string stored = chosen();
  portSeen_ = !stored.empty() && portExists();
  lastTry_ = sleeper().seconds();
  if (stored.empty()) {
    problem_.clear();
    return false;
  }
  if (bridge_.connect(true) != kInvalidHandle) {
    problem_.clear();
    return true;
  }
  const std::string path = devicePath();
  problem_ = bridge_.openError() != 0
                 ? portOpenProblem(path, bridge_.openError())
                 : formatText("No wireless interface answered on %s. Check that it is switched on and on this "
                              "port, then choose the port again.",
                              path.c_str());
  return false;
}

void WirelessPort::watch() {
  if (bridge_.connected()) return;
  const std::string stored = chosen();
  if (stored.empty()) return;
  const bool seen = portExists();
  const bool portSeenBefore = portSeen_;
  portSeen_ = seen;
  // A pseudo-terminal does not come back: the kernel hands its number to the next
  // program that asks for one (a terminal window, another station's interface), and
  // frames written there would land in that program.
  if (portSeenBefore && !seen && isPseudoTerminal(devicePath())) {
    closedPseudoTerminal_ = true;
    problem_ = formatText("The wireless port %s was a pseudo-terminal and has closed; %s.", devicePath().c_str(),
                          kClosedPseudoTerminalAdvice);
  }
  if (closedPseudoTerminal_) return;
  // A connect that found nobody answering leaves the bridge connecting, and the
  // bridge then refuses every further connect at once; the port never went, so
  // nothing else would try it again.
  const bool stuck = bridge_.connecting() && sleeper().seconds() - lastTry_ >= kRetrySeconds;
  if (seen && !portSeenBefore) {
    connect();
  } else if (seen && stuck) {
    retry();
  }
}

// Closes the port and opens it again, as choosing it does: the bridge takes a new
// connect only from a port it opens afresh.
void WirelessPort::retry() {
  bridge_.disconnect();
  if (connect() || bridge_.openError() != 0) return;
  problem_ = formatText("No wireless interface answers on %s; the station tries it again every %.0f seconds. Check "
                        "that it is switched on and within reach.",
                        devicePath().c_str(), kRetrySeconds);
}

bool WirelessPort::portExists() const {
  struct stat info {};
  return ::stat(devicePath().c_str(), &info) == 0;
}

// The bridge opens "\\.\" followed by the stored name.
std::string WirelessPort::devicePath() const { return devicePathForPort("\\\\.\\" + chosen_); }

}  // namespace trimwell
