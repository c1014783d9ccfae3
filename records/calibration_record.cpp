#include "records/calibration_record.h"

#include <pwd.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <ctime>
#include <random>

#include "platform/clock_state.h"
#include "platform/format_text.h"
#include "platform/text_safety.h"

namespace trimwell {
namespace {



std::string hostName() {
  char name[256] = {};
  return gethostname(name, sizeof name - 1) == 0 ? name : "";
}


}  // namespace

std::string utcNow() { return utcText(std::time(nullptr)); }

std::string utcText(std::time_t at) {
  std::tm utc{};
  gmtime_r(&at, &utc);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string newRecordUuid() {
  static thread_local std::mt19937_64 generator{[] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }()};
  std::uint8_t bytes[16];
  for (std::size_t i = 0; i < sizeof bytes; i += 8) {
    const std::uint64_t value = generator();
    for (std::size_t k = 0; k < 8; ++k) bytes[i + k] = static_cast<std::uint8_t>(value >> (8 * k));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  const std::string hex = hexText(bytes, sizeof bytes);
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" +
         hex.substr(20);
}

bool makeValidUtf8(std::string& text) {
  std::string out;
  bool changed = false;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      changed = true;
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  if (changed) text = std::move(out);
  return changed;
}

std::string exactNumber(double value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string("nan");
}

Person currentPerson() {
  Person p;
  const uid_t uid = geteuid();
  p.uid = static_cast<long long>(uid);
  if (const passwd* entry = getpwuid(uid); entry != nullptr && entry->pw_name != nullptr) {
    p.login = entry->pw_name;
    const std::string gecos = entry->pw_gecos != nullptr ? entry->pw_gecos : "";
    p.fullName = gecos.substr(0, gecos.find(','));
    return p;
  }
  const char* user = std::getenv("USER");
  p.login = user != nullptr ? user : "";
  return p;
}

void stampRecord(CalibrationRecord& record) {
  record.utcTime = utcNow();
  const Person person = currentPerson();
  record.operatorName = person.login;
  record.operatorUid = person.uid;
  record.operatorFullName = person.fullName;
  const ClockState clock = clockState();
  record.clockSynchronised = clock.synchronised ? 1 : 0;
  record.clockMaxErrorUs = clock.maxErrorUs;
  record.host = hostName();
  record.stationVersion = kStationVersion;
  if (record.uuid.empty()) record.uuid = newRecordUuid();
}

std::vector<int> uncheckedRows(const CalibrationRecord& record) {
  std::vector<int> out;
  if (!record.success || record.kind != RecordKind::Calibration) return out;
  for (std::size_t i = 0; i < record.rows.size(); ++i) {
    if (record.rows[i].leftOut) continue;
    bool found = false, left = false;
    for (const RecordResult& x : record.results) {
      if (x.row != static_cast<int>(i)) continue;
      (x.asLeft ? left : found) = true;
    }
    if (found && !left) out.push_back(static_cast<int>(i));
  }
  return out;
}

}  // namespace trimwell
