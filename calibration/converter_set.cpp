#include "calibration/converter_set.h"

#include <algorithm>
#include <cmath>

namespace trimwell {
namespace {

constexpr double kScaledDivisor = 107374184.0;  // the float nearest 2^30 / 10
constexpr float kMicroScale = 0.0000005f;
constexpr float kLogFloor = 0.1f;

bool isRaw(const Measurement& m) { return m.type.inputCount == 0; }
bool isRawType(int type) { return type == kRawLong || type == kRawScaled || type == kRawPlain; }

std::uint32_t littleEndian(const std::uint8_t* p, int size) {
  std::uint32_t value = 0;
  for (int i = 0; i < size; ++i) value |= static_cast<std::uint32_t>(p[i]) << (8 * i);
  return value;
}

}  // namespace

double calibratedReading(const double* c, double raw) {
  const double slope = (c[3] - c[1]) / (c[2] - c[0]);
  const double offset = ((c[1] + c[3]) - slope * (c[0] + c[2])) * 0.5;
  return slope * raw + offset;
}

double rawResolution(const Measurement& raw) {
  const int size = raw.type.sampleSize;
  switch (raw.conversionType) {
    case kRawLong: return 1.0 / 65536.0;
    case kRawScaled:
      if (size == 1) return (1 << 21) / kScaledDivisor;
      if (size == 2) return (1 << 15) / kScaledDivisor;
      return 1.0 / kScaledDivisor;
    case kRawPlain: return 1.0;
    default: return 0.0;
  }
}

// ---- one measurement ----

double MeasurementConverter::input(int j) const {
  return inputs[static_cast<std::size_t>(j)] != nullptr ? inputs[static_cast<std::size_t>(j)]->value : 0.0;
}

double MeasurementConverter::rawValue(const std::uint8_t* s) const {
  const int size = measurement->type.sampleSize;
  switch (measurement->conversionType) {
    case kRawLong:
      return static_cast<std::int32_t>(littleEndian(s, 4)) / 65536.0;
    case kRawScaled: {
      std::int32_t k = 0;
      if (size == 1) k = static_cast<std::int32_t>(littleEndian(s, 1) << 21);
      else if (size == 2) k = static_cast<std::int32_t>(littleEndian(s, 2) << 15);
      else if (size == 4) k = static_cast<std::int32_t>(littleEndian(s, 4));
      return k / kScaledDivisor;
    }
    case kRawPlain:
      if (size == 1 || size == 2) return littleEndian(s, size);
      if (size == 4) return static_cast<std::int32_t>(littleEndian(s, 4));
      return 0.0;
    default:
      return 0.0;
  }
}

double MeasurementConverter::accumulateRate(double v, double t) {
  const double& c1 = measurement->type.constants[0];
  const double& c2 = measurement->type.constants[1];
  const double d = t - previousTime;
  if (!primed) {
    primed = true;
    previousTime = static_cast<float>(t);
    return 0.0;
  }
  accumulatedTime += static_cast<float>(d);
  previousTime = static_cast<float>(t);
  accumulatedRate += (d / rateScale) / v;
  if (v < 3.0) {
    accumulatedTime = 0.0;
    accumulatedRate = 0.0;
    return 0.0;
  }
  if (accumulatedTime < c1) {
    valid = false;
    return v;
  }
  const double rate = accumulatedRate / accumulatedTime * c2;
  accumulatedTime = 0.0;
  accumulatedRate = 0.0;
  return rate;
}

double MeasurementConverter::differenceQuotient(double v, double& t) {
  if (!valid) return v;
  if (!primed) {
    primed = true;
    previousValue = static_cast<float>(v);
    previousTime = static_cast<float>(t);
    valid = false;
    return v;
  }
  // Blocks read within one tick (Data Averaging) share its time stamp: no time has
  // passed, so the rate is the one last known rather than a division by zero.
  if (!(t - previousTime > 0.0)) {
    valid = quotientKnown;
    return quotientKnown ? lastQuotient : v;
  }
  const double quotient = (v - previousValue) / (t - previousTime);
  lastQuotient = quotient;
  quotientKnown = true;
  previousValue = static_cast<float>(v);
  const double midpoint = (t + previousTime) * 0.5;
  previousTime = static_cast<float>(t);
  t = midpoint;
  return quotient;
}

double MeasurementConverter::applyOperation(double v, double& t) {
  const auto& c = measurement->type.constants;
  switch (measurement->type.operation) {
    case 2: return accumulateRate(v, t);
    case 3:
      t = static_cast<float>(t + v * kMicroScale);
      return v * c[0] * 0.0000005;
    case 4: return v * c[0] / c[1];
    case 5: return differenceQuotient(v, t);
    case 6: {
      double x = v;
      if (std::isnan(x) || x < kLogFloor) x = kLogFloor;
      if (x > 100.0) x = 100.0;
      return 2.0 - std::log10(x);
    }
    case 7: return v * c[0] + c[1];
    case 8: {
      const double w1 = input(1);
      double result = v * (c[0] * w1 + c[1]) + c[2] * w1;
      if (c[3] != 0.0 && result < 0.0) result = -result;
      return result;
    }
    case 9: return std::sqrt(v * v + input(1) * input(1));
    case 10: return std::sqrt(v * v + input(1) * input(1) + input(2) * input(2));
    default: return v;
  }
}

void MeasurementConverter::Convert(const std::uint8_t* sample) {
  double v = 0.0;
  double t = time;
  if (measurement->type.inputCount != 0) {
    const MeasurementConverter* first = inputs[0];
    t = first->time;
    v = first->value;
    valid = first->valid;
  } else {
    valid = true;
  }
  const auto& c = measurement->type.constants;
  switch (measurement->conversionType) {
    case kRawLong:
    case kRawScaled:
      v = rawValue(sample);
      break;
    case kRawPlain: {
      const int size = measurement->type.sampleSize;
      if (size == 1 || size == 2 || size == 4) v = rawValue(sample);
      break;
    }
    case kCalibrated:
    case kOptionLine:
      v = calibratedReading(c.data(), v);
      break;
    case kOperation:
    case kMultiInput:
      v = applyOperation(v, t);
      break;
    default:
      break;
  }
  value = static_cast<float>(v);
  time = static_cast<float>(t);
  if (valid) {
    timeSum += time;
    valueSum += value;
    sampleCount += 1;
  }
  computed = true;
}

// ---- the set ----

int ConverterSet::activeSlots() const {
  if (datasheet == nullptr) return 0;
  return std::min<int>({datasheet->measurementCount, kSlots, kMaxMeasurements});
}

void ConverterSet::Build(const Datasheet* sheet) {
  if (sheet == nullptr) return;
  datasheet = sheet;
  Clear();
  for (int i = 0; i < activeSlots(); ++i) {
    if (const Measurement* m = sheet->measurement(i)) {
      converters[static_cast<std::size_t>(i)] = std::make_unique<MeasurementConverter>(m);
    }
  }
  LinkInputs();
}

void ConverterSet::Clear() {
  for (auto& slot : converters) slot.reset();
}

void ConverterSet::LinkInputs() {
  const int count = activeSlots();
  for (int i = 0; i < count; ++i) {
    MeasurementConverter* converter = converters[static_cast<std::size_t>(i)].get();
    if (converter == nullptr) continue;
    converter->inputs.fill(nullptr);
    const Measurement& m = *converter->measurement;
    const int type = m.conversionType;
    if (type != kCalibrated && type != kOperation && type != kPiecewise && type != kOptionLine &&
        type != kMultiInput) {
      continue;
    }
    for (int j = 0; j < m.type.storedInputCount(); ++j) {
      for (int k = 0; k < count; ++k) {
        MeasurementConverter* candidate = converters[static_cast<std::size_t>(k)].get();
        if (candidate != nullptr && candidate->measurement->id == m.type.inputIds[static_cast<std::size_t>(j)]) {
          converter->inputs[static_cast<std::size_t>(j)] = candidate;
          break;
        }
      }
    }
  }
}

void ConverterSet::ResetAverages() {
  for (int i = 0; i < activeSlots(); ++i) {
    if (MeasurementConverter* c = converters[static_cast<std::size_t>(i)].get()) {
      c->timeSum = 0.0f;
      c->valueSum = 0.0f;
      c->sampleCount = 0;
    }
  }
}

MeasurementConverter* ConverterSet::FindConverter(const Measurement* measurement) const {
  if (measurement == nullptr) return nullptr;
  for (int i = 0; i < activeSlots(); ++i) {
    MeasurementConverter* c = converters[static_cast<std::size_t>(i)].get();
    if (c != nullptr && c->measurement == measurement) return c;
  }
  return nullptr;
}

std::size_t ConverterSet::totalSampleSize(const Datasheet& sheet) {
  std::size_t total = 0;
  for (int i = 0; i < sheet.measurementCount && i < kMaxMeasurements; ++i) {
    const Measurement* m = sheet.measurement(i);
    if (m != nullptr && isRaw(*m) && m->type.sampleSize > 0) total += static_cast<std::size_t>(m->type.sampleSize);
  }
  return total;
}

bool ConverterSet::ProcessSampleBlock(const std::uint8_t* block, std::size_t length, double timeStamp) {
  const int count = activeSlots();
  for (int i = 0; i < count; ++i) {
    if (converters[static_cast<std::size_t>(i)]) converters[static_cast<std::size_t>(i)]->computed = false;
  }
  std::size_t position = 0;
  std::uint64_t rawTaken = 0;  // raw measurements take their bytes once per block
  for (int pass = 0; pass < count; ++pass) {
    bool allComputed = true;
    for (int i = 0; i < count; ++i) {
      MeasurementConverter* c = converters[static_cast<std::size_t>(i)].get();
      if (c == nullptr || c->computed) continue;
      const Measurement& m = *c->measurement;
      if (isRaw(m)) {
        if ((rawTaken >> i & 1) == 0) {
          rawTaken |= std::uint64_t{1} << i;
          const std::size_t size = static_cast<std::size_t>(std::max(0, m.type.sampleSize));
          if (block != nullptr ? position + size <= length : size == 0) {
            c->time = static_cast<float>(timeStamp);
            c->Convert(block != nullptr ? block + position : nullptr);
          }
          position += size;
        }
      } else if (!isRawType(m.conversionType) && c->inputs[0] != nullptr) {
        bool ready = true;
        for (int j = 0; j < m.type.storedInputCount(); ++j) {
          const MeasurementConverter* in = c->inputs[static_cast<std::size_t>(j)];
          if (in == nullptr || !in->computed) ready = false;
        }
        if (ready) c->Convert(nullptr);
      }
      if (!c->computed) allComputed = false;
    }
    if (allComputed) break;
  }
  return true;
}

}  // namespace trimwell
