#include "app/interface_check.h"

#include "app/control_ids.h"
#include "platform/format_text.h"

namespace trimwell {

// A Dockmon's version comes from the firmware check (which updates an old one);
// the wireless interface's from the bridge's handshake, which the
// interface-version request answers without a word on the line.
void InterfaceCheck::identify(SensorInterface& interface, CalibrationSession& session,
                              const MessageBoxFn& showMessage, const FirmwareProgressFn& progress) {
  InterfaceIdentity identity;
  bool downloaded = false;
  firmwareFailed_ = !updateInterfaceFirmware(interface, firmwareFile_, showMessage, &identity,
                                             [&](std::size_t written, std::size_t total) {
                                               downloaded = written == total;
                                               if (progress) progress(written, total);
                                             },
                                             &history_);
  session.interfaceProduct = identity.product;
  session.firmwareVersion = identity.versionRead ? formatText("%d.%d", identity.major, identity.minor) : std::string();
  if (interface.interfaceNumber == kWirelessInterface) {
    int version = 0;
    if (interface.readInterfaceVersion(&version, nullptr)) session.firmwareVersion = formatText("0x%02x", version & 0xFF);
  }
  report(downloaded, session.firmwareVersion);
}

// The interface comes back after a download with the new firmware: its version is
// then what the update came to.
void InterfaceCheck::report(bool downloaded, const std::string& version) {
  if (!updatedFrom_.empty() && !version.empty()) {
    controls_.setText(ids::kResult, version == updatedFrom_
                                        ? formatText("Dockmon firmware still %s: the update did not take",
                                                     version.c_str())
                                        : formatText("Dockmon firmware %s \u2192 %s", updatedFrom_.c_str(),
                                                     version.c_str()));
    updatedFrom_.clear();
  }
  if (downloaded) {
    updatedFrom_ = version;
    controls_.setText(ids::kResult, formatText("Dockmon firmware %s written; the interface restarts with it",
                                               updatedFrom_.c_str()));
  }
}

void InterfaceCheck::forget(CalibrationSession& session) {
  firmwareFailed_ = false;
  session.interfaceProduct = 0;
  session.firmwareVersion.clear();
}

}  // namespace trimwell
