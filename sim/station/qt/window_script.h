#pragma once
// The station's scripts on the real Qt window: trimwell-sim --script FILE --window.

#include <string>

#include "app/calibration_dialog.h"

namespace trimwell::sim {

// Runs the script on a QApplication made as the station program makes it (so in
// the locale the environment gives), with real modal message boxes. Answers a
// ScriptResult.
int runWindowScript(int argc, char** argv, const std::string& scriptPath, Registry& settings,
                    const DialogPaths& paths, const std::string& scratchFolder);

}  // namespace trimwell::sim
