#include "sim/station/qt/window_script.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "app/qt/certificate.h"
#include "app/qt/station_window.h"
#include "app/control_ids.h"
#include "sim/station/station_script.h"

namespace trimwell::sim {
namespace {

// The script's operator at the real window. The window's own timer is stopped: the
// script gives every tick, through the event loop, so that a tick reaches the
// station exactly as the timer's would, also while a message box is up.
class QtWindow final : public ScriptedWindow {
 public:
  explicit QtWindow(StationWindow& window) : window_(window) {
    QtControls& c = window.controls();
    c.textObserver = [this](int id, const std::string& text) {
      if (id == ids::kStatus) statusShown(text);
    };
    c.boxOpened = [this](QMessageBox& box) {
      open_.push_back(&box);
      messageShown(box.text().toStdString());
      if (runInsideBox) runInsideBox();
    };
    c.boxClosed = [this](QMessageBox& box) { open_.erase(std::remove(open_.begin(), open_.end(), &box), open_.end()); };
    window_.stopTimer();
  }
  ~QtWindow() override {
    QtControls& c = window_.controls();
    c.textObserver = nullptr;
    c.boxOpened = nullptr;
    c.boxClosed = nullptr;
  }
  QtWindow(const QtWindow&) = delete;
  QtWindow& operator=(const QtWindow&) = delete;

  WindowControls& controls() override { return window_.controls(); }

  // The control's widget when an operator could reach it: shown, enabled, and no
  // message box in front.
  QWidget* reachable(int id) const {
    QWidget* w = window_.controls().widget(id);
    if (!open_.empty() || w == nullptr || w->isHidden() || !w->isEnabled()) return nullptr;
    return w;
  }

  bool click(int id) override {
    QWidget* w = reachable(id);
    if (auto* choice = qobject_cast<QComboBox*>(w)) {
      // Enter, as an operator takes what they typed. The box has the keyboard focus
      // (its field's focus goes to it) and hands the key on to the field.
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(choice, &press);
      QCoreApplication::sendEvent(choice, &release);
      return true;
    }
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (button == nullptr) return false;
    button->click();
    return true;
  }

  bool type(int id, const std::string& text) override {
    QWidget* w = reachable(id);
    if (auto* lines = qobject_cast<QPlainTextEdit*>(w); lines != nullptr && !lines->isReadOnly()) {
      lines->setFocus(Qt::OtherFocusReason);
      lines->selectAll();
      lines->insertPlainText(QString::fromUtf8(text.c_str()));
      return true;
    }
    auto* choice = qobject_cast<QComboBox*>(w);
    auto* edit = choice != nullptr ? choice->lineEdit() : qobject_cast<QLineEdit*>(w);
    if (edit == nullptr || edit->isReadOnly()) return false;
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    edit->insert(QString::fromUtf8(text.c_str()));
    return true;
  }

  void tick(int count) override {
    for (int i = 0; i < count; ++i) {
      QMetaObject::invokeMethod(
          &window_,
          [this] {
            ++ticksStarted_;
            window_.runTick();
          },
          Qt::QueuedConnection);
    }
    // A tick that opens a box starts the script's next lines inside it; counting the
    // ticks as they start lets a `tick` given there wait for its own ticks only.
    const std::size_t target = (ticksPosted_ += static_cast<std::size_t>(count));
    while (ticksStarted_ < target) QCoreApplication::processEvents();
  }

  // OK, or No for a question, as Escape would.
  bool dismiss() override {
    if (open_.empty()) return false;
    QMessageBox* box = open_.back();
    QAbstractButton* button = box->button(QMessageBox::Ok);
    if (button == nullptr) button = box->button(QMessageBox::No);
    if (button == nullptr) return false;
    open_.pop_back();
    button->click();
    return true;
  }

  bool answer(bool yes) override {
    if (open_.empty()) return false;
    QMessageBox* box = open_.back();
    QAbstractButton* button = box->button(yes ? QMessageBox::Yes : QMessageBox::No);
    if (button == nullptr) return false;
    open_.pop_back();
    button->click();
    return true;
  }

  void dismissAll() override {
    while (dismiss()) {
    }
  }

  std::size_t openBoxes() const override { return open_.size(); }
  bool close() override { return window_.close(); }
  std::string toolTip(int id) const override {
    QWidget* w = window_.controls().widget(id);
    return w != nullptr ? w->toolTip().toStdString() : std::string();
  }

 private:
  StationWindow& window_;
  std::vector<QMessageBox*> open_;
  std::size_t ticksPosted_ = 0;
  std::size_t ticksStarted_ = 0;
};

}  // namespace

int runWindowScript(int argc, char** argv, const std::string& scriptPath, Registry& settings,
                    const DialogPaths& paths, const std::string& scratchFolder) {
  std::ifstream script(scriptPath);
  if (!script) {
    std::cerr << "trimwell-sim: cannot read " << scriptPath << "\n";
    return kScriptMalformed;
  }
  QApplication app(argc, argv);
  std::unique_ptr<SimulatedStation> station;
  int result = kScriptMalformed;
  {
    StationWindow window([&](WindowControls& controls) -> CalibrationDialog& {
      station = std::make_unique<SimulatedStation>(controls, settings, paths);
      return station->dialog();
    });
    window.onTick = [&] { station->tick(); };
    window.show();
    QtWindow operatorWindow(window);
    const std::string folder = std::filesystem::path(scriptPath).parent_path().string();
    StationScript runner(operatorWindow, *station, std::cout, folder.empty() ? "." : folder, scratchFolder);
    runner.writeCertificate = writeCertificatePdf;
    result = runner.run(script);
    std::cout.flush();
    station.reset();  // while the window's controls still exist
  }
  return result;
}

}  // namespace trimwell::sim
