#pragma once
// The station's paths for a test: the sample datasheet library and firmware the
// build puts in TRIMWELL_SAMPLE_DIR, and the records where the test says.

#include <string>

#include "app/dialog_paths.h"

namespace trimwell::test {

inline DialogPaths samplePaths(std::string recordsFile = {}) {
  DialogPaths p;
  p.datasheetFolder = TRIMWELL_SAMPLE_DIR;
  p.firmwareFile = TRIMWELL_SAMPLE_DIR "/Dockmon.hex";
  p.recordsFile = std::move(recordsFile);
  return p;
}

}  // namespace trimwell::test
