#pragma once
// The scanner's object for one interface: a DeviceLink with an idle worker thread.
//
// The worker waits on its wake event, waking every 5000 ms, until the interface is
// destroyed. Destruction asks it to stop, wakes it, closes the device and waits for
// it (it ends at once); the thread is always joined.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "link/device_link.h"

namespace trimwell {

// A manual-reset event: stays signalled until reset.
class ManualResetEvent {
 public:
  void set();
  void reset();
  // True when signalled within the timeout.
  bool wait(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

class SensorInterface : public DeviceLink {
 public:
  static constexpr std::chrono::milliseconds kWorkerWake{5000};
  static constexpr std::chrono::milliseconds kStopWait{5000};

  explicit SensorInterface(bool workerEnabled = true);
  ~SensorInterface() override;

  bool workerEnabled() const { return workerEnabled_; }
  bool workerRunning() const { return worker_.joinable(); }

 private:
  void runWorker();

  const bool workerEnabled_;
  bool stopRequested_ = false;
  std::unique_ptr<std::mutex> mutex_;
  std::unique_ptr<ManualResetEvent> wake_;
  std::unique_ptr<ManualResetEvent> finished_;
  std::thread worker_;
};

}  // namespace trimwell
