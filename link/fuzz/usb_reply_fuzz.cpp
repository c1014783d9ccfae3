// libFuzzer target: a USB interface answering each control request with any
// bytes (and any length it claims): its descriptor, version, a port's status, a
// sample and the calibration block, beyond the datasheet the datasheet target
// reads. Nothing is read or written past what was asked.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "link/device_link.h"
#include "platform/sleeper.h"
#include "platform/usb_driver.h"

namespace {

class FuzzedInterface final : public trimwell::UsbDriver {
 public:
  FuzzedInterface(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  trimwell::DeviceHandle open(const std::string&, std::uint32_t&) override { return 1; }
  bool control(trimwell::DeviceHandle, std::uint32_t, const std::uint8_t*, std::size_t, std::uint8_t* output,
               std::size_t outputLength, std::size_t& returned, std::uint32_t& error) override {
    // Each answer: a byte that says how it goes (fails, short, long), then its bytes.
    const std::uint8_t how = take();
    if ((how & 0x07) == 0) {
      returned = 0;
      error = how;
      return false;
    }
    const std::size_t claimed = (how & 0x08) != 0 ? outputLength + how : std::min<std::size_t>(outputLength, how >> 2);
    const std::size_t given = std::min(claimed, outputLength);
    for (std::size_t i = 0; i < given; ++i) output[i] = take();
    returned = claimed;
    return true;
  }
  void close(trimwell::DeviceHandle) override {}

 private:
  std::uint8_t take() { return at_ < size_ ? data_[at_++] : 0; }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  trimwell::RecordingSleeper sleeper;
  trimwell::SleeperScope sleeping(sleeper);
  FuzzedInterface driver(data, size);
  trimwell::UsbDriverScope installed(driver);
  trimwell::DeviceLink link;
  if (!link.open(0)) return 0;
  std::uint8_t descriptor[18];
  link.getDeviceDescriptor(descriptor);
  int major = 0, minor = 0;
  // The text comes as bytes, up to the length asked: never past it.
  char text[33] = {};
  link.readInterfaceVersion(&major, &minor, text, sizeof text - 1);
  if (text[sizeof text - 1] != '\0') std::abort();
  trimwell::PortStatus status;
  link.readPortStatus(0, &status);
  std::vector<std::uint8_t> buffer(64, 0);
  std::size_t returned = 0;
  link.readSample(0, buffer.data(), buffer.size(), &returned);
  link.readCalibration(0, trimwell::kCalibrationBlockSelector, buffer.data(), 48, &returned);
  return 0;
}
