#include "app/reference_source.h"

#include <cmath>
#include <cstdlib>

#include "app/row_trend.h"
#include "calibration/typed_value.h"
#include "platform/format_text.h"
#include "platform/utf16_text.h"

namespace trimwell {
namespace {

std::string kept(Registry& registry, const char* name, const std::string& otherwise) {
  std::u16string value;
  return registry.queryString(kReferenceKey, name, value) ? utf8Of(value) : otherwise;
}

int keptNumber(Registry& registry, const char* name, int otherwise) {
  std::uint32_t value = 0;
  return registry.queryDword(kReferenceKey, name, value) && value <= 10'000'000 ? static_cast<int>(value) : otherwise;
}

const char* parityName(LineParity parity) {
  return parity == LineParity::Even ? "even" : parity == LineParity::Odd ? "odd" : "none";
}

}  // namespace

ReferenceSettings loadReferenceSettings(Registry& registry) {
  ReferenceSettings r;
  r.line.location = kept(registry, "Location", "");
  r.line.baud = keptNumber(registry, "Baud", r.line.baud);
  const std::string parity = kept(registry, "Parity", "none");
  r.line.parity = parity == "even" ? LineParity::Even : parity == "odd" ? LineParity::Odd : LineParity::None;
  r.line.lineEnding = kept(registry, "LineEnding", "LF") == "CRLF" ? "\r\n" : "\n";
  r.query = kept(registry, "Query", r.query);
  r.unit = kept(registry, "Unit", "");
  // A scale that is no number is kept as not a number, which the settings' check
  // then refuses, rather than taken for 1.
  const std::string scale = kept(registry, "Scale", "1");
  if (!parseTypedNumber(scale, false, r.scale)) r.scale = std::nan("");
  r.timeoutMs = keptNumber(registry, "TimeoutMs", r.timeoutMs);
  r.periodMs = keptNumber(registry, "PeriodMs", r.periodMs);
  return r;
}

bool saveReferenceSettings(Registry& registry, const ReferenceSettings& r) {
  return registry.createKey(kReferenceKey) && registry.setString(kReferenceKey, "Location", utf16Of(r.line.location)) &&
         registry.setDword(kReferenceKey, "Baud", static_cast<std::uint32_t>(r.line.baud)) &&
         registry.setString(kReferenceKey, "Parity", utf16Of(parityName(r.line.parity))) &&
         registry.setString(kReferenceKey, "LineEnding", utf16Of(r.line.lineEnding == "\r\n" ? "CRLF" : "LF")) &&
         registry.setString(kReferenceKey, "Query", utf16Of(r.query)) &&
         registry.setString(kReferenceKey, "Unit", utf16Of(r.unit)) &&
         registry.setString(kReferenceKey, "Scale", utf16Of(formatText("%.17g", r.scale))) &&
         registry.setDword(kReferenceKey, "TimeoutMs", static_cast<std::uint32_t>(r.timeoutMs)) &&
         registry.setDword(kReferenceKey, "PeriodMs", static_cast<std::uint32_t>(r.periodMs));
}

std::string referenceSettingsProblem(const ReferenceSettings& r) {
  std::string host;
  int port = 0;
  if (!r.chosen()) return {};
  const bool network = networkAddress(r.line.location, host, port);
  if (!network && r.line.location[0] != '/' && r.line.location.find(':') != std::string::npos) {
    return "\"" + r.line.location + "\" is neither a serial port nor a network address HOST:PORT with a port "
           "from 1 to 65535";
  }
  if (!network && !supportedBaud(r.line.baud)) {
    return formatText("%d baud is not a rate a serial line takes (1200 to 230400)", r.line.baud);
  }
  if (r.query.empty() || r.query.find_first_of("\r\n") != std::string::npos) {
    return "The query for a reading must be one SCPI command, such as READ?";
  }
  if (!std::isfinite(r.scale) || r.scale == 0.0) return "The scale factor must be a finite number other than 0";
  if (r.timeoutMs < 10 || r.timeoutMs > 60'000) return "The timeout must lie between 10 ms and 60 s";
  if (r.periodMs < 10 || r.periodMs > 60'000) return "The polling period must lie between 10 ms and 60 s";
  return {};
}

ReferenceSource::ReferenceSource(Registry& settings) : registry_(settings), settings_(loadReferenceSettings(settings)) {}

bool ReferenceSource::choose(const ReferenceSettings& settings, std::string& problem) {
  problem = referenceSettingsProblem(settings);
  if (!problem.empty()) return false;
  settings_ = settings;
  if (!saveReferenceSettings(registry_, settings_)) {
    problem = "The reference instrument's settings cannot be kept: " + registry_.keepingProblem();
  }
  standard_.reset();
  last_ = {};
  start();
  return problem.empty();
}

void ReferenceSource::start() {
  if (referenceSettingsProblem(settings_).empty()) poller_.start(settings_);
}

bool ReferenceSource::refresh(const std::vector<metrology::StandardEntry>& standards) {
  last_ = poller_.snapshot();
  standard_.reset();
  if (last_.connected) {
    for (const metrology::StandardEntry& e : standards) {
      if (e.identification == last_.identity.serial) standard_ = e;
    }
  }
  const std::string before = strip_;
  strip_ = stripLine();
  return strip_ != before;
}

// Why the line to the instrument is not up: the port's own words when it could
// not be opened, else the fault it met.
std::string ReferenceSource::lineDown() const {
  if (last_.problem.rfind("Cannot ", 0) == 0) return last_.problem;
  return "The reference instrument on " + settings_.line.location + " " + faultWords(last_.fault) +
         (last_.problem.empty() ? std::string() : " (" + last_.problem + ")");
}

std::string ReferenceSource::stripLine() const {
  if (!settings_.chosen()) return {};
  const std::string where = settings_.line.location;
  if (!last_.connected) {
    if (last_.polls == 0) return "Reference instrument: looking on " + where;
    return lineDown() + (last_.givenUp ? std::string() : "; it is tried again until it answers");
  }
  std::string line = "Reference instrument: " + last_.identity.text() + " on " + where;
  if (last_.fault != ReadingFault::None) return line + " - " + faultWords(last_.fault) + ": " + last_.problem;
  const std::string unit = settings_.unit.empty() && standard_ ? standard_->unit : settings_.unit;
  // The reading shows even when it is not used: it tells the line works.
  if (!last_.recent.empty()) line += formatText(" - reads %.10g %s", last_.recent.back().value, unit.c_str());
  if (!standard_) {
    return line + " - not in the register of reference standards (no entry identified as " + last_.identity.serial +
           "): its readings are not used";
  }
  return last_.recent.empty() ? line + " - no reading yet" : line;
}

bool ReferenceSource::fromInstrument(int row) const {
  return row >= 0 && row < kCalibrationRows && fromInstrument_[static_cast<std::size_t>(row)];
}

void ReferenceSource::setFromInstrument(int row, bool on) {
  if (row >= 0 && row < kCalibrationRows) fromInstrument_[static_cast<std::size_t>(row)] = on;
}

bool ReferenceSource::take(ReferenceTake& out, std::string& problem) const {
  if (!settings_.chosen()) {
    problem = "No reference instrument is chosen: choose one under Settings > Reference instrument..., or type the "
              "reference value";
    return false;
  }
  if (!last_.connected) {
    problem = lineDown();
    return false;
  }
  if (!standard_) {
    problem = "The reference instrument " + last_.identity.text() +
              " is not in the register of reference standards: add it, identified as " + last_.identity.serial +
              ", before its readings are used";
    return false;
  }
  // A reading in another unit than its certificate's would be taken for a value it is not.
  if (!settings_.unit.empty() && !metrology::sameUnit(settings_.unit, standard_->unit)) {
    problem = "The reference instrument's readings are in " + settings_.unit + ", and its register entry " +
              standard_->name + " states " + standard_->unit +
              ": set the unit (and the scale factor) under Settings > Reference instrument... to the entry's";
    return false;
  }
  if (last_.fault != ReadingFault::None) {
    problem = "The reference instrument " + std::string(faultWords(last_.fault)) +
              (last_.problem.empty() ? std::string() : " (" + last_.problem + ")");
    return false;
  }
  // Its repeatability is the spread of a whole window: a value read before one is
  // there would go with an uncertainty that leaves that spread out.
  if (last_.recent.size() < ReferencePoller::kWindow) {
    problem = formatText("The reference instrument has given %zu of the %zu readings in a row its spread is worked "
                         "out from (since it was found, or since its last fault): wait a moment",
                         last_.recent.size(), ReferencePoller::kWindow);
    return false;
  }
  out.reading = last_.recent.back();
  out.window.clear();
  for (const ReferenceReading& r : last_.recent) out.window.push_back(r.value);
  out.instrument = last_.identity.text();
  return true;
}

bool ReferenceSource::stable(double span) const {
  if (last_.recent.size() < ReferencePoller::kWindow) return false;
  RowTrend trend;
  for (const ReferenceReading& r : last_.recent) trend.add(r.value);
  return trend.stable(span);
}

}  // namespace trimwell
