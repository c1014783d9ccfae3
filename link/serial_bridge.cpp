#include "link/serial_bridge.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "link/device_link.h"
#include "link/vendor_request.h"
#include "platform/format_text.h"
#include "platform/sleeper.h"
#include "datasheet/text.h"

namespace trimwell {
namespace {

constexpr std::uint32_t kWriteMsPerByte = 10;
constexpr std::uint32_t kReplyTimeoutMs = 500;
constexpr std::uint32_t kDatasheetMsPerByte = 50;
// A long read also ends when the line is quiet this long: a radio that drops after
// a 2 KB datasheet read (100 s allowed) or a 96-byte block (19 s) began is noticed
// in a second.
constexpr std::uint32_t kQuietLineMs = 1000;
constexpr std::uint32_t kBlockInMsPerByte = 200;
constexpr std::uint32_t kAckTimeoutMs = 1000;
constexpr std::uint32_t kPortIdleMs = 10;
constexpr std::uint32_t kSensorDataWaitMs = 50;
constexpr std::size_t kDiscardLimit = 64;

// The line commands, by what the bridge uses them for (codes in link/requests.h).
constexpr std::uint8_t kConnectCheck = kBridgeConnectCheck;
constexpr std::uint8_t kVersionCommand = kRequestInterfaceVersion;
constexpr std::uint8_t kPowerCommand = kRequestSensorPower;
constexpr std::uint8_t kStatusCommand = kRequestPortStatus;
constexpr std::uint8_t kByteCommand = kRequestSensorCommand;
constexpr std::uint8_t kWordCommand = kBridgeWordCommand;
constexpr std::uint8_t kBlockIn = kBridgeBlockIn;
constexpr std::uint8_t kBlockOut = kBridgeBlockOut;
constexpr std::uint8_t kCalibrationIn = kBridgeCalibrationIn;
constexpr std::uint8_t kSampleSelect = kRequestReadSample;

std::uint16_t swapBytes(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

SerialBridge* installedBridge = nullptr;

}  // namespace

SerialBridge* installSerialBridge(SerialBridge* bridge) {
  SerialBridge* previous = installedBridge;
  installedBridge = bridge;
  return previous;
}

DeviceHandle bridgeConnect(std::uint32_t& error) {
  const DeviceHandle handle = installedBridge != nullptr ? installedBridge->connect(false) : kInvalidHandle;
  if (handle == kInvalidHandle) error = ENODEV;
  return handle;
}

bool bridgeControl(std::uint32_t code, const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                   std::size_t outputLength, std::size_t& returned, std::uint32_t& error) {
  returned = 0;
  if (installedBridge == nullptr ||
      !installedBridge->bridgeControl(code, input, inputLength, output, outputLength, &returned)) {
    error = installedBridge != nullptr && installedBridge->connected() ? EIO : ENODEV;
    return false;
  }
  return true;
}

void SerialBridge::message(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  lastMessage_ = formatTextV(format, args);
  va_end(args);
}

// ---- connection ----

DeviceHandle SerialBridge::connect(bool force) {
  if (connecting_) {
    if (!force) return kInvalidHandle;
    connecting_ = false;
  }
  if (connected_) return port_.handle();
  connecting_ = true;
  refreshPortName();
  if (!port_.isOpen() && !openPort()) return kInvalidHandle;
  std::uint8_t version = 0;
  if (!command(kVersionCommand, 0, &version)) return kInvalidHandle;
  interfaceVersion_ = version;
  if (!command(kPowerCommand, 0xFF)) return kInvalidHandle;
  connected_ = true;
  connecting_ = false;
  return port_.handle();
}

bool SerialBridge::disconnect() {
  if (!port_.isOpen()) return false;
  if (connected_) {
    settleLateAnswers();
    command(kPowerCommand, 0);
    connected_ = false;
  }
  connected_ = false;
  connecting_ = false;
  answerOwed_ = false;  // the port's queue goes with it
  port_.close();
  return true;
}

void SerialBridge::refreshPortName() {
  std::u16string value;
  if (!registry_.openKey(kVentrixPortKey) || !registry_.queryString(kVentrixPortKey, "", value)) return;
  if (value.size() > kLongestPortName) value.resize(kLongestPortName);
  const std::string name = value.empty() ? std::string() : "\\\\.\\" + toUtf8(value);
  if (port_.isOpen() && name != portName_) disconnect();
  // Another port is another interface, which has nothing of ours open.
  if (name != portName_) openTransfer_.clear();
  portName_ = name;
}

bool SerialBridge::openPort() {
  if (portName_.empty()) return false;
  port_.close();
  if (!port_.open(portName_)) {
    openError_ = port_.lastError();
    message("Failed to open %s: %s(%d)", portName_.c_str(), errorText().c_str(), port_.lastError());
    portName_.clear();
    return false;
  }
  openError_ = 0;
  SerialTimeouts idle;
  idle.readTotalConstant = kPortIdleMs;
  idle.writeTotalConstant = kPortIdleMs;
  // The same interface may still wait for the rest of a transfer: the check's
  // bytes would go into it.
  if (!port_.setTimeouts(idle) || !settleLateAnswers() || !connectCheck()) {
    port_.close();
    return false;
  }
  return true;
}

// The interface answers the check with the check's own code, which is also the
// first byte a port that only echoes (a FIFO, a loop-back plug, a terminal program)
// gives back. The interface answers a command with one byte, an echo with the whole
// request: the rest of the request right behind the answer is the echo's mark.
bool SerialBridge::connectCheck() {
  purge();
  const std::array<std::uint8_t, 3> request = {kConnectCheck, 0, 0};
  std::array<std::uint8_t, 3> answer = {};
  if (!timedWrite(request.data(), request.size(), kWriteMsPerByte) || !timedRead(answer.data(), 1, kReplyTimeoutMs)) {
    return false;
  }
  SerialTimeouts idle;
  idle.readTotalConstant = kPortIdleMs;
  idle.writeTotalConstant = kPortIdleMs;
  std::size_t more = 0;
  if (port_.setTimeouts(idle)) port_.read(answer.data() + 1, answer.size() - 1, more);
  purge();
  if (answer[0] != kConnectCheck) return false;
  if (more == answer.size() - 1 && answer == request) {
    message("%s only echoes what is sent to it: no wireless interface there", portName_.c_str());
    return false;
  }
  return true;
}

// ---- framing ----

void SerialBridge::purge() {
  if (!port_.purgeReceive()) message("Failed to clear Rx buffer: %s", errorText().c_str());
}

bool SerialBridge::timedWrite(const std::uint8_t* bytes, std::size_t count, std::uint32_t msPerByte) {
  SerialTimeouts t;
  t.readTotalConstant = kPortIdleMs;
  t.writeTotalConstant = static_cast<std::uint32_t>(count) * msPerByte;
  if (!port_.setTimeouts(t)) {
    message("Failed to set write timeout: %s", errorText().c_str());
    return false;
  }
  std::size_t sent = 0;
  if (!port_.write(bytes, count, sent)) {
    message("Write error: %s", errorText().c_str());
    return false;
  }
  // Part of a request is no request: the interface would wait for the rest, or take
  // the next request's bytes for it.
  if (sent < count) {
    message("Write error: timeout, %d of %d bytes written", static_cast<int>(sent), static_cast<int>(count));
    return false;
  }
  return true;
}

bool SerialBridge::timedRead(std::uint8_t* bytes, std::size_t count, std::uint32_t msPerByte, std::uint32_t gapMs) {
  SerialTimeouts t;
  t.readInterval = gapMs;
  t.readTotalConstant = static_cast<std::uint32_t>(count) * msPerByte;
  t.writeTotalConstant = kPortIdleMs;
  if (!port_.setTimeouts(t)) {
    message("Failed to set read timeout: %s", errorText().c_str());
    return false;
  }
  std::size_t got = 0;
  if (!port_.read(bytes, count, got)) {
    message("Read Error: %s, read %d of %d", errorText().c_str(), static_cast<int>(got), static_cast<int>(count));
    return false;
  }
  // Part of an answer is not the answer: the caller would take stale bytes for data.
  if (got < count) {
    message("Read Error: timeout, read %d of %d", static_cast<int>(got), static_cast<int>(count));
    return false;
  }
  return true;
}

bool SerialBridge::command(std::uint8_t code, std::uint16_t value, std::uint8_t* reply) {
  purge();
  const std::array<std::uint8_t, 3> bytes = {code, static_cast<std::uint8_t>(value),
                                             static_cast<std::uint8_t>(value >> 8)};
  std::uint8_t answer = 0;
  const bool sent = timedWrite(bytes.data(), bytes.size(), kWriteMsPerByte);
  const bool ok = sent && timedRead(&answer, 1, kReplyTimeoutMs);
  if (sent && !ok) answerOwed_ = true;
  purge();
  if (ok && reply != nullptr) *reply = answer;
  return ok;
}

bool SerialBridge::sendBlocks(const std::uint8_t* bytes, std::size_t count, std::size_t* taken) {
  purge();
  for (std::size_t at = 0; at < count; at += kBlockSize) {
    // A late byte must not pass for this block's acknowledgement.
    if (at > 0) purge();
    const std::size_t block = std::min(kBlockSize, count - at);
    const std::array<std::uint8_t, 3> head = {kBlockOut, static_cast<std::uint8_t>(block),
                                              static_cast<std::uint8_t>(block >> 8)};
    std::uint8_t ack = 0;
    if (!timedWrite(head.data(), head.size(), kWriteMsPerByte) || !timedWrite(bytes + at, block, kWriteMsPerByte)) {
      return false;
    }
    // The interface has the block, acknowledged or not.
    if (taken != nullptr) *taken += block;
    if (!timedRead(&ack, 1, kAckTimeoutMs)) {
      answerOwed_ = true;
      return false;
    }
    if (ack != kBlockOut) {
      SerialTimeouts drain;
      drain.readInterval = SerialTimeouts::kNoWait;
      drain.writeTotalConstant = kPortIdleMs;
      port_.setTimeouts(drain);
      std::array<std::uint8_t, kDiscardLimit> discard{};
      std::size_t got = 0;
      port_.read(discard.data(), discard.size(), got);
      return false;
    }
  }
  return true;
}

bool SerialBridge::sendData(const std::uint8_t* bytes, std::size_t count, std::size_t* taken) {
  if (interfaceVersion_ >= kBlockInterfaceVersion) return sendBlocks(bytes, count, taken);
  for (std::size_t at = 0; at < count; at += 2) {
    const bool pair = at + 1 < count;
    const std::uint16_t value = pair ? static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8) : bytes[at];
    const bool ok = command(pair ? kWordCommand : kByteCommand, value);
    // A pair whose reply did not come went all the same.
    if (taken != nullptr && (ok || answerOwed_)) *taken += pair ? 2 : 1;
    if (!ok) return false;
  }
  return true;
}

// The interface places a transfer's data by counting its bytes from the head:
// cut short, it would take the next request's head and data for the rest, and
// write them that many bytes further on.
bool SerialBridge::sendTransfer(const std::uint8_t* head, std::size_t headLength, const std::uint8_t* data,
                                std::size_t count) {
  if (!settleLateAnswers()) return false;
  openTransfer_.assign(head, head + headLength);
  if (data != nullptr) openTransfer_.insert(openTransfer_.end(), data, data + count);
  openTaken_ = 0;
  const bool ok = sendData(openTransfer_.data(), headLength, &openTaken_) &&
                  (data == nullptr || count == 0 || sendData(openTransfer_.data() + headLength, count, &openTaken_));
  if (openTaken_ == 0 || openTaken_ == openTransfer_.size()) openTransfer_.clear();
  return ok;
}

bool SerialBridge::settleLateAnswers() {
  if (answerOwed_) {
    answerOwed_ = false;
    SerialTimeouts late;
    late.readTotalConstant = kAckTimeoutMs;
    late.writeTotalConstant = kPortIdleMs;
    std::uint8_t stale = 0;
    std::size_t got = 0;
    if (port_.setTimeouts(late)) port_.read(&stale, 1, got);
    purge();
  }
  if (openTransfer_.empty()) return true;
  // The rest of the transfer as it was meant: the write it belonged to was
  // reported failed, and whatever the station does next writes over it.
  std::size_t taken = 0;
  const bool ok = sendData(openTransfer_.data() + openTaken_, openTransfer_.size() - openTaken_, &taken);
  openTaken_ += taken;
  if (openTaken_ >= openTransfer_.size()) openTransfer_.clear();
  if (ok) return settleLateAnswers();
  message("The wireless interface still waits for %d bytes of an earlier transfer",
          static_cast<int>(openTransfer_.size() - openTaken_));
  return false;
}

// Bytes left over from a late answer are dropped first, so that they are never taken
// for this block's data.
bool SerialBridge::dataBlockIn(std::uint8_t* bytes, std::size_t count) {
  purge();
  const std::array<std::uint8_t, 3> head = {kBlockIn, static_cast<std::uint8_t>(count),
                                            static_cast<std::uint8_t>(count >> 8)};
  return timedWrite(head.data(), head.size(), kWriteMsPerByte) && timedRead(bytes, count, kBlockInMsPerByte, kQuietLineMs);
}

int SerialBridge::portStatus() {
  if (!connected_) return 0;
  std::uint8_t status = 0;
  if (command(kStatusCommand, 0, &status)) return status;
  connected_ = false;
  disconnect();
  return 0;
}

// ---- the control emulation ----

bool SerialBridge::bridgeControl(std::uint32_t code, const std::uint8_t* input, std::size_t inputLength,
                                 std::uint8_t* output, std::size_t outputLength, std::size_t* returnedOut) {
  std::size_t returned = 0;
  bool ok = false;
  if (!connected_) {
    ok = false;
  } else if (code == kControlGetDescriptor) {
    ok = output != nullptr && outputLength == kDeviceDescriptorLength;
    if (ok) {
      output[8] = 0x3C;
      output[9] = 0x7A;
      output[10] = static_cast<std::uint8_t>(kVentrixProduct);
      output[11] = static_cast<std::uint8_t>(kVentrixProduct >> 8);
      returned = kDeviceDescriptorLength;
    }
  } else if (code == kControlPresence) {
    returned = input != nullptr ? inputLength : output != nullptr ? outputLength : 0;
    ok = true;
  } else if (code == kControlVendorRequest) {
    ok = input != nullptr && inputLength == kVendorRequestBlockLength &&
         vendorRequest(input, output, outputLength, returned);
  } else {
    message("Unimplemented io control: 0x%04x", code);
  }
  if (returnedOut != nullptr) *returnedOut = ok ? returned : 0;
  return ok;
}

bool SerialBridge::vendorRequest(const std::uint8_t* blockBytes, std::uint8_t* data, std::size_t n,
                                 std::size_t& returned) {
  const VendorRequestBlock block = VendorRequestBlock::fromBytes(blockBytes);
  const bool deviceToHost = block.direction == VendorRequestBlock::kDeviceToHost;
  if (!settleLateAnswers()) return false;
  const std::array<std::uint8_t, 3> sizeHead = {0, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)};
  switch (block.request) {
    case kRequestReadDatasheet: {
      if (data == nullptr) return false;
      purge();
      std::array<std::uint8_t, 3> head = sizeHead;
      head[0] = kRequestReadDatasheet;
      if (!timedWrite(head.data(), head.size(), kWriteMsPerByte) || !timedRead(data, n, kDatasheetMsPerByte, kQuietLineMs)) {
        return false;
      }
      returned = n;
      return true;
    }
    case kRequestWriteDatasheet: {
      std::array<std::uint8_t, 3> head = sizeHead;
      head[0] = kRequestWriteDatasheet;
      if ((n > 0 && data == nullptr) || !sendTransfer(head.data(), head.size(), data, n)) return false;
      returned = n;
      return true;
    }
    case kRequestReadSample:
      // Only a whole sample of the size last configured can be read.
      if (data == nullptr || n != sampleSize_ || !deviceToHost) return false;
      if (!command(kByteCommand, kSampleSelect) || !dataBlockIn(data, n)) return false;
      returned = n;
      return true;
    case kRequestSampleConfig:
      if (data == nullptr || n < 4) return false;
      sampleSize_ = static_cast<std::uint16_t>(data[2] | data[3] << 8);
      command(kRequestSampleConfig, static_cast<std::uint16_t>((data[0] | data[1] << 8) * 9));
      return true;
    case kRequestCalibration: {
      const std::array<std::uint8_t, 4> head = {deviceToHost ? kCalibrationIn : std::uint8_t{kRequestCalibration},
                                                static_cast<std::uint8_t>(block.value), static_cast<std::uint8_t>(n),
                                                static_cast<std::uint8_t>(n >> 8)};
      if (n > 0 && data == nullptr) return false;
      if (!sendTransfer(head.data(), head.size(), deviceToHost ? nullptr : data, deviceToHost ? 0 : n)) return false;
      if (n > 0 && deviceToHost && !dataBlockIn(data, n)) return false;
      returned = n;
      return true;
    }
    case kRequestSensorCommand:
      return sensorCommand(block.value, block.index, deviceToHost, data, n, returned);
    case kRequestPortStatus: {
      const int status = portStatus();
      if (data != nullptr) {
        std::fill(data, data + std::min<std::size_t>(n, 16), 0);
        if (n > 0) data[0] = (status & 4) != 0 ? 2 : 0;
        if (n > 10) data[10] = static_cast<std::uint8_t>(status & 1);
      }
      return true;
    }
    case kRequestInterfaceVersion: {
      if (data == nullptr) return false;
      std::fill(data, data + n, 0);
      const std::uint8_t reply[12] = {interfaceVersion_, 0, 'V', 'e', 'n', 't', 'r', 'i', 'x', 0, 0, 0};
      std::memcpy(data, reply, std::min(n, sizeof reply));
      returned = std::min<std::size_t>(12, n);
      return true;
    }
    default:
      message("Unimplemented vendor request: 0x%02x", block.request);
      return false;
  }
}

bool SerialBridge::sensorCommand(std::uint16_t value, std::uint16_t index, bool deviceToHost, std::uint8_t* data,
                                 std::size_t n, std::size_t& returned) {
  const std::uint8_t indexHigh = static_cast<std::uint8_t>(index >> 8);
  if (value != 0 || indexHigh != 0) {
    bool ok = true;
    if (indexHigh != 0) {
      ok = command(kByteCommand, indexHigh) && command(kWordCommand, swapBytes(value));
    } else if ((value >> 8) != 0) {
      ok = command(kWordCommand, swapBytes(value));
    } else {
      ok = command(kByteCommand, value);
    }
    if (!ok) return false;
  }
  if (data != nullptr && n > 0) {
    sleeper().sleep(kSensorDataWaitMs);
    if (!(deviceToHost ? dataBlockIn(data, n) : sendData(data, n))) return false;
    returned = n;
  }
  return true;
}

}  // namespace trimwell
