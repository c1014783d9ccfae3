#pragma once
// A step (a tick, a click) on the stack: while it runs, a message box's own event
// loop may deliver another tick, which waits and runs once the step is over.

#include <functional>

namespace trimwell {

class StepGuard {
 public:
  // busy: set while the step runs; deferred: set by a tick that came meanwhile,
  // which `tick` then runs.
  StepGuard(bool& busy, bool& deferred, std::function<void()> tick)
      : busy_(busy), deferred_(deferred), tick_(std::move(tick)) {
    busy_ = true;
  }
  ~StepGuard() {
    busy_ = false;
    if (!deferred_) return;
    deferred_ = false;
    tick_();
  }
  StepGuard(const StepGuard&) = delete;
  StepGuard& operator=(const StepGuard&) = delete;

 private:
  bool& busy_;
  bool& deferred_;
  std::function<void()> tick_;
};

}  // namespace trimwell
