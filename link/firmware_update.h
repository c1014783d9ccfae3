#pragma once
// Bringing a Dockmon interface's firmware up to date from an Intel-HEX file.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "datasheet/hex_image.h"
#include "link/device_link.h"

namespace trimwell {

constexpr std::uint16_t kDockmonVendor = 0x7A3C;
constexpr std::uint16_t kDockmonProduct = 0x0002;
constexpr const char* kDockmonFirmwarePath = "plugins/datasheets/Dockmon.hex";
constexpr std::size_t kMaxFirmwareLength = 8192;
constexpr std::size_t kFirmwareChunk = 1008;
// The firmware this station speaks to a Dockmon with: an older one is updated, and
// only from a file that holds at least this version.
constexpr int kDockmonNeededMajor = 1;
constexpr int kDockmonNeededMinor = 8;

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

// Whether the interface on link is a Dockmon that told a version older than 1.8. A
// Dockmon that does not answer the version request is not taken for an old one:
// nothing says that a file would bring it anywhere (seen->versionRead is false).
bool firmwareNeedsUpdate(DeviceLink& link, InterfaceIdentity* seen = nullptr);

// The version a firmware file says it holds: its "Version-MMmm" header, else the
// "_vMMmm" of its name. False when it says none: the records themselves carry no
// version, so the station cannot tell then.
bool firmwareFileVersion(const std::string& path, int& major, int& minor);

// What the downloads of one run of the station came to. An image that left an
// interface on an old version would do so again, at every re-enumeration: it is
// not sent again in that run.
class FirmwareHistory {
 public:
  // A download of image (which says it holds fileVersion) has finished.
  void downloaded(const HexImage& image, const std::string& fileVersion);
  // A Dockmon is back: when it still needs an update, the last image did not take.
  void interfaceBack(const InterfaceIdentity& identity, bool needsUpdate);
  // Whether image is one that did not take, with what it says it holds and what
  // the interface came back with.
  bool didNotTake(const HexImage& image, std::string* fileVersion, std::string* cameBackWith) const;

 private:
  struct Outcome {
    std::vector<std::uint8_t> bytes;
    std::string fileVersion;
    std::string cameBackWith;
  };
  bool pending_ = false;
  Outcome last_;
  std::vector<Outcome> notTaken_;
};

using MessageBoxFn = std::function<void(const std::string& text)>;

// Checks the interface and, when it is old, loads firmwarePath and downloads it,
// telling the operator through showMessage when either step fails. A file that is
// there but unreadable, empty, or damaged (a bad record checksum, no end record,
// records after a blank line) is refused with a message of its own, naming the
// file and the line; so is one that does not say it holds 1.8 or newer, naming
// both versions, and (with a history) one that left an interface old before in
// this run. Nothing is sent to the interface then. A Dockmon that does not tell
// its version is told of and left alone.
// False only when a download began and failed: the interface's processor may then
// be held in reset until the interface is plugged again.
bool updateInterfaceFirmware(DeviceLink& link, const std::string& firmwarePath, const MessageBoxFn& showMessage,
                             InterfaceIdentity* seen = nullptr, const FirmwareProgressFn& progress = {},
                             FirmwareHistory* history = nullptr);

extern const char* const kFirmwareMissingText;
extern const char* const kFirmwareWriteFailedText;
// Follows the failed-write warning: what the operator does about it.
extern const char* const kFirmwareReplugText;
extern const char* const kFirmwareVersionUnreadText;

}  // namespace trimwell
