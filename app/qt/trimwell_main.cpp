// trimwell: the calibration station on the real USB driver.
#include <QApplication>
#include <QDir>
#include <cfenv>

#include "app/qt/station_window.h"
#include "platform/libusb_driver.h"
#include "platform/qt/qsettings_registry.h"

int main(int argc, char** argv) {
  // Divisions by zero in the conversion give infinities and NaNs, never traps.
  std::feclearexcept(FE_ALL_EXCEPT);
  QApplication app(argc, argv);
  QApplication::setWindowIcon(trimwell::stationIcon());

  trimwell::LibusbDriver usb;
  trimwell::UsbDriverScope driverScope(usb);
  QDir().mkpath(QString::fromStdString(trimwell::QSettingsRegistry::defaultFolder()));
  trimwell::QSettingsRegistry settings(trimwell::QSettingsRegistry::defaultFolder() + "/Trimwell.ini");

  std::unique_ptr<trimwell::CalibrationDialog> dialog;
  trimwell::StationWindow window([&](trimwell::WindowControls& controls) -> trimwell::CalibrationDialog& {
    dialog = std::make_unique<trimwell::CalibrationDialog>(controls, settings);
    dialog->OnInitDialog();
    return *dialog;
  });
  window.show();
  const int result = app.exec();
  dialog.reset();  // while its window's controls still exist
  return result;
}
