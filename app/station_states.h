#pragma once
// What the status line can say, one entry each: the state, the text the status
// line shows (the system's own words), and what it means in plain words for the
// information strip. The event handling and the strip both read this one table.

#include <array>

namespace trimwell {

enum class StationState : int {
  kNoSensor,
  kInterfaceAdded,
  kInterfaceRemoved,
  kSensorAdded,
  kSensorRemoved,
  kCantReadDatasheet,
  kBadDatasheet,
  kGoodDatasheet,
  kUpdateDatasheetVersion,
  kOldFileDatasheet,
  kDatasheetMismatch,
  kNewDatasheet,
  kNoCachedDatasheet,
  kSensorRefused,  // its status is the refusal itself
  kUnknownEvent,
};

struct StateText {
  StationState state;
  const char* status;
  const char* meaning;
};

const std::array<StateText, 15>& stationStates();
const StateText& stateText(StationState state);
// The scanner's event (ScanEvent) as a state.
StationState stateOfEvent(int event);

}  // namespace trimwell
