#include "sim/wireless_interface.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "link/requests.h"

namespace trimwell::sim {
namespace {

// The line's commands as the interface's firmware sees them (codes in link/requests.h).
constexpr std::uint8_t kBlockOut = kBridgeBlockOut;
constexpr std::uint8_t kBlockIn = kBridgeBlockIn;
constexpr std::uint8_t kDatasheetRead = kRequestReadDatasheet;
constexpr std::uint8_t kDatasheetWrite = kRequestWriteDatasheet;
constexpr std::uint8_t kCalibrationWrite = kRequestCalibration;
constexpr std::uint8_t kCalibrationRead = kBridgeCalibrationIn;

}  // namespace

WirelessInterface::WirelessInterface(std::uint8_t interfaceVersion) : version_(interfaceVersion) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
    return;
  }
  char name[128] = {};
  if (ptsname_r(master_, name, sizeof name) != 0) {
    ::close(master_);
    master_ = -1;
    return;
  }
  slavePath_ = name;
  slaveKeeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios line{};
  if (slaveKeeper_ >= 0 && tcgetattr(slaveKeeper_, &line) == 0) {
    cfmakeraw(&line);
    tcsetattr(slaveKeeper_, TCSANOW, &line);
  }
  thread_ = std::thread([this] { run(); });
}

WirelessInterface::~WirelessInterface() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (slaveKeeper_ >= 0) ::close(slaveKeeper_);
  if (master_ >= 0) ::close(master_);
}

void WirelessInterface::plugSensor(std::unique_ptr<SimulatedSensor> sensor) {
  std::lock_guard<std::mutex> lock(mutex_);
  sensor_ = std::move(sensor);
}

std::unique_ptr<SimulatedSensor> WirelessInterface::unplugSensor() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::move(sensor_);
}

void WirelessInterface::withSensor(const std::function<void(SimulatedSensor*)>& fn) {
  std::lock_guard<std::mutex> lock(mutex_);
  fn(sensor_.get());
}

std::vector<std::uint8_t> WirelessInterface::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void WirelessInterface::releaseAck() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (; heldAcks_ > 0; --heldAcks_) replyByte(kBlockOut);
}

void WirelessInterface::clearReceived() {
  std::lock_guard<std::mutex> lock(mutex_);
  received_.clear();
}

void WirelessInterface::sendGarbage(std::size_t count) {
  std::vector<std::uint8_t> garbage(count);
  for (std::size_t i = 0; i < count; ++i) garbage[i] = static_cast<std::uint8_t>(0x5A ^ (i * 37));
  reply(garbage.data(), garbage.size());
}

void WirelessInterface::reply(const std::uint8_t* bytes, std::size_t count) {
  std::size_t sent = 0;
  while (sent < count) {
    const ssize_t n = ::write(master_, bytes + sent, count - sent);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

void WirelessInterface::run() {
  std::uint8_t buffer[256];
  while (!stop_) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0 || (p.revents & POLLIN) == 0) continue;
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    received_.insert(received_.end(), buffer, buffer + n);
    if (silent_) continue;
    inbox_.insert(inbox_.end(), buffer, buffer + n);
    process();
  }
}

void WirelessInterface::process() {
  while (processOne()) {
  }
}

// One frame from the inbox, when it is all there.
bool WirelessInterface::processOne() {
  if (inBlock_) {
    const std::size_t take = std::min(blockRemaining_, inbox_.size());
    const std::vector<std::uint8_t> part(inbox_.begin(), inbox_.begin() + static_cast<long>(take));
    inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<long>(take));
    blockRemaining_ -= take;
    feedData(part.data(), part.size());
    if (blockRemaining_ > 0) return false;
    inBlock_ = false;
    if (holdAck_ > 0 && --holdAck_ == 0) {
      ++heldAcks_;
      return true;
    }
    replyByte(wrongAck_.exchange(false) ? 0x00 : kBlockOut);
    return true;
  }
  if (inbox_.size() < 3) return false;
  const std::uint8_t code = inbox_[0];
  const std::uint16_t value = static_cast<std::uint16_t>(inbox_[1] | inbox_[2] << 8);
  inbox_.erase(inbox_.begin(), inbox_.begin() + 3);
  if (code == kBlockOut && version_ >= 0x40) {
    inBlock_ = true;
    blockRemaining_ = value;
    return true;
  }
  if (code == kBlockIn) {
    sendPendingRead(value);
  } else if (code == kDatasheetRead) {
    std::vector<std::uint8_t> image(value, 0);
    std::size_t got = 0;
    if (sensor_ && powered_) sensor_->readDatasheet(image.data(), image.size(), got);
    if (sensor_ && powered_) reply(image.data(), got);
  } else {
    command(code, value);
  }
  return true;
}

void WirelessInterface::sendPendingRead(std::size_t count) {
  std::vector<std::uint8_t> data(count, 0);
  std::size_t got = 0;
  if (sensor_ && powered_) {
    if (pendingRead_ == PendingRead::Sample) sensor_->readSample(count, data.data(), count, got);
    if (pendingRead_ == PendingRead::Calibration) sensor_->readCalibration(data.data(), count, got);
  }
  pendingRead_ = PendingRead::None;
  reply(data.data(), got);
}

void WirelessInterface::command(std::uint8_t code, std::uint16_t value) {
  const std::uint8_t low = static_cast<std::uint8_t>(value);
  const std::uint8_t high = static_cast<std::uint8_t>(value >> 8);
  std::uint8_t answer = 0;
  if (unanswered_.load() == code) {
    unanswered_ = -1;
    return;
  }
  switch (code) {
    case kBridgeConnectCheck: answer = kBridgeConnectCheck; break;
    case kRequestInterfaceVersion: answer = version_; break;
    case kRequestSensorPower: powered_ = value != 0; break;
    case kRequestPortStatus:
      answer = sensor_ ? 0x01 : 0x00;
      break;
    case kRequestSampleConfig: break;  // the sampling parameter; the sample size travels with each read
    case kRequestSensorCommand:
      if (!stream_.empty() || gainPending_) {
        feedData(&low, 1);
      } else if (low == kRequestReadSample) {
        pendingRead_ = PendingRead::Sample;
      } else if (low == kSensorCommandGain) {
        gainPending_ = true;
      } else if (sensor_ && powered_) {
        sensor_->command(low, nullptr, 0);
      }
      break;
    case kBridgeWordCommand: {
      const bool startsData = low == kDatasheetWrite || low == kCalibrationWrite || low == kCalibrationRead;
      if (!stream_.empty() || gainPending_ || startsData) {
        const std::uint8_t pair[2] = {low, high};
        feedData(pair, 2);
      } else if (sensor_ && powered_) {
        sensor_->command(low << 8 | high, nullptr, 0);  // sent byte-swapped
      }
      break;
    }
    default:
      break;
  }
  replyByte(answer);
}

// Data sent to the interface, in pairs or blocks: a gain code, or a datasheet or
// calibration transfer with its header.
void WirelessInterface::feedData(const std::uint8_t* bytes, std::size_t count) {
  stream_.insert(stream_.end(), bytes, bytes + count);
  if (gainPending_) {
    if (stream_.size() < 2) return;
    if (sensor_ && powered_) sensor_->command(kSensorCommandGain, stream_.data(), 2);
    stream_.erase(stream_.begin(), stream_.begin() + 2);
    gainPending_ = false;
  }
  while (!stream_.empty()) {
    const std::uint8_t kind = stream_[0];
    const std::size_t head = kind == kDatasheetWrite ? 3 : 4;
    if (kind != kDatasheetWrite && kind != kCalibrationWrite && kind != kCalibrationRead) {
      stream_.clear();  // nothing this interface knows
      return;
    }
    if (stream_.size() < head) return;
    const std::size_t n = stream_[head - 2] | stream_[head - 1] << 8;
    if (kind == kCalibrationRead) {
      pendingRead_ = PendingRead::Calibration;
      stream_.erase(stream_.begin(), stream_.begin() + static_cast<long>(head));
      continue;
    }
    if (stream_.size() < head + n) return;
    if (sensor_ && powered_) {
      if (kind == kDatasheetWrite) sensor_->writeDatasheet(stream_.data() + head, n);
      if (kind == kCalibrationWrite) sensor_->writeCalibration(stream_.data() + head, n);
    }
    stream_.erase(stream_.begin(), stream_.begin() + static_cast<long>(head + n));
  }
}

}  // namespace trimwell::sim
