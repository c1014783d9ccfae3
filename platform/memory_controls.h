#pragma once
// Window controls held in memory: every state a test or a headless run may ask for,
// and the message boxes shown, in order.

#include <functional>
#include <map>

#include "platform/window_controls.h"

namespace trimwell {

class MemoryControls final : public WindowControls {
 public:
  struct State {
    ControlKind kind = ControlKind::Label;
    bool shown = true;
    bool enabled = true;
    bool checked = false;
    bool readOnly = false;
    std::string text;
    std::int32_t colour = kDefaultColour;
    std::vector<std::string> choices;
  };

  explicit MemoryControls(const std::vector<ControlSpec>& layout);

  bool exists(int id) const override { return controls_.count(id) != 0; }
  void show(int id, bool shown) override;
  bool isShown(int id) const override { return state(id).shown; }
  void enable(int id, bool enabled) override;
  bool isEnabled(int id) const override { return state(id).enabled; }
  void setChecked(int id, bool checked) override;
  bool isChecked(int id) const override { return state(id).checked; }
  void setText(int id, const std::string& text) override;
  std::string text(int id) const override { return state(id).text; }
  void setReadOnly(int id, bool readOnly) override;
  bool isReadOnly(int id) const override { return state(id).readOnly; }
  void setFocus(int id) override { focus_ = id; }
  void setTextColour(int id, std::int32_t colour) override;
  void setChoices(int id, const std::vector<std::string>& choices) override;
  std::vector<std::string> choices(int id) const override { return state(id).choices; }
  void messageBox(const std::string& text) override {
    messages.push_back(text);
    if (messageObserver) messageObserver(text);
  }

  // The answers the next question boxes get, in turn; No once none are left.
  bool questionBox(const std::string& text) override {
    messageBox(text);
    if (answers.empty()) return false;
    const bool yes = answers.front();
    answers.erase(answers.begin());
    return yes;
  }

  const State& state(int id) const;
  int focus() const { return focus_; }

  // What an operator can do: false when the control is hidden, disabled or (for
  // typing) read-only, as the operator could not reach it.
  bool click(int id);
  bool type(int id, const std::string& text);

  std::vector<std::string> messages;
  std::vector<bool> answers;
  // Told of every text set (id, text) and every message box, for a headless log.
  std::function<void(int, const std::string&)> textObserver;
  std::function<void(const std::string&)> messageObserver;

 private:
  std::map<int, State> controls_;
  int focus_ = 0;
  static const State kMissing;
};

}  // namespace trimwell
