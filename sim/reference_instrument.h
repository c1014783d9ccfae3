#pragma once
// A simulated reference instrument: a meter that speaks SCPI on a pseudo-terminal
// and on a loopback TCP port at once, reading the bench's true value in its own
// unit with a small noise of its own. A thread answers *IDN?, *CLS, *OPC?, READ?,
// MEAS?, FETC? and SYST:ERR?; it can be made silent, slow, garbled, in error or
// answer not a number,
// and switched off (its line hangs up, its port refuses) and on again, on the
// same serial path (a link to the new pseudo-terminal) and the same TCP port.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace trimwell::sim {

class ReferenceInstrument {
 public:
  // Garble answers readings with no number, NotANumber with SCPI's 9.91E37.
  enum class Mode { Normal, Silent, Slow, Garble, Error, NotANumber };
  // Answers in slow mode come this late: longer than any timeout the bench sets.
  static constexpr int kSlowMs = 600;
  static constexpr const char* kIdentity = "Brook Metrology,PRT-9,RI-7731,2.04";
  static constexpr const char* kSerial = "RI-7731";

  ReferenceInstrument();
  ~ReferenceInstrument();
  ReferenceInstrument(const ReferenceInstrument&) = delete;
  ReferenceInstrument& operator=(const ReferenceInstrument&) = delete;

  // Switches the instrument on (false when no pseudo-terminal or port can be had)
  // or off.
  bool switchOn();
  void switchOff();
  bool on() const { return on_; }
  // The serial port to choose: a link that follows the instrument's pseudo-terminal.
  const std::string& portPath() const { return link_; }
  // 127.0.0.1:PORT.
  std::string address() const;

  // Takes effect at its next reading query; the error query after a reading
  // answers as that reading did.
  void setMode(Mode mode) { mode_ = mode; }
  Mode mode() const { return mode_; }
  // The true value at the bench, in the row's unit; the instrument reads it divided
  // by its scale (its own unit: a scale of 0.001 reads millikelvin for kelvin).
  void setTrueValue(double value) { trueValue_ = value; }
  void setScale(double scale) { scale_ = scale; }
  // Half the spread of its readings about the true value, in the row's unit.
  void setNoise(double noise) { noise_ = noise; }
  // The readings it has answered.
  unsigned long readings() const { return readings_; }

 private:
  void run();
  std::string answer(const std::string& line, Mode mode);

  std::string folder_;  // a private folder holding the link
  std::string link_;
  int master_ = -1;
  int slaveKeeper_ = -1;
  int listener_ = -1;
  int tcpPort_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> on_{false};
  std::atomic<Mode> mode_{Mode::Normal};
  std::atomic<double> trueValue_{20.0};
  std::atomic<double> scale_{1.0};
  std::atomic<double> noise_{0.001};
  std::atomic<unsigned long> readings_{0};
  std::mutex errorMutex_;
  bool errorPending_ = false;
};

}  // namespace trimwell::sim
