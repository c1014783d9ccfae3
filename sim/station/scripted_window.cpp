#include "sim/station/scripted_window.h"

#include "app/dialog_layout.h"
#include "app/control_ids.h"

namespace trimwell::sim {

MemoryWindow::MemoryWindow() : controls_(dialogControls()) {
  controls_.textObserver = [this](int id, const std::string& text) {
    if (id == ids::kStatus) statusShown(text);
  };
  // A box holds the step that shows it, as a real one does: the script goes on
  // from inside the call until it dismisses the box.
  controls_.messageObserver = [this](const std::string& text) {
    const std::size_t depth = ++openBoxes_;
    messageShown(text);
    if (runInsideBox) runInsideBox();
    if (openBoxes_ >= depth) openBoxes_ = depth - 1;
  };
}

void MemoryWindow::tick(int count) {
  for (int i = 0; i < count; ++i) {
    if (tick_) tick_();
  }
}

bool MemoryWindow::answer(bool yes) {
  if (openBoxes_ == 0) return false;
  controls_.answers.push_back(yes);
  --openBoxes_;
  return true;
}

bool MemoryWindow::dismiss() {
  if (openBoxes_ == 0) return false;
  --openBoxes_;
  return true;
}

}  // namespace trimwell::sim
