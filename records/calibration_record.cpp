#include "records/calibration_record.h"

#include <pwd.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <ctime>

namespace trimwell {
namespace {

std::string loginName() {
  if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr) return entry->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

std::string hostName() {
  char name[256] = {};
  return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

}  // namespace

std::string exactNumber(double value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string("nan");
}

void stampRecord(CalibrationRecord& record) {
  record.utcTime = utcNow();
  record.operatorName = loginName();
  record.host = hostName();
  record.stationVersion = "Trimwell 1.21";
}

}  // namespace trimwell
