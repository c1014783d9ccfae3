// trimwell: the calibration station on the real USB driver.
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <cfenv>
#include <iostream>

#include "app/qt/station_window.h"
#include "link/device_link.h"
#include "link/serial_bridge.h"
#include "platform/default_paths.h"
#include "platform/libusb_driver.h"
#include "platform/program_options.h"
#include "platform/qt/qsettings_registry.h"
#include "platform/termios_port.h"
#include "records/postgres_record_store.h"
#include "calibration/settings_store.h"
#include "datasheet/text.h"

namespace {

constexpr const char* kUsage =
    "usage: trimwell [--records FILE|URL] [--library DIR] [--firmware FILE]\n"
    "The Trimwell calibration station, on the USB interfaces and the wireless one.\n"
    "  --records FILE|URL  where the record of every write goes: an SQLite file or a\n"
    "                      PostgreSQL URL (else the station's setting \"Records\", else\n"
    "                      its own file)\n"
    "  --library DIR       the datasheet library (else plugins/datasheets in the\n"
    "                      station folder: $TRIMWELL_HOME, else ~/.local/share/trimwell)\n"
    "  --firmware FILE     the interface firmware (else Dockmon.hex in that library)";

// --records FILE|URL, else the value "Records" of the station's settings, else the
// station's own file.
std::string recordsSetting(int argc, char** argv, trimwell::Registry& settings, const std::string& ownFile) {
  if (const std::string given = trimwell::optionValue(argc, argv, "--records"); !given.empty()) return given;
  std::u16string stored;
  if (settings.queryString(trimwell::kSettingsBasePath, "Records", stored) && !stored.empty()) {
    return trimwell::toUtf8(stored);
  }
  return ownFile;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the toolkit starts, which would need a display.
  if (trimwell::answerHelpOrVersion(argc, argv, "trimwell", kUsage, std::cout)) return 0;
  // Divisions by zero in the conversion give infinities and NaNs, never traps.
  std::feclearexcept(FE_ALL_EXCEPT);
  QApplication app(argc, argv);
  QApplication::setWindowIcon(trimwell::stationIcon());

  trimwell::LibusbDriver usb(trimwell::isSupportedInterface);
  trimwell::UsbDriverScope driverScope(usb);
  const std::string folder = trimwell::QSettingsRegistry::defaultFolder();
  const trimwell::StationPaths files = trimwell::defaultPaths(trimwell::StationProgram::Station, folder);
  const std::string givenRecords = trimwell::optionValue(argc, argv, "--records");
  if (const std::string refused = trimwell::PostgresRecordStore::givenLocationProblem(givenRecords); !refused.empty()) {
    std::cerr << "trimwell: " << refused << "\n";
    return 2;
  }
  std::string problem;
  if (!trimwell::stationFoldersReady(folder, problem)) {
    std::cerr << "trimwell: " << problem << "\n";
    return 1;
  }
  trimwell::QSettingsRegistry settings(files.settingsFile);
  // The wireless interface, as interface 9, on the serial port the user's store names.
  trimwell::QSettingsRegistry user(files.userSettingsFile);
  trimwell::TermiosPort serialPort;
  trimwell::SerialBridge bridge(serialPort, user);
  trimwell::installSerialBridge(&bridge);
  trimwell::WirelessPort wirelessPort(user, bridge);

  std::unique_ptr<trimwell::CalibrationDialog> dialog;
  trimwell::StationWindow window([&](trimwell::WindowControls& controls) -> trimwell::CalibrationDialog& {
    trimwell::DialogPaths paths;
    paths.recordsFile = recordsSetting(argc, argv, settings, files.recordsFile);
    paths.recordsOutbox = files.recordsOutbox;
    paths.datasheetFolder = trimwell::fullPath(trimwell::optionValue(argc, argv, "--library", files.libraryFolder));
    paths.firmwareFile = trimwell::fullPath(trimwell::optionValue(argc, argv, "--firmware", files.firmwareFile));
    paths.warnOfClock = true;
    dialog = std::make_unique<trimwell::CalibrationDialog>(controls, settings, paths, &wirelessPort);
    dialog->OnInitDialog();
    return *dialog;
  });
  window.fitInto(window.screen()->availableGeometry());
  window.show();
  const int result = app.exec();
  dialog.reset();  // while its window's controls still exist
  trimwell::installSerialBridge(nullptr);
  return result;
}
