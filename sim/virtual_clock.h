#pragma once
// A sleeper that advances a virtual clock instead of waiting.

#include <cstdint>

#include "platform/sleeper.h"

namespace trimwell::sim {

class VirtualClock final : public Sleeper {
 public:
  void sleep(std::uint32_t milliseconds) override { now += milliseconds; }
  double seconds() const override { return static_cast<double>(now) / 1000.0; }
  std::uint64_t now = 0;
};

}  // namespace trimwell::sim
