#include "link/vendor_request.h"

namespace trimwell {

std::array<std::uint8_t, 10> VendorRequestBlock::toBytes() const {
  return {direction,
          requestType,
          recipient,
          reservedBits,
          request,
          driverFlags,
          static_cast<std::uint8_t>(value),
          static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(index),
          static_cast<std::uint8_t>(index >> 8)};
}

VendorRequestBlock VendorRequestBlock::fromBytes(const std::uint8_t* bytes) {
  VendorRequestBlock block;
  block.direction = bytes[0];
  block.requestType = bytes[1];
  block.recipient = bytes[2];
  block.reservedBits = bytes[3];
  block.request = bytes[4];
  block.driverFlags = bytes[5];
  block.value = static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8);
  block.index = static_cast<std::uint16_t>(bytes[8] | bytes[9] << 8);
  return block;
}

}  // namespace trimwell
