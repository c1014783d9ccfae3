#pragma once
// Bringing a Dockmon interface's firmware up to date from an Intel-HEX file.

#include <cstdint>
#include <functional>
#include <string>

#include "datasheet/hex_image.h"
#include "link/device_link.h"

namespace trimwell {

constexpr std::uint16_t kDockmonVendor = 0x7A3C;
constexpr std::uint16_t kDockmonProduct = 0x0002;
constexpr const char* kDockmonFirmwarePath = "plugins/datasheets/Dockmon.hex";
constexpr std::size_t kMaxFirmwareLength = 8192;
constexpr std::size_t kFirmwareChunk = 1008;

enum FirmwareError : int {
  kFirmwareNoLink = 4,
  kFirmwareBadImage = 5,
  kFirmwareRequestFailed = 6,
};

// Told after each chunk: bytes written so far, of the total.
using FirmwareProgressFn = std::function<void(std::size_t written, std::size_t total)>;

// The loaded image with the link it is sent through.
class FirmwareImage : public HexImage {
 public:
  // Holds the processor, writes the image in 1008-byte chunks, releases it. On a
  // failed chunk write the processor stays held.
  bool download();

  DeviceLink* link = nullptr;
  FirmwareProgressFn progress;
};

// What the check found out about the interface: its IDs, and for a Dockmon its
// firmware version.
struct InterfaceIdentity {
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  int major = 0;
  int minor = 0;
  bool versionRead = false;
};

// Whether the interface on link is a Dockmon older than 1.8 (a failed version read
// counts as 0.0).
bool firmwareNeedsUpdate(DeviceLink& link, InterfaceIdentity* seen = nullptr);

using MessageBoxFn = std::function<void(const std::string& text)>;

// Checks the interface and, when it is old, loads firmwarePath and downloads it,
// telling the operator through showMessage when either step fails. A file that is
// there but unreadable, empty, or damaged (a bad record checksum, no end record,
// records after a blank line) is refused with a message of its own, naming the
// file and the line; nothing is sent to the interface then.
// False only when a download began and failed: the interface's processor may then
// be held in reset until the interface is plugged again.
bool updateInterfaceFirmware(DeviceLink& link, const std::string& firmwarePath, const MessageBoxFn& showMessage,
                             InterfaceIdentity* seen = nullptr, const FirmwareProgressFn& progress = {});

extern const char* const kFirmwareMissingText;
extern const char* const kFirmwareWriteFailedText;
// Follows the failed-write warning: what the operator does about it.
extern const char* const kFirmwareReplugText;

}  // namespace trimwell
