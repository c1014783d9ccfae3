#include "link/requests.h"

#include <algorithm>
#include <iterator>

namespace trimwell {
namespace {

// code                      name                  writes EEPROM
constexpr RequestInfo kRequests[] = {
    {kRequestReadDatasheet,    "read datasheet",     false},
    {kRequestWriteDatasheet,   "write datasheet",    true},
    {kRequestReadSample,       "read sample",        false},
    {kRequestSampleConfig,     "sample config",      false},
    {kRequestInterfaceMemory,  "interface memory",   false},  // the interface's RAM, not the sensor
    {kRequestCalibration,      "calibration",        true},
    {kRequestSensorCommand,    "sensor command",     false},
    {kRequestPortStatus,       "port status",        false},
    {kRequestInterfaceVersion, "version",            false},
    {kRequestSensorPower,      "sensor power",       false},
};

const RequestInfo* find(int code) {
  const auto it = std::find_if(std::begin(kRequests), std::end(kRequests),
                               [code](const RequestInfo& r) { return r.code == code; });
  return it != std::end(kRequests) ? it : nullptr;
}

}  // namespace

std::span<const RequestInfo> requestTable() { return kRequests; }

const char* requestName(int code) {
  const RequestInfo* info = find(code);
  return info != nullptr ? info->name : nullptr;
}

bool writesEeprom(int code, bool hostToDevice) {
  const RequestInfo* info = find(code);
  return hostToDevice && info != nullptr && info->writesEeprom;
}

}  // namespace trimwell
