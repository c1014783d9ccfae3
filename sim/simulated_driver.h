#pragma once
// The USB driver layer over simulated interfaces, numbered 0 to 8.

#include <array>
#include <map>
#include <memory>

#include "platform/usb_driver.h"
#include "sim/simulated_interface.h"

namespace trimwell::sim {

class SimulatedDriver final : public UsbDriver {
 public:
  static constexpr int kSlots = 9;

  // Plugs an interface in as number n (replacing any there) and returns it.
  SimulatedInterface& plug(int n, std::unique_ptr<SimulatedInterface> interface);
  SimulatedInterface& plug(int n) { return plug(n, std::make_unique<SimulatedInterface>()); }
  // Handles opened on the departed interface answer nothing from now on.
  void unplug(int n);
  SimulatedInterface* at(int n) const;
  std::size_t openHandles() const { return handles_.size(); }
  std::size_t opens() const { return opens_; }

  DeviceHandle open(const std::string& path, std::uint32_t& error) override;
  bool control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input, std::size_t inputLength,
               std::uint8_t* output, std::size_t outputLength, std::size_t& returned,
               std::uint32_t& error) override;
  void close(DeviceHandle handle) override;

 private:
  struct Slot {
    std::unique_ptr<SimulatedInterface> interface;
    int generation = 0;  // counts plugs, so an old handle never reaches a new device
  };
  struct OpenDevice {
    int number;
    int generation;
  };
  std::array<Slot, kSlots> slots_;
  std::map<DeviceHandle, OpenDevice> handles_;
  DeviceHandle nextHandle_ = 1;
  std::size_t opens_ = 0;
};

}  // namespace trimwell::sim
