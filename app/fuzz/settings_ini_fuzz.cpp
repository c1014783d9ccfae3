// libFuzzer target: the station's settings file (LocalMachine.ini) as another
// program or person left it, read as the station reads it at start: the options
// and rows per sensor model, the lab's bench settings, the laboratory.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/lab_inputs.h"
#include "calibration/calibration_session.h"
#include "calibration/settings_store.h"
#include "documents/laboratory.h"
#include "platform/qt/qsettings_registry.h"
#include "tests/fuzz/fuzz_scratch.h"

namespace {

const std::string& iniFile() {
  static const std::string made = trimwell::fuzz::scratchFolder() + "/LocalMachine.ini";
  return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::ofstream(iniFile(), std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                      static_cast<std::streamsize>(size));
  trimwell::QSettingsRegistry settings(iniFile());
  (void)trimwell::Laboratory::load(settings);
  (void)trimwell::LabSettings::load(settings);
  trimwell::CalibrationSession session;
  trimwell::SettingsStore(settings, session).LoadSettings();
  std::u16string records;
  settings.queryString(trimwell::kSettingsBasePath, "Records", records);
  return 0;
}
