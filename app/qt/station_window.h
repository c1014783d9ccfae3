#pragma once
// The station's window: the dialog template laid out for a person, with the dialog
// logic behind it and its 500 ms timer.

#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/calibration_dialog.h"
#include "app/qt/qt_controls.h"
#include "app/control_ids.h"

class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;
class QProgressDialog;
class QTimer;
class QGridLayout;

class QMenuBar;
class QScrollArea;

namespace trimwell {

struct ReadingTexts;

class StationWindow : public QWidget {
 public:
  // makeDialog builds the logic on the window's controls (the program's own dialog,
  // or the simulated station's).
  using DialogFactory = std::function<CalibrationDialog&(WindowControls&)>;

  // The widest the window's content makes itself: a 1366-pixel laptop screen less
  // a thin frame. A narrower screen scrolls it.
  static constexpr int kLargestMinimumWidth = 1366 - 10;
  // The least a person may make the window; the content scrolls inside.
  static constexpr QSize kSmallestSize{480, 320};

  StationWindow(const DialogFactory& makeDialog, QWidget* parent = nullptr);
  ~StationWindow() override;

  QtControls& controls() { return controls_; }
  // The window that shows all of its content at once, with its menus.
  QSize wholeSize() const;
  // What a window manager's frame and title bar take, before the window is shown
  // and the frame is known.
  static constexpr QSize kFrameAllowance{8, 32};
  // The frame the window has, or the allowance for one not yet known.
  QSize frameAllowance() const;
  // Sizes the window to its whole, as far as `available` goes less the window
  // manager's title bar, and moves it to that area's top left.
  void fitInto(const QRect& available);
  QScrollArea* scrollArea() const { return scroll_; }
  CalibrationDialog& dialog() { return *dialog_; }
  // What a timer tick does; the dialog's OnTimer unless set.
  std::function<void()> onTick;
  // One tick, as the timer gives it.
  void runTick();
  // The headings over the rows' columns, shown while there are rows.
  const std::vector<QLabel*>& rowHeadings() const { return headings_; }
  // For runs that give the ticks themselves.
  void stopTimer();
  void showAbout();
  // The records window, beside the station's.
  void showRecords();
  // The lab's windows: the reference standards register, the units due for
  // calibration, and the lab's settings (which read the model's tolerances and
  // interval from the station's settings, given here by whoever made the dialog).
  void showStandards();
  void showUnitsDue();
  void showLabSettings();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildLayout();
  QMenuBar* buildMenus();
  QHBoxLayout* buildLabStrip(const std::map<int, QWidget*>& byId);
  QGridLayout* buildRowGrid(const std::map<int, QWidget*>& byId);
  QGroupBox* buildOptions(const std::map<int, QWidget*>& byId);
  QHBoxLayout* buildTrends(const std::map<int, QWidget*>& byId);
  QHBoxLayout* buildActions(const std::map<int, QWidget*>& byId);
  void fixMinimumSize();
  void fitReadingColumns(const ReadingTexts& texts);
  void addToolTips(const std::map<int, QWidget*>& byId);
  void setWorkOrder(const std::map<int, QWidget*>& byId);
  void addPointKeys();
  void showFirmwareProgress(std::size_t written, std::size_t total);
  bool showSendingProgress(std::size_t waiting, std::size_t atStart);
  QWidget* make(const ControlSpec& entry);

  QtControls controls_;
  QScrollArea* scroll_ = nullptr;
  QWidget* content_ = nullptr;  // all under the menus, in scroll_
  CalibrationDialog* dialog_ = nullptr;
  QTimer* timer_ = nullptr;
  QProgressDialog* firmwareProgress_ = nullptr;
  QProgressDialog* sendingProgress_ = nullptr;
  std::array<class TrendPlot*, ids::kRows> plots_{};
  std::vector<QLabel*> headings_;  // of the rows' columns
  bool destroyed_ = false;
};

// The program icon, drawn by the program itself.
QIcon stationIcon();

}  // namespace trimwell
