#include "platform/sleeper.h"

#include <chrono>
#include <numeric>
#include <thread>

namespace trimwell {
namespace {

class RealSleeper final : public Sleeper {
 public:
  void sleep(std::uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  double seconds() const override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  }
};

RealSleeper realSleeper;
Sleeper* current = &realSleeper;

}  // namespace

Sleeper& sleeper() { return *current; }

Sleeper* installSleeper(Sleeper* s) {
  Sleeper* previous = current;
  current = s != nullptr ? s : &realSleeper;
  return previous;
}

std::uint64_t RecordingSleeper::total() const {
  return std::accumulate(waits.begin(), waits.end(), std::uint64_t{0});
}

}  // namespace trimwell
