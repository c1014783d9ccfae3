#include "platform/memory_controls.h"

namespace trimwell {

const MemoryControls::State MemoryControls::kMissing{};

MemoryControls::MemoryControls(const std::vector<ControlSpec>& layout) {
  for (const ControlSpec& entry : layout) {
    State& s = controls_[entry.id];
    s.kind = entry.kind;
    s.text = entry.caption != nullptr ? entry.caption : "";
    s.readOnly = entry.kind == ControlKind::ReadOnlyEdit;
    if (entry.kind == ControlKind::Edit || entry.kind == ControlKind::ReadOnlyEdit) s.text.clear();
  }
}

const MemoryControls::State& MemoryControls::state(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? kMissing : it->second;
}

void MemoryControls::show(int id, bool shown) {
  if (auto it = controls_.find(id); it != controls_.end()) it->second.shown = shown;
}
void MemoryControls::enable(int id, bool enabled) {
  if (auto it = controls_.find(id); it != controls_.end()) it->second.enabled = enabled;
}
void MemoryControls::setChecked(int id, bool checked) {
  if (auto it = controls_.find(id); it != controls_.end()) it->second.checked = checked;
}
void MemoryControls::setReadOnly(int id, bool readOnly) {
  if (auto it = controls_.find(id); it != controls_.end()) it->second.readOnly = readOnly;
}
void MemoryControls::setTextColour(int id, std::int32_t colour) {
  if (auto it = controls_.find(id); it != controls_.end()) it->second.colour = colour;
}

void MemoryControls::setToolTip(int id, const std::string& text) {
  if (auto it = controls_.find(id); it != controls_.end()) it->second.toolTip = text;
}

bool MemoryControls::ask(const std::string& question) {
  // With an observer the answer comes from inside it, for this question only.
  if (messageObserver) answers.clear();
  messageBox(question);
  if (answers.empty()) return false;
  const bool yes = answers.front();
  answers.erase(answers.begin());
  return yes;
}

void MemoryControls::setChoices(int id, const std::vector<std::string>& choices) {
  if (auto it = controls_.find(id); it != controls_.end()) it->second.choices = choices;
}

void MemoryControls::setText(int id, const std::string& text) {
  auto it = controls_.find(id);
  if (it == controls_.end()) return;
  it->second.text = text;
  if (textObserver) textObserver(id, text);
  const bool edit = it->second.kind == ControlKind::Edit || it->second.kind == ControlKind::ReadOnlyEdit;
  if (edit && listener_ != nullptr) listener_->OnControlTextChanged(id);
}

bool MemoryControls::click(int id) {
  auto it = controls_.find(id);
  if (it == controls_.end() || !it->second.shown || !it->second.enabled) return false;
  State& s = it->second;
  if (s.kind == ControlKind::CheckBox) s.checked = !s.checked;
  if (s.kind == ControlKind::RadioButton) s.checked = true;
  if (listener_ != nullptr) listener_->OnControlClicked(id);
  return true;
}

bool MemoryControls::type(int id, const std::string& text) {
  auto it = controls_.find(id);
  if (it == controls_.end() || !it->second.shown || !it->second.enabled || it->second.readOnly) return false;
  if (it->second.kind != ControlKind::Edit && it->second.kind != ControlKind::Choice) return false;
  setText(id, text);
  return true;
}

}  // namespace trimwell
