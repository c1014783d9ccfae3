#pragma once
// The serial bridge: the wireless interface on a serial port, answering the same
// control requests as a USB interface, as interface number 9.
//
// One bridge serves the whole program; its port outlives the links that use it.
// Failures are told only through the bridge's last message, which nothing shows.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/serial_port.h"
#include "platform/usb_driver.h"

namespace trimwell {

constexpr const char* kVentrixPortKey = "Software\\Korvane\\Lumeno\\VentrixPort";
// What the wireless interface identifies as.
constexpr std::uint16_t kVentrixProduct = 0x0007;

class SerialBridge {
 public:
  static constexpr std::uint8_t kBlockInterfaceVersion = 0x40;
  static constexpr std::size_t kBlockSize = 20;
  // The longest port name read from the store: 255 bytes of UTF-16 with its end.
  static constexpr std::size_t kLongestPortName = 127;

  // port: the serial port layer; currentUser: where the port name is kept.
  SerialBridge(SerialPort& port, Registry& currentUser) : port_(port), registry_(currentUser) {}
  ~SerialBridge() { disconnect(); }
  SerialBridge(const SerialBridge&) = delete;
  SerialBridge& operator=(const SerialBridge&) = delete;

  // The port handle once connected (after the handshake), or kInvalidHandle.
  DeviceHandle connect(bool force);
  bool disconnect();
  bool bridgeControl(std::uint32_t code, const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                     std::size_t outputLength, std::size_t* returnedOut);

  const std::string& portName() const { return portName_; }
  bool connected() const { return connected_; }
  bool connecting() const { return connecting_; }
  std::uint8_t interfaceVersion() const { return interfaceVersion_; }
  std::uint16_t sampleSize() const { return sampleSize_; }
  const std::string& lastMessage() const { return lastMessage_; }
  // The error of the last failed port open (an errno value), 0 once one succeeded.
  int openError() const { return openError_; }

 private:
  void refreshPortName();
  bool openPort();
  bool connectCheck();
  bool command(std::uint8_t code, std::uint16_t value, std::uint8_t* reply = nullptr);
  bool timedWrite(const std::uint8_t* bytes, std::size_t count, std::uint32_t msPerByte);
  // gapMs, when not 0, also ends the read after that long without a byte.
  bool timedRead(std::uint8_t* bytes, std::size_t count, std::uint32_t msPerByte, std::uint32_t gapMs = 0);
  // taken, when given, counts the bytes the interface has been sent, whether or
  // not their answer came.
  bool sendData(const std::uint8_t* bytes, std::size_t count, std::size_t* taken = nullptr);
  bool sendBlocks(const std::uint8_t* bytes, std::size_t count, std::size_t* taken);
  // A transfer (a datasheet or calibration write, a calibration read's head): its
  // head and data, which the interface gathers by their count, whatever blocks
  // carry them. One cut short by a late answer is kept, and finished before the
  // next request.
  bool sendTransfer(const std::uint8_t* head, std::size_t headLength, const std::uint8_t* data, std::size_t count);
  // Before a request: an answer that came too late is let in and dropped, and
  // what the interface still waits for of a transfer cut short is sent, so that
  // it takes the next request's bytes for what they are. False when it cannot be.
  bool settleLateAnswers();
  bool dataBlockIn(std::uint8_t* bytes, std::size_t count);
  void purge();
  int portStatus();
  bool vendorRequest(const std::uint8_t* block, std::uint8_t* data, std::size_t length, std::size_t& returned);
  bool sensorCommand(std::uint16_t value, std::uint16_t index, bool deviceToHost, std::uint8_t* data,
                     std::size_t length, std::size_t& returned);
  void message(const char* format, ...) __attribute__((format(printf, 2, 3)));
  std::string errorText() const { return systemErrorText(port_.lastError()); }

  SerialPort& port_;
  Registry& registry_;
  std::string portName_;
  bool connected_ = false;
  bool connecting_ = false;
  std::uint8_t interfaceVersion_ = 0;
  std::uint16_t sampleSize_ = 0;
  std::string lastMessage_;
  int openError_ = 0;
  // An answer was still owed when its wait ran out.
  bool answerOwed_ = false;
  // The transfer the interface has taken part of: its bytes, and how many went.
  std::vector<std::uint8_t> openTransfer_;
  std::size_t openTaken_ = 0;
};

// The program's one bridge: installed by the program (or a test), not owned.
// Without one, interface 9 is simply absent.
SerialBridge* installSerialBridge(SerialBridge* bridge);

// Entry points used by DeviceLink for interface 9.
DeviceHandle bridgeConnect(std::uint32_t& error);
bool bridgeControl(std::uint32_t code, const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                   std::size_t outputLength, std::size_t& returned, std::uint32_t& error);

}  // namespace trimwell
