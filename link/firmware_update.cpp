#include "link/firmware_update.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace trimwell {

const char* const kFirmwareMissingText =
    "Warning!  Could not find '.\\plugins\\datasheets\\Dockmon.hex' to update Dockmon firmware!";
const char* const kFirmwareWriteFailedText = "Warning!  Could not write updated firmware to the Dockmon!";
const char* const kFirmwareReplugText =
    "Unplug the interface and plug it in again: until then it may stay held in reset, and no sensor is found.";

bool FirmwareImage::download() {
  if (link == nullptr) {
    error = kFirmwareNoLink;
    return false;
  }
  if (buffer.empty() || loadedLength == 0 || loadedLength > kMaxFirmwareLength || loadedLength > buffer.size()) {
    error = kFirmwareBadImage;
    return false;
  }
  if (!link->holdInterfaceProcessor(true)) {
    error = kFirmwareRequestFailed;
    return false;
  }
  for (std::uint32_t offset = 0; offset < loadedLength;) {
    const std::size_t chunk = std::min<std::size_t>(loadedLength - offset, kFirmwareChunk);
    if (!link->writeInterfaceMemory(chunk, offset, buffer.data() + offset)) {
      error = kFirmwareRequestFailed;
      return false;
    }
    offset += static_cast<std::uint32_t>(chunk);
    if (progress) progress(offset, loadedLength);
  }
  if (!link->holdInterfaceProcessor(false)) {
    error = kFirmwareRequestFailed;
    return false;
  }
  error = 0;
  return true;
}

bool firmwareNeedsUpdate(DeviceLink& link, InterfaceIdentity* seen) {
  InterfaceIdentity identity;
  const bool identified = link.getIds(&identity.vendor, &identity.product);
  const bool dockmon = identified && identity.vendor == kDockmonVendor && identity.product == kDockmonProduct;
  if (dockmon) identity.versionRead = link.readInterfaceVersion(&identity.major, &identity.minor);
  if (seen != nullptr) *seen = identity;
  return dockmon && (identity.major < 1 || (identity.major == 1 && identity.minor < 8));
}

namespace {

// Why a firmware file that is there could not be read, in the system's words.
std::string whyUnreadable(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return "it is not a regular file";
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::strerror(errno);
  std::fclose(file);
  return "it could not be read";
}

// The operator's message when a loaded or failed image must not be sent, or ""
// when it may be.
std::string refusalOf(const FirmwareImage& image, bool loaded) {
  std::error_code ec;
  if (!loaded && image.error == kHexFileMissing) {
    if (!std::filesystem::exists(image.chosenPath, ec)) return kFirmwareMissingText;
    return "Warning!  Could not read '" + image.chosenPath + "' (" + whyUnreadable(image.chosenPath) +
           ") to update Dockmon firmware!";
  }
  if (loaded && image.loadedLength == 0) {
    return "Warning!  '" + image.chosenPath + "' holds no firmware, so the Dockmon was not updated!";
  }
  if (!image.findings.empty()) {
    return "Warning!  The firmware file is damaged, so the Dockmon was not updated: " +
           describeFinding(image.findings.front());
  }
  if (!loaded && image.error == kHexPartsDisagree) {
    return "Warning!  The firmware part files next to '" + image.chosenPath +
           "' disagree in their common area, so the Dockmon was not updated!";
  }
  if (!loaded) return kFirmwareMissingText;
  return {};
}

}  // namespace

bool updateInterfaceFirmware(DeviceLink& link, const std::string& firmwarePath, const MessageBoxFn& showMessage,
                             InterfaceIdentity* seen, const FirmwareProgressFn& progress) {
  if (!firmwareNeedsUpdate(link, seen)) return true;
  FirmwareImage image;
  image.link = &link;
  image.progress = progress;
  const bool loaded = image.loadImage(firmwarePath, 0, HexImage::kDefaultWindow);
  // A damaged or half file would leave the interface without working firmware:
  // nothing is sent unless the whole file is sound.
  const std::string refusal = refusalOf(image, loaded);
  if (!refusal.empty()) {
    showMessage(refusal);
    return true;
  }
  if (image.download()) return true;
  showMessage(std::string(kFirmwareWriteFailedText) + "\n" + kFirmwareReplugText);
  return false;
}

}  // namespace trimwell
