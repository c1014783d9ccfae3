// libFuzzer target: the wireless bridge's serial line answering with any bytes:
// the handshake, then each request the station makes of an interface (its
// version, a port's status, a datasheet, a sample, the calibration block). The
// bridge may refuse, never read or write past what it was given.
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "link/device_link.h"
#include "link/serial_bridge.h"
#include "platform/registry.h"
#include "platform/serial_port.h"
#include "platform/sleeper.h"

namespace {

// A line whose every read takes the next of the input's bytes.
class FuzzedLine final : public trimwell::SerialPort {
 public:
  FuzzedLine(const std::uint8_t* data, std::size_t size) : bytes_(data, data + size) {}
  bool open(const std::string&) override { return open_ = true; }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  bool setTimeouts(const trimwell::SerialTimeouts&) override { return true; }
  bool read(std::uint8_t* buffer, std::size_t count, std::size_t& got) override {
    got = 0;
    while (got < count && !bytes_.empty()) {
      buffer[got++] = bytes_.front();
      bytes_.pop_front();
    }
    return true;
  }
  bool write(const std::uint8_t*, std::size_t count, std::size_t& sent) override {
    sent = count;
    return true;
  }
  bool purgeReceive() override { return true; }
  int lastError() const override { return 0; }
  std::intptr_t handle() const override { return open_ ? 7 : -1; }

 private:
  std::deque<std::uint8_t> bytes_;
  bool open_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  trimwell::RecordingSleeper sleeper;
  trimwell::SleeperScope sleeping(sleeper);
  trimwell::MemoryRegistry user;
  user.createKey(trimwell::kVentrixPortKey);
  user.setString(trimwell::kVentrixPortKey, "", u"ttyFUZZ");
  FuzzedLine line(data, size);
  trimwell::SerialBridge bridge(line, user);
  trimwell::installSerialBridge(&bridge);
  {
    trimwell::DeviceLink link;
    if (link.open(trimwell::kWirelessInterface)) {
      int major = 0, minor = 0;
      link.readInterfaceVersion(&major, &minor);
      trimwell::PortStatus status;
      link.readPortStatus(0, &status);
      std::vector<std::uint8_t> buffer(512, 0);
      std::size_t returned = 0;
      link.readDatasheet(0, buffer.data(), buffer.size(), &returned);
      if (returned > buffer.size()) std::abort();
      link.readSample(0, buffer.data(), 64, &returned);
      if (returned > 64) std::abort();
      link.readCalibration(0, trimwell::kCalibrationBlockSelector, buffer.data(), 48, &returned);
      if (returned > 48) std::abort();
    }
  }
  trimwell::installSerialBridge(nullptr);
  return 0;
}
