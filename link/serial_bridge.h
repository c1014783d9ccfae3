#pragma once
// Entry points of the serial bridge that make the wireless interface answer as
// interface number 9.

#include <cstddef>
#include <cstdint>

#include "platform/usb_driver.h"

namespace trimwell {

// The bridge's port handle (connecting first when needed), or kInvalidHandle with
// error set. The port outlives the links that use it.
DeviceHandle bridgeConnect(std::uint32_t& error);

// One control request answered over the serial line, with the USB driver's buffers.
bool bridgeControl(std::uint32_t code, const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                   std::size_t outputLength, std::size_t& returned, std::uint32_t& error);

}  // namespace trimwell
