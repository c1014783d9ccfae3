#pragma once
// The window as the dialog logic sees it: controls reached by identifier.
//
// Implementations: the Qt window (real widgets) and MemoryControls (headless runs
// and tests). Setting an edit box's text notifies the listener, as a toolkit would.

#include <cstdint>
#include <string>
#include <vector>

namespace trimwell {

// Choice: a list to pick from that also takes a typed entry; picking or entering
// one is its click.
enum class ControlKind { Button, CheckBox, RadioButton, Edit, ReadOnlyEdit, Label, Choice };

struct ControlSpec {
  int id;
  ControlKind kind;
  const char* caption;
};

// Text colour: kDefaultColour, or 0x00BBGGRR as the original toolkit counts.
constexpr std::int32_t kDefaultColour = -1;
constexpr std::int32_t kRed = 0x0000FF;

class ControlListener {
 public:
  virtual ~ControlListener() = default;
  virtual void OnControlClicked(int id) = 0;
  virtual void OnControlTextChanged(int id) = 0;
};

class WindowControls {
 public:
  virtual ~WindowControls() = default;

  virtual bool exists(int id) const = 0;
  virtual void show(int id, bool shown) = 0;
  virtual bool isShown(int id) const = 0;
  virtual void enable(int id, bool enabled) = 0;
  virtual bool isEnabled(int id) const = 0;
  virtual void setChecked(int id, bool checked) = 0;
  virtual bool isChecked(int id) const = 0;
  // Caption of a button or check box, content of an edit box (UTF-8).
  virtual void setText(int id, const std::string& text) = 0;
  virtual std::string text(int id) const = 0;
  virtual void setReadOnly(int id, bool readOnly) = 0;
  virtual bool isReadOnly(int id) const = 0;
  virtual void setFocus(int id) = 0;
  virtual void setTextColour(int id, std::int32_t colour) = 0;
  // The entries a Choice offers; its text is the one picked or typed.
  virtual void setChoices(int id, const std::vector<std::string>& choices) = 0;
  virtual std::vector<std::string> choices(int id) const = 0;
  // A modal box with one OK button.
  virtual void messageBox(const std::string& text) = 0;
  // A modal box asking Yes or No; true for Yes. A window without one shows the text
  // and takes it as No, the answer that does nothing.
  virtual bool questionBox(const std::string& text) {
    messageBox(text);
    return false;
  }

  void setListener(ControlListener* listener) { listener_ = listener; }

 protected:
  ControlListener* listener_ = nullptr;
};

}  // namespace trimwell
