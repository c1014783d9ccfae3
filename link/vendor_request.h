#pragma once
// The 10-byte vendor request block handed to the driver with control 0x222059.

#include <array>
#include <cstdint>

namespace trimwell {

struct VendorRequestBlock {
  static constexpr std::uint8_t kHostToDevice = 0;
  static constexpr std::uint8_t kDeviceToHost = 1;
  static constexpr std::uint8_t kVendorType = 2;
  static constexpr std::uint8_t kRecipient = 2;

  std::uint8_t direction = kHostToDevice;
  std::uint8_t requestType = kVendorType;
  std::uint8_t recipient = kRecipient;
  std::uint8_t reservedBits = 0;
  std::uint8_t request = 0;
  std::uint8_t driverFlags = 0;  // kVendorRequestWritesEeprom, ...: for the driver only
  std::uint16_t value = 0;
  std::uint16_t index = 0;

  // offset 0 direction, 1 request type, 2 recipient, 3 reserved bits, 4 request,
  // 5 driver flags, 6..7 value, 8..9 index (little-endian)
  std::array<std::uint8_t, 10> toBytes() const;
  static VendorRequestBlock fromBytes(const std::uint8_t* bytes);
};

}  // namespace trimwell
