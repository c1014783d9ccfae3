#pragma once
// The window controls layer on Qt widgets: each control identifier names one widget.

#include <functional>
#include <map>

#include "platform/window_controls.h"

class QComboBox;
class QMessageBox;
class QString;
class QWidget;

namespace trimwell {

class QtControls final : public WindowControls {
 public:
  explicit QtControls(QWidget* window) : window_(window) {}

  // Registers a widget made for entry; wires its click or text-changed signal.
  void add(const ControlSpec& entry, QWidget* widget);
  QWidget* widget(int id) const;

  bool exists(int id) const override { return widgets_.count(id) != 0; }
  void show(int id, bool shown) override;
  bool isShown(int id) const override;
  void enable(int id, bool enabled) override;
  bool isEnabled(int id) const override;
  void setChecked(int id, bool checked) override;
  bool isChecked(int id) const override;
  void setText(int id, const std::string& text) override;
  std::string text(int id) const override;
  void setReadOnly(int id, bool readOnly) override;
  bool isReadOnly(int id) const override;
  void setFocus(int id) override;
  void setTextColour(int id, std::int32_t colour) override;
  void setChoices(int id, const std::vector<std::string>& entries) override;
  std::vector<std::string> choices(int id) const override;
  void messageBox(const std::string& text) override;
  bool questionBox(const std::string& text) override;

  // Told of every text set, and of each message box once it is up (from inside its
  // own event loop) and once it closed: for a log, or a script that answers boxes.
  std::function<void(int, const std::string&)> textObserver;
  std::function<void(QMessageBox&)> boxOpened;
  std::function<void(QMessageBox&)> boxClosed;

 private:
  static void showInChoice(QComboBox& choice, const QString& text);

  QWidget* window_;
  std::map<int, QWidget*> widgets_;
};

}  // namespace trimwell
