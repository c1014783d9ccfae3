#include "link/sensor_interface.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <vector>

namespace trimwell {

void ManualResetEvent::set() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
  }
  changed_.notify_all();
}

void ManualResetEvent::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool ManualResetEvent::wait(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return signalled_; });
}

namespace {

// Above-normal priority where the system allows it; refusal is not an error.
void raiseCurrentThreadPriority() {
  const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), current - 1);
}

}  // namespace

SensorInterface::SensorInterface(bool workerEnabled) : workerEnabled_(workerEnabled) {
  if (!workerEnabled_) return;
  mutex_ = std::make_unique<std::mutex>();
  wake_ = std::make_unique<ManualResetEvent>();
  finished_ = std::make_unique<ManualResetEvent>();
  worker_ = std::thread([this] { runWorker(); });
}

void SensorInterface::runWorker() {
  raiseCurrentThreadPriority();
  std::vector<std::uint8_t> buffer(4096);
  while (true) {
    {
      std::lock_guard<std::mutex> lock(*mutex_);
      if (stopRequested_) break;
    }
    wake_->wait(kWorkerWake);
    wake_->reset();
  }
  buffer.clear();
  finished_->set();
}

SensorInterface::~SensorInterface() {
  if (workerEnabled_) {
    std::lock_guard<std::mutex> lock(*mutex_);
    stopRequested_ = true;
  }
  if (wake_) wake_->set();
  close();
  if (!workerEnabled_) return;
  finished_->wait(kStopWait);
  // The worker has signalled or is about to; joining never leaves a thread behind.
  worker_.join();
}

}  // namespace trimwell
