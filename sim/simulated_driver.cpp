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
  Slot& slot = slots_[static_cast<std::size_t>(it->second.number)];
  if (!slot.interface || slot.generation != it->second.generation) {
    error = ENODEV;
    return false;
  }
  // The same limit as the kernel's for one control transfer.
  if (code == kControlVendorRequest && outputLength > kMaxControlTransfer) {
    error = EINVAL;
    return false;
  }
  bool ok = slot.interface->handle(code, input, inputLength, output, outputLength, returned, error);
  // Part of a write is a failed write, as the real driver reports it.
  const bool hostToDevice = code == kControlVendorRequest && inputLength >= kVendorRequestBlockLength &&
                            input[0] == VendorRequestBlock::kHostToDevice;
  if (ok && hostToDevice && returned < outputLength) {
    ok = false;
    returned = 0;
    error = EIO;
  }
  // An interface that started new firmware has left the bus and come back: what
  // was open on it is gone, a new open finds it again.
  if (slot.interface->takeReattach()) ++slot.generation;
  return ok;
}

void SimulatedDriver::close(DeviceHandle handle) { handles_.erase(handle); }

}  // namespace trimwell::sim
