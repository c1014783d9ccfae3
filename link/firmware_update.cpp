#include "link/firmware_update.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/format_text.h"

namespace trimwell {

const char* const kFirmwareMissingText =
    "Warning!  Could not find '.\\plugins\\datasheets\\Dockmon.hex' to update Dockmon firmware!";
const char* const kFirmwareWriteFailedText = "Warning!  Could not write updated firmware to the Dockmon!";
const char* const kFirmwareReplugText =
    "Unplug the interface and plug it in again: until then it may stay held in reset, and no sensor is found.";
const char* const kFirmwareVersionUnreadText =
    "Warning!  The Dockmon did not tell its firmware version, so its firmware was not updated. Unplug the "
    "interface and plug it in again; if it still does not tell, it needs servicing.";

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
  const bool old = identity.major < kDockmonNeededMajor ||
                   (identity.major == kDockmonNeededMajor && identity.minor < kDockmonNeededMinor);
  return dockmon && identity.versionRead && old;
}

bool firmwareFileVersion(const std::string& path, int& major, int& minor) {
  std::uint32_t version = headerVersion(path);
  if (version == 0) {
    const std::size_t slash = path.find_last_of("/\\");
    version = nameVersion(slash == std::string::npos ? path : path.substr(slash + 1));
  }
  major = static_cast<int>(version >> 16);
  minor = static_cast<int>(version & 0xFFFF);
  return version != 0;
}

namespace {

std::vector<std::uint8_t> bytesOf(const HexImage& image) {
  const std::size_t length = std::min<std::size_t>(image.loadedLength, image.buffer.size());
  return {image.buffer.begin(), image.buffer.begin() + static_cast<long>(length)};
}

std::string versionText(int major, int minor) { return formatText("%d.%d", major, minor); }

const std::string& neededText() {
  static const std::string text = versionText(kDockmonNeededMajor, kDockmonNeededMinor);
  return text;
}

}  // namespace

void FirmwareHistory::downloaded(const HexImage& image, const std::string& fileVersion) {
  last_ = {bytesOf(image), fileVersion, {}};
  pending_ = true;
}

void FirmwareHistory::interfaceBack(const InterfaceIdentity& identity, bool needsUpdate) {
  if (!pending_ || identity.vendor != kDockmonVendor || identity.product != kDockmonProduct) return;
  pending_ = false;
  if (!needsUpdate) return;
  last_.cameBackWith = versionText(identity.major, identity.minor);
  notTaken_.push_back(std::move(last_));
}

bool FirmwareHistory::didNotTake(const HexImage& image, std::string* fileVersion, std::string* cameBackWith) const {
  const std::vector<std::uint8_t> bytes = bytesOf(image);
  for (const Outcome& outcome : notTaken_) {
    if (outcome.bytes != bytes) continue;
    if (fileVersion != nullptr) *fileVersion = outcome.fileVersion;
    if (cameBackWith != nullptr) *cameBackWith = outcome.cameBackWith;
    return true;
  }
  return false;
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
    // The message names the file as the station always has; the line after it says
    // where this station looked, which is what the operator has to fix.
    if (!std::filesystem::exists(image.chosenPath, ec)) {
      return std::string(kFirmwareMissingText) + "\nThe station looked for it at " + image.chosenPath + ".";
    }
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

// The operator's message when a sound image is not of the version the interface
// needs, or did not bring an interface to it before; "" when it may be sent.
std::string versionRefusal(const FirmwareImage& image, const FirmwareHistory* history, std::string& fileVersion) {
  const std::string& file = image.chosenPath;
  const std::string& needed = neededText();
  const std::string fix = "Put the Dockmon's " + needed + " firmware file there and plug the interface again.";
  int major = 0, minor = 0;
  if (!firmwareFileVersion(file, major, minor)) {
    return "Warning!  '" + file + "' does not say which firmware version it holds (it has no Version-MMmm " +
           "header), so the Dockmon was not updated: it needs " + needed + ". " + fix;
  }
  fileVersion = versionText(major, minor);
  if (major < kDockmonNeededMajor || (major == kDockmonNeededMajor && minor < kDockmonNeededMinor)) {
    return "Warning!  '" + file + "' holds Dockmon firmware " + fileVersion + ", but the Dockmon needs " + needed +
           ", so it was not updated. " + fix;
  }
  std::string saidVersion, cameBackWith;
  if (history != nullptr && history->didNotTake(image, &saidVersion, &cameBackWith)) {
    return "Warning!  The Dockmon came back with firmware " + cameBackWith + " after '" + file +
           "' was written to it, though the file says it holds " + saidVersion + "; the Dockmon needs " + needed +
           ", so the file is not sent again. " + fix;
  }
  return {};
}

}  // namespace

bool updateInterfaceFirmware(DeviceLink& link, const std::string& firmwarePath, const MessageBoxFn& showMessage,
                             InterfaceIdentity* seen, const FirmwareProgressFn& progress, FirmwareHistory* history) {
  InterfaceIdentity identity;
  const bool needsUpdate = firmwareNeedsUpdate(link, &identity);
  if (seen != nullptr) *seen = identity;
  if (history != nullptr) history->interfaceBack(identity, needsUpdate);
  if (identity.vendor == kDockmonVendor && identity.product == kDockmonProduct && !identity.versionRead) {
    showMessage(kFirmwareVersionUnreadText);
    return true;
  }
  if (!needsUpdate) return true;
  FirmwareImage image;
  image.link = &link;
  image.progress = progress;
  const bool loaded = image.loadImage(firmwarePath, 0, HexImage::kDefaultWindow);
  // A damaged or half file would leave the interface without working firmware:
  // nothing is sent unless the whole file is sound, and of the version needed.
  std::string fileVersion;
  std::string refusal = refusalOf(image, loaded);
  if (refusal.empty()) refusal = versionRefusal(image, history, fileVersion);
  if (!refusal.empty()) {
    showMessage(refusal);
    return true;
  }
  if (image.download()) {
    if (history != nullptr) history->downloaded(image, fileVersion);
    return true;
  }
  showMessage(std::string(kFirmwareWriteFailedText) + "\n" + kFirmwareReplugText);
  return false;
}

}  // namespace trimwell
