#pragma once
// A simulated smart sensor: an EEPROM holding its datasheet image, a calibration
// block, samples made from a settable value per raw measurement, power, and the
// zero and gain commands. It answers only what a real sensor answers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "datasheet/datasheet.h"

namespace trimwell::sim {

class SimulatedSensor {
 public:
  // 4 KB, as much as one transfer of the link moves: a larger datasheet could
  // never be written in one piece anyway.
  static constexpr std::size_t kEepromSize = 4096;
  static constexpr std::size_t kCalibrationSize = 96;
  // One calibrated measurement's two points: four 16.16 values.
  static constexpr std::size_t kCalibrationRecordSize = 16;
  // The calibration block lives at the top of the EEPROM ("high EEPROM"), so a
  // datasheet image long enough to reach it overwrites it.
  static constexpr std::size_t kCalibrationOffset = kEepromSize - kCalibrationSize;

  explicit SimulatedSensor(const std::vector<std::uint8_t>& datasheetImage);
  // nullptr when the file cannot be read.
  static std::unique_ptr<SimulatedSensor> fromFile(const std::string& path);

  // What the operator's bench sets.
  void setInput(int measurementId, double value) { inputs_[measurementId] = value; }
  void setNoise(double sigma) { noiseSigma_ = sigma; }

  // The requests that reach the sensor through its interface.
  void readDatasheet(std::uint8_t* out, std::size_t length, std::size_t& returned) const;
  void writeDatasheet(const std::uint8_t* data, std::size_t length);
  // One sample of sampleSize bytes (the interface's configured size), at most length.
  void readSample(std::size_t sampleSize, std::uint8_t* out, std::size_t length, std::size_t& returned);
  void writeCalibration(const std::uint8_t* data, std::size_t length);
  void readCalibration(std::uint8_t* out, std::size_t length, std::size_t& returned) const;
  void command(int value, const std::uint8_t* data, std::size_t length);

  // The datasheet image as stored: the bytes of the last image written.
  std::vector<std::uint8_t> storedImage() const;
  std::vector<std::uint8_t> calibration() const;
  // The measurements the sensor samples, as its stored datasheet says.
  const Datasheet& layout() const { return *layout_; }

  int initCommandCount = 0;
  int lastGainCode = -1;       // -1 until a gain command arrives
  bool lastGainInValue = false;

 private:
  void relayout();
  void writeFactoryCalibration();
  void packMeasurement(const Measurement& m, std::uint8_t* at, std::size_t room);

  std::vector<std::uint8_t> eeprom_;
  std::size_t imageLength_ = 0;
  std::unique_ptr<Datasheet> layout_;
  std::map<int, double> inputs_;
  double noiseSigma_ = 0.0;
  std::mt19937 noise_{20261208};
};

// The raw bytes (little-endian) that the station converts back to value, for a raw
// measurement of the given conversion type and sample size.
void encodeRawSample(int conversionType, int sampleSize, double value, std::uint8_t* out);

}  // namespace trimwell::sim
