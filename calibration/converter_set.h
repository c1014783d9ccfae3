#pragma once
// Turning a sensor's sample blocks into one value per measurement.
//
// A sample block holds the raw samples of the raw measurements (input count 0),
// packed in datasheet order. Derived measurements take the values of their inputs,
// converted once every input of the same block has been. Values and their sums are
// kept in single precision; the arithmetic is done in double. Nothing on the
// conversion path allocates.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "datasheet/datasheet.h"

namespace trimwell {

class MeasurementConverter {
 public:
  explicit MeasurementConverter(const Measurement* measurement) : measurement(measurement) {}

  // From the sample (raw measurements; size bytes of the block) or from the inputs
  // (sample null).
  void Convert(const std::uint8_t* sample);

  const Measurement* measurement;
  std::array<MeasurementConverter*, kMaxInputs> inputs{};
  bool computed = false;
  bool valid = false;
  double rateScale = 0.0;
  bool primed = false;
  double accumulatedTime = 0.0;
  double accumulatedRate = 0.0;
  float previousTime = 0.0f;
  float previousValue = 0.0f;
  // The last difference quotient, for blocks that come with no time elapsed.
  double lastQuotient = 0.0;
  bool quotientKnown = false;
  float time = 0.0f;
  float value = 0.0f;
  float timeSum = 0.0f;
  float valueSum = 0.0f;
  std::int32_t sampleCount = 0;

 private:
  double input(int j) const;
  double rawValue(const std::uint8_t* sample) const;
  double applyOperation(double v, double& t);
  double accumulateRate(double v, double t);
  double differenceQuotient(double v, double& t);
};

// The change of a raw measurement's value for one step of its sample: the
// resolution of the readings made from it. 0 for a measurement that is not raw.
double rawResolution(const Measurement& raw);

// A calibrated measurement's reading at `raw`: the line through its two points
// (c[0], c[1]) and (c[2], c[3]), as the sensor works it out.
double calibratedReading(const double* c, double raw);

class ConverterSet {
 public:
  static constexpr int kSlots = 64;

  // Nothing happens for a null datasheet; otherwise one converter per measurement.
  void Build(const Datasheet* sheet);
  void Clear();
  void LinkInputs();
  void ResetAverages();
  MeasurementConverter* FindConverter(const Measurement* measurement) const;
  // Converts one block of `length` bytes. Raw samples are read only from inside the
  // block: a raw measurement whose sample lies beyond its end is not converted this
  // time (it keeps its previous value), nor is anything derived from it.
  bool ProcessSampleBlock(const std::uint8_t* block, std::size_t length, double timeStamp);

  // The bytes one block holds for this datasheet: the sum of the raw measurements'
  // sample sizes (negative sizes count as 0).
  static std::size_t totalSampleSize(const Datasheet& sheet);

  const Datasheet* datasheet = nullptr;
  std::array<std::unique_ptr<MeasurementConverter>, kSlots> converters;

 private:
  int activeSlots() const;
};

}  // namespace trimwell
