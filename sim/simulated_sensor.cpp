#include "sim/simulated_sensor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "datasheet/datasheet_library.h"
#include "link/requests.h"

namespace trimwell::sim {
namespace {

// The scale of conversion type 1: a 32-bit sample over 107374184 (2^30 / 10).
constexpr double kScaledDivisor = 107374184.0;

template <typename T>
T clampRound(double value) {
  const double lo = static_cast<double>(std::numeric_limits<T>::min());
  const double hi = static_cast<double>(std::numeric_limits<T>::max());
  if (std::isnan(value)) return 0;
  return static_cast<T>(std::clamp(std::round(value), lo, hi));
}

void putLittleEndian(std::uint32_t raw, int size, std::uint8_t* out) {
  for (int i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(raw >> (8 * i));
}

}  // namespace

void encodeRawSample(int conversionType, int sampleSize, double value, std::uint8_t* out) {
  std::uint32_t raw = 0;
  if (conversionType == kRawLong) {
    raw = static_cast<std::uint32_t>(toFixed(value));
    sampleSize = 4;
  } else if (conversionType == kRawScaled) {
    const double k = value * kScaledDivisor;
    if (sampleSize == 1) raw = clampRound<std::uint8_t>(k / (1 << 21));
    if (sampleSize == 2) raw = clampRound<std::uint16_t>(k / (1 << 15));
    if (sampleSize == 4) raw = static_cast<std::uint32_t>(clampRound<std::int32_t>(k));
  } else if (conversionType == kRawPlain) {
    if (sampleSize == 1) raw = clampRound<std::uint8_t>(value);
    if (sampleSize == 2) raw = clampRound<std::uint16_t>(value);
    if (sampleSize == 4) raw = static_cast<std::uint32_t>(clampRound<std::int32_t>(value));
  }
  putLittleEndian(raw, std::clamp(sampleSize, 0, 4), out);
}

SimulatedSensor::SimulatedSensor(const std::vector<std::uint8_t>& datasheetImage)
    : eeprom_(kEepromSize, 0xFF), layout_(std::make_unique<Datasheet>()) {
  std::fill(eeprom_.begin() + static_cast<long>(kCalibrationOffset), eeprom_.end(), 0);
  writeDatasheet(datasheetImage.data(), datasheetImage.size());
  writeFactoryCalibration();
}

// A sensor leaves the factory calibrated: its block holds the two points its
// datasheet's calibrated measurements carry, one 16-byte record of 16.16 values per
// calibrated measurement, in their order. A station reading it back finds what
// the datasheet says, as it would on a real sensor.
void SimulatedSensor::writeFactoryCalibration() {
  std::size_t at = kCalibrationOffset;
  for (int i = 0; i < layout_->measurementCount && i < kMaxMeasurements; ++i) {
    const Measurement* m = layout_->measurement(i);
    if (m == nullptr || m->conversionType != kCalibrated) continue;
    if (at + kCalibrationRecordSize > eeprom_.size()) break;
    for (std::size_t k = 0; k < 4; ++k) {
      putLittleEndian(static_cast<std::uint32_t>(toFixed(m->type.constants[k])), 4, eeprom_.data() + at + 4 * k);
    }
    at += kCalibrationRecordSize;
  }
}

std::unique_ptr<SimulatedSensor> SimulatedSensor::fromFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!readFileBytes(path, bytes)) return nullptr;
  return std::make_unique<SimulatedSensor>(bytes);
}

void SimulatedSensor::relayout() {
  layout_ = std::make_unique<Datasheet>();
  layout_->decode(eeprom_.data(), imageLength_);
}

void SimulatedSensor::readDatasheet(std::uint8_t* out, std::size_t length, std::size_t& returned) const {
  returned = std::min(length, eeprom_.size());
  std::memcpy(out, eeprom_.data(), returned);
}

void SimulatedSensor::writeDatasheet(const std::uint8_t* data, std::size_t length) {
  imageLength_ = std::min(length, eeprom_.size());
  if (imageLength_ > 0) std::memcpy(eeprom_.data(), data, imageLength_);
  relayout();
}

std::vector<std::uint8_t> SimulatedSensor::storedImage() const {
  return {eeprom_.begin(), eeprom_.begin() + static_cast<long>(imageLength_)};
}

void SimulatedSensor::packMeasurement(const Measurement& m, std::uint8_t* at, std::size_t room) {
  const auto size = static_cast<std::size_t>(m.type.sampleSize);
  double value = inputs_.count(m.id) != 0 ? inputs_[m.id] : 0.0;
  if (noiseSigma_ > 0) value += std::normal_distribution<double>(0.0, noiseSigma_)(noise_);
  std::uint8_t raw[4] = {0, 0, 0, 0};
  encodeRawSample(m.conversionType, m.type.sampleSize, value, raw);
  std::memcpy(at, raw, std::min({size, room, sizeof raw}));
}

void SimulatedSensor::readSample(std::size_t sampleSize, std::uint8_t* out, std::size_t length,
                                 std::size_t& returned) {
  std::vector<std::uint8_t> sample(sampleSize, 0);
  std::size_t at = 0;
  for (int i = 0; i < layout_->measurementCount && i < kMaxMeasurements; ++i) {
    const Measurement* m = layout_->measurement(i);
    if (m == nullptr || m->type.inputCount != 0 || m->type.sampleSize <= 0) continue;
    if (at < sample.size()) packMeasurement(*m, sample.data() + at, sample.size() - at);
    at += static_cast<std::size_t>(m->type.sampleSize);
  }
  returned = std::min(length, sample.size());
  if (returned > 0) std::memcpy(out, sample.data(), returned);
}

void SimulatedSensor::writeCalibration(const std::uint8_t* data, std::size_t length) {
  std::memcpy(eeprom_.data() + kCalibrationOffset, data, std::min(length, kCalibrationSize));
}

void SimulatedSensor::readCalibration(std::uint8_t* out, std::size_t length, std::size_t& returned) const {
  returned = std::min(length, kCalibrationSize);
  std::memcpy(out, eeprom_.data() + kCalibrationOffset, returned);
}

std::vector<std::uint8_t> SimulatedSensor::calibration() const {
  return {eeprom_.begin() + static_cast<long>(kCalibrationOffset), eeprom_.end()};
}

void SimulatedSensor::command(int value, const std::uint8_t* data, std::size_t length) {
  if (value == kSensorCommandInit && length == 0) {
    ++initCommandCount;
  } else if (value == kSensorCommandGain && length == 2) {
    lastGainCode = data[0] | data[1] << 8;
    lastGainInValue = false;
  } else if ((value >> 8) == kSensorCommandGain) {
    lastGainCode = value & 0xFF;
    lastGainInValue = true;
  }
}

}  // namespace trimwell::sim
