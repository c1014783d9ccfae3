#pragma once
// A simulated wireless interface on a pseudo-terminal: a thread owns the master side
// and answers the serial framing as the wireless interface would, for one simulated
// sensor. The station opens the slave side as its serial port.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/simulated_sensor.h"

namespace trimwell::sim {

class WirelessInterface {
 public:
  explicit WirelessInterface(std::uint8_t interfaceVersion = 0x40);
  ~WirelessInterface();
  WirelessInterface(const WirelessInterface&) = delete;
  WirelessInterface& operator=(const WirelessInterface&) = delete;

  bool started() const { return master_ >= 0; }
  // The slave side's path, such as /dev/pts/3.
  const std::string& portPath() const { return slavePath_; }

  void plugSensor(std::unique_ptr<SimulatedSensor> sensor);
  // The sensor that was in it, or nullptr.
  std::unique_ptr<SimulatedSensor> unplugSensor();
  // Runs fn on the sensor (or nullptr) while the interface thread keeps off it.
  void withSensor(const std::function<void(SimulatedSensor*)>& fn);

  // Faults.
  void setSilent(bool silent) { silent_ = silent; }
  void wrongAckNext() { wrongAck_ = true; }
  // The acknowledgement of the block after the next `skip` is kept back until
  // releaseAck(): late, as a radio's answer can be.
  void holdAckNext(int skip = 0) { holdAck_ = skip + 1; }
  void releaseAck();
  // The next command with this code (0xF1 port status, 0xF2 version, ...) gets no reply.
  void leaveUnanswered(std::uint8_t code) { unanswered_ = code; }
  // Sends count bytes of garbage down the line now.
  void sendGarbage(std::size_t count);

  std::vector<std::uint8_t> received() const;
  void clearReceived();
  std::uint8_t interfaceVersion() const { return version_; }

 private:
  void run();
  void process();
  bool processOne();
  void reply(const std::uint8_t* bytes, std::size_t count);
  void replyByte(std::uint8_t byte) { reply(&byte, 1); }
  void command(std::uint8_t code, std::uint16_t value);
  void feedData(const std::uint8_t* bytes, std::size_t count);
  void sendPendingRead(std::size_t count);

  enum class PendingRead { None, Sample, Calibration };

  int master_ = -1;
  int slaveKeeper_ = -1;  // keeps the line up while the station's port is closed
  std::string slavePath_;
  const std::uint8_t version_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> silent_{false};
  std::atomic<bool> wrongAck_{false};
  std::atomic<int> holdAck_{0};  // 1: hold the next block's acknowledgement
  int heldAcks_ = 0;
  std::atomic<int> unanswered_{-1};
  std::atomic<bool> powered_{true};

  mutable std::mutex mutex_;
  std::unique_ptr<SimulatedSensor> sensor_;
  std::vector<std::uint8_t> received_;
  std::vector<std::uint8_t> inbox_;
  std::vector<std::uint8_t> stream_;  // data sent to the interface, not yet complete
  std::size_t blockRemaining_ = 0;
  bool inBlock_ = false;
  bool gainPending_ = false;
  PendingRead pendingRead_ = PendingRead::None;
};

}  // namespace trimwell::sim
