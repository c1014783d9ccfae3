#include "sim/simulated_driver.h"

#include <cerrno>

namespace trimwell::sim {

SimulatedInterface& SimulatedDriver::plug(int n, std::unique_ptr<SimulatedInterface> interface) {
  Slot& slot = slots_.at(static_cast<std::size_t>(n));
  slot.interface = std::move(interface);
  ++slot.generation;
  return *slot.interface;
}

void SimulatedDriver::unplug(int n) {
  Slot& slot = slots_.at(static_cast<std::size_t>(n));
  slot.interface.reset();
  ++slot.generation;
}

SimulatedInterface* SimulatedDriver::at(int n) const {
  if (n < 0 || n >= kSlots) return nullptr;
  return slots_[static_cast<std::size_t>(n)].interface.get();
}

DeviceHandle SimulatedDriver::open(const std::string& path, std::uint32_t& error) {
  const int n = interfaceNumberFromPath(path);
  if (at(n) == nullptr) {
    error = ENOENT;
    return kInvalidHandle;
  }
  ++opens_;
  const DeviceHandle handle = nextHandle_++;
  handles_[handle] = {n, slots_[static_cast<std::size_t>(n)].generation};
  return handle;
}

bool SimulatedDriver::control(DeviceHandle handle, std::uint32_t code, const std::uint8_t* input,
                              std::size_t inputLength, std::uint8_t* output, std::size_t outputLength,
                              std::size_t& returned, std::uint32_t& error) {
  returned = 0;
  const auto it = handles_.find(handle);
  if (it == handles_.end()) {
    error = EBADF;
    return false;
  }
  const Slot& slot = slots_[static_cast<std::size_t>(it->second.number)];
  if (!slot.interface || slot.generation != it->second.generation) {
    error = ENODEV;
    return false;
  }
  return slot.interface->handle(code, input, inputLength, output, outputLength, returned, error);
}

void SimulatedDriver::close(DeviceHandle handle) { handles_.erase(handle); }

}  // namespace trimwell::sim
