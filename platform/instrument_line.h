#pragma once
// A text line to an instrument: a serial port (a COM port or a pseudo-terminal,
// with its baud rate and parity) or a TCP connection (a raw socket, as SCPI
// instruments offer on port 5025). Lines go out with the chosen ending and come
// back ended by a line feed (a carriage return before it is dropped). Reads wait
// with poll(), so a line gone quiet is noticed within its timeout.

#include <string>

#include "platform/termios_port.h"

namespace trimwell {

enum class LineParity { None, Even, Odd };

struct InstrumentLineSettings {
  // A serial port (/dev/ttyUSB0, /dev/serial/by-id/..., or a name under /dev), or a
  // network address HOST:PORT.
  std::string location;
  int baud = 9600;
  LineParity parity = LineParity::None;
  std::string lineEnding = "\n";  // what ends a line sent: "\n" or "\r\n"
  bool operator==(const InstrumentLineSettings&) const = default;
};

// Whether the location is a network address (HOST:PORT with a port number) rather
// than a serial port; splits it when it is.
bool networkAddress(const std::string& location, std::string& host, int& port);

// The baud rates a serial line may be set to.
bool supportedBaud(int baud);

enum class LineRead { Line, Timeout, Gone };

class InstrumentLine {
 public:
  InstrumentLine() = default;
  ~InstrumentLine() { close(); }
  InstrumentLine(const InstrumentLine&) = delete;
  InstrumentLine& operator=(const InstrumentLine&) = delete;

  // Opens the location; false with problem() (an errno value in error()).
  bool open(const InstrumentLineSettings& settings, int timeoutMs);
  // Takes over a connected stream socket (one end of a socketpair, an accepted
  // connection), which it closes in turn.
  void adopt(int socket);
  void close();
  bool isOpen() const { return fd_ >= 0; }

  // False when the line is gone or the write did not finish within timeoutMs.
  bool writeLine(const std::string& text, int timeoutMs);
  // The next line, without its ending. A line longer than kLongestLine is cut there.
  LineRead readLine(std::string& line, int timeoutMs);
  // Drops what has come and not been read.
  void dropInput();

  const std::string& problem() const { return problem_; }
  int error() const { return error_; }
  static constexpr std::size_t kLongestLine = 4096;

 private:
  bool openSerial(const InstrumentLineSettings& settings);
  bool openNetwork(const std::string& host, int port, int timeoutMs);
  bool failed(const std::string& what, int error);
  LineRead gone(const std::string& what, int error);
  TermiosPort serial_;
  int socket_ = -1;
  int fd_ = -1;  // the serial port's or the socket's
  std::string ending_ = "\n";
  std::string pending_;  // bytes read after the last line
  std::string problem_;
  int error_ = 0;
};

}  // namespace trimwell
