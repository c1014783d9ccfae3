#pragma once
// The station's window as a script's operator reaches it: the controls the dialog
// drives, plus clicking, typing, the timer and the message boxes. One kind keeps the
// controls in memory (headless runs), the other is the real Qt window.

#include <functional>
#include <string>
#include <vector>

#include "platform/memory_controls.h"

namespace trimwell::sim {

class ScriptedWindow {
 public:
  virtual ~ScriptedWindow() = default;

  virtual WindowControls& controls() = 0;
  // False when the control is hidden or disabled (typing: read-only or no edit box),
  // or a message box is open in front of the window.
  virtual bool click(int id) = 0;
  virtual bool type(int id, const std::string& text) = 0;
  // Fires the window's timer `count` times.
  virtual void tick(int count) = 0;
  // Answers OK to the message box shown last and still open; false when none is.
  virtual bool dismiss() = 0;
  // Answers Yes or No to the question shown last and still open; false when the
  // box in front is no question, or none is open.
  virtual bool answer(bool yes) = 0;
  // Answers every open box, innermost first, so that each step waiting in one ends.
  virtual void dismissAll() = 0;
  virtual std::size_t openBoxes() const = 0;
  // The operator closes the window; false when the station kept it open.
  virtual bool close() = 0;
  // What a control's tip says now.
  virtual std::string toolTip(int id) const = 0;

  // Every message box text and status line, in the order the station showed them.
  std::vector<std::string> messages;
  std::vector<std::string> statuses;
  std::function<void(const std::string&)> onStatus;
  std::function<void(const std::string&)> onMessage;
  // A real box runs an event loop of its own; this is called from inside it once the
  // box is up, so that the script goes on there until a `dismiss` closes it.
  std::function<void()> runInsideBox;

 protected:
  void statusShown(const std::string& text) {
    statuses.push_back(text);
    if (onStatus) onStatus(text);
  }
  void messageShown(const std::string& text) {
    messages.push_back(text);
    if (onMessage) onMessage(text);
  }
};

// Headless: a message box is recorded and holds the station's step, with the script
// going on inside it, until the script dismisses it.
class MemoryWindow final : public ScriptedWindow {
 public:
  MemoryWindow();

  WindowControls& controls() override { return controls_; }
  MemoryControls& memoryControls() { return controls_; }
  bool click(int id) override { return openBoxes_ == 0 && controls_.click(id); }
  bool type(int id, const std::string& text) override { return openBoxes_ == 0 && controls_.type(id, text); }
  void tick(int count) override;
  bool dismiss() override;
  bool answer(bool yes) override;
  void dismissAll() override { openBoxes_ = 0; }
  std::size_t openBoxes() const override { return openBoxes_; }
  bool close() override { return !closing_ || closing_(); }
  std::string toolTip(int id) const override { return controls_.state(id).toolTip; }
  // The station is made on the controls, so its tick and its answer to a close
  // are known only afterwards.
  void setTick(std::function<void()> tick) { tick_ = std::move(tick); }
  void setClosing(std::function<bool()> closing) { closing_ = std::move(closing); }

 private:
  MemoryControls controls_;
  std::function<void()> tick_;
  std::function<bool()> closing_;
  std::size_t openBoxes_ = 0;
};

}  // namespace trimwell::sim
