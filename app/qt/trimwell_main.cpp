// trimwell: the calibration station on the real USB driver.
#include <QApplication>
#include <QDir>
#include <cfenv>

#include "app/qt/station_window.h"
#include "link/device_link.h"
#include "link/serial_bridge.h"
#include "platform/libusb_driver.h"
#include "platform/qt/qsettings_registry.h"
#include "platform/termios_port.h"
#include "records/sqlite_record_store.h"

int main(int argc, char** argv) {
  // Divisions by zero in the conversion give infinities and NaNs, never traps.
  std::feclearexcept(FE_ALL_EXCEPT);
  QApplication app(argc, argv);
  QApplication::setWindowIcon(trimwell::stationIcon());

  trimwell::LibusbDriver usb(trimwell::isSupportedInterface);
  trimwell::UsbDriverScope driverScope(usb);
  const std::string folder = trimwell::QSettingsRegistry::defaultFolder();
  QDir().mkpath(QString::fromStdString(folder));
  trimwell::QSettingsRegistry settings(folder + "/LocalMachine.ini");
  // The wireless interface, as interface 9, on the serial port the user's store names.
  trimwell::QSettingsRegistry user(folder + "/CurrentUser.ini");
  trimwell::TermiosPort serialPort;
  trimwell::SerialBridge bridge(serialPort, user);
  trimwell::installSerialBridge(&bridge);

  std::unique_ptr<trimwell::CalibrationDialog> dialog;
  trimwell::StationWindow window([&](trimwell::WindowControls& controls) -> trimwell::CalibrationDialog& {
    trimwell::DialogPaths paths;
    paths.recordsFile = trimwell::SqliteRecordStore::defaultPath();
    dialog = std::make_unique<trimwell::CalibrationDialog>(controls, settings, paths);
    dialog->OnInitDialog();
    return *dialog;
  });
  window.show();
  const int result = app.exec();
  dialog.reset();  // while its window's controls still exist
  trimwell::installSerialBridge(nullptr);
  return result;
}
