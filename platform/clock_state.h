#pragma once
// Whether the computer's clock is synchronised, as the kernel tells it (adjtimex):
// synchronised when the kernel's clock is not in its error state and its maximum
// error is under 16 s, the rule timedatectl applies. Records note it with their
// time. Tests and the simulated station install a state of their choosing.

namespace trimwell {

struct ClockState {
  bool synchronised = false;
  long long maxErrorUs = -1;  // the kernel's maximum error in microseconds; -1 unknown
};

inline constexpr long long kSynchronisedBelowUs = 16'000'000;

ClockState clockState();
// Installs a state (not owned) in place of the kernel's and returns the previous
// one; nullptr restores the kernel's.
const ClockState* installClockState(const ClockState* state);

class ClockStateScope {
 public:
  explicit ClockStateScope(const ClockState& state) : state_(state), previous_(installClockState(&state_)) {}
  ~ClockStateScope() { installClockState(previous_); }
  ClockStateScope(const ClockStateScope&) = delete;
  ClockStateScope& operator=(const ClockStateScope&) = delete;

 private:
  ClockState state_;
  const ClockState* previous_;
};

}  // namespace trimwell
