#include "app/info_strip.h"

#include "link/device_link.h"
#include "link/firmware_update.h"
#include "link/serial_bridge.h"
#include "platform/format_text.h"

namespace trimwell {
namespace {

std::string firmwareOf(const CalibrationSession& s) {
  return s.firmwareVersion.empty() ? "not read" : s.firmwareVersion;
}

std::string interfaceLine(const StationView& v) {
  const CalibrationSession& s = v.session;
  if (v.interfaceInUse == kWirelessInterface) {
    return formatText("Interface: wireless, product 0x%04x%s, firmware %s, port %s", s.interfaceProduct,
                      s.interfaceProduct == kVentrixProduct ? " (Ventrix)" : "", firmwareOf(s).c_str(),
                      v.wireless != nullptr ? v.wireless->devicePath().c_str() : "");
  }
  if (v.interfaceInUse == 0) {
    return formatText("Interface: USB, product 0x%04x%s, firmware %s, interface number 0%s", s.interfaceProduct,
                      s.interfaceProduct == kDockmonProduct ? " (Dockmon)" : "", firmwareOf(s).c_str(),
                      v.firmwareFailed ? ". The firmware update failed: unplug the interface and plug it in again."
                                       : "");
  }
  if (v.wireless == nullptr || v.wireless->chosen().empty()) return "Interface: none";
  if (!v.wireless->problem().empty()) return "Interface: none. " + v.wireless->problem();
  return "Interface: none; looking for the wireless interface on " + v.wireless->devicePath();
}

}  // namespace

std::string stripText(const StationView& view) {
  std::string sensorLine = "Sensor: none";
  const Datasheet* d = view.session.currentDatasheet;
  if (d != nullptr) {
    sensorLine = formatText("Sensor: ID %d, \"%s\", datasheet %s", d->sensorId, toUtf8(d->name.text).c_str(),
                            d->versionString().c_str());
  }
  const std::string meaning = stateText(view.state).meaning;
  std::string text = interfaceLine(view) + "\n" + sensorLine + (meaning.empty() ? "" : " - " + meaning);
  // The datasheet's own advice for this model, such as the buffers to calibrate with.
  if (d != nullptr && !d->extensionText.text.empty()) text += "\nHint: " + toUtf8(d->extensionText.text);
  return text;
}

std::string stationAbout() {
  return formatText("Trimwell Version 1.21\nBuilt %s -- %s", __DATE__, __TIME__);
}

}  // namespace trimwell
