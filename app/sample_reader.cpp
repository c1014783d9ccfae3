#include "app/sample_reader.h"

#include <algorithm>
#include <cstdint>

namespace trimwell {

bool readSamples(CalibrationSession& session, double time) {
  const bool averaging = session.options.dataAveraging != 0;
  if (averaging) session.converters.ResetAverages();
  const int reads = averaging ? kAveragedReads : 1;
  // The accepted sensor's sample fits the buffer; a larger one is never sampled.
  const std::size_t size = std::min(session.totalSampleSize, kSampleBufferSize);
  for (int n = 0; n < reads; ++n) {
    std::uint8_t sample[kSampleBufferSize] = {};
    std::size_t returned = 0;
    const bool good = session.currentInterface->readSample(0, sample, size, &returned) && returned == size;
    // The station's own clock: the rate and difference operations divide by the
    // time between blocks, which a constant time stamp would make zero.
    session.converters.ProcessSampleBlock(sample, good ? size : returned, time);
    if (!good) return false;
  }
  return true;
}

}  // namespace trimwell
