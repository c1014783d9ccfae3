#pragma once
// The bench's reference instrument as the station uses it: the operator's choice
// of it (kept in the station's settings), its readings polled on their own thread,
// whether it may give reference values (it must be a registered reference
// standard: its serial is the register's identification), and which rows take
// their reference values from it rather than typed.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/reference_poller.h"
#include "calibration/calibration_session.h"
#include "metrology/standard_entry.h"
#include "platform/registry.h"

namespace trimwell {

inline constexpr const char* kReferenceKey = "Software\\Korvane\\Trimwell\\Reference";

// The settings kept under kReferenceKey; defaults where none is kept.
ReferenceSettings loadReferenceSettings(Registry& settings);
bool saveReferenceSettings(Registry& settings, const ReferenceSettings& reference);
// Why the settings cannot be used (a baud rate no line takes, an empty query, a
// scale that is zero or not finite, ...), or empty.
std::string referenceSettingsProblem(const ReferenceSettings& reference);

// A reading the station may use as a point's or a check's reference value: the
// reading, and the readings before it with which its spread is worked out.
struct ReferenceTake {
  ReferenceReading reading;
  std::vector<double> window;  // oldest first, the reading last
  std::string instrument;       // InstrumentIdentity::text()
};

class ReferenceSource {
 public:
  explicit ReferenceSource(Registry& settings);

  const ReferenceSettings& settings() const { return settings_; }
  // Keeps the operator's choice and starts polling it (an empty location: none).
  bool choose(const ReferenceSettings& settings, std::string& problem);
  // Starts polling the instrument kept from an earlier run.
  void start();
  void stop() { poller_.stop(); }
  ReferencePoller& poller() { return poller_; }

  // Each tick: the poller's news, matched against the register. True when what
  // the information strip says of the instrument has changed.
  bool refresh(const std::vector<metrology::StandardEntry>& standards);
  // The strip's line of the instrument: who it is and its reading, or its fault;
  // empty when none is chosen.
  std::string stripLine() const;
  // The register's entry of the instrument, when it is registered.
  const std::optional<metrology::StandardEntry>& standard() const { return standard_; }

  bool fromInstrument(int row) const;
  void setFromInstrument(int row, bool on);

  // The reading to use now, with the whole window of readings before it; false,
  // with the reason naming the fault, when none may be used (no instrument, not
  // connected, not registered, a fault, fewer readings in a row than a window).
  bool take(ReferenceTake& out, std::string& problem) const;
  // Whether the last kWindow readings have settled against the span, by the rule
  // the rows' readings follow.
  bool stable(double span) const;

 private:
  std::string lineDown() const;

  Registry& registry_;
  ReferenceSettings settings_;
  ReferencePoller poller_;
  ReferenceSnapshot last_;
  std::optional<metrology::StandardEntry> standard_;
  std::string strip_;
  std::array<bool, kCalibrationRows> fromInstrument_{};
};

}  // namespace trimwell
