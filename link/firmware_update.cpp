#include "link/firmware_update.h"

#include <algorithm>

namespace trimwell {

const char* const kFirmwareMissingText =
    "Warning!  Could not find '.\\plugins\\datasheets\\Dockmon.hex' to update Dockmon firmware!";
const char* const kFirmwareWriteFailedText = "Warning!  Could not write updated firmware to the Dockmon!";

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
  }
  if (!link->holdInterfaceProcessor(false)) {
    error = kFirmwareRequestFailed;
    return false;
  }
  error = 0;
  return true;
}

bool firmwareNeedsUpdate(DeviceLink& link) {
  std::uint16_t vendor = 0, product = 0;
  if (!link.getIds(&vendor, &product) || vendor != kDockmonVendor || product != kDockmonProduct) return false;
  int major = 0, minor = 0;
  link.readInterfaceVersion(&major, &minor);
  return major < 1 || (major == 1 && minor < 8);
}

void updateInterfaceFirmware(DeviceLink& link, const std::string& firmwarePath, const MessageBoxFn& showMessage) {
  if (!firmwareNeedsUpdate(link)) return;
  FirmwareImage image;
  image.link = &link;
  if (!image.loadImage(firmwarePath, 0, HexImage::kDefaultWindow)) {
    showMessage(kFirmwareMissingText);
    return;
  }
  if (!image.download()) showMessage(kFirmwareWriteFailedText);
}

}  // namespace trimwell
