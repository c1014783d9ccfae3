#pragma once
// Every fixed wait of the station goes through the sleeper, so tests and the headless
// simulation can replace real sleeping with a record or a virtual clock. Its clock
// is the station's time: what the waits add up to.

#include <cstdint>
#include <vector>

namespace trimwell {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void sleep(std::uint32_t milliseconds) = 0;
  // Monotonic time in seconds from an arbitrary start.
  virtual double seconds() const = 0;
};

// The sleeper in use; the real one until another is installed.
Sleeper& sleeper();
// Installs s (not owned) and returns the previous one; nullptr restores the real one.
Sleeper* installSleeper(Sleeper* s);

// Records the waits instead of sleeping.
class RecordingSleeper final : public Sleeper {
 public:
  void sleep(std::uint32_t milliseconds) override { waits.push_back(milliseconds); }
  double seconds() const override { return static_cast<double>(total()) / 1000.0; }
  std::uint64_t total() const;
  std::vector<std::uint32_t> waits;
};

// Installs a sleeper for the lifetime of this object.
class SleeperScope {
 public:
  explicit SleeperScope(Sleeper& s) : previous_(installSleeper(&s)) {}
  ~SleeperScope() { installSleeper(previous_); }
  SleeperScope(const SleeperScope&) = delete;
  SleeperScope& operator=(const SleeperScope&) = delete;

 private:
  Sleeper* previous_;
};

}  // namespace trimwell
