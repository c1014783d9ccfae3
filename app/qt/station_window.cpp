#include "app/qt/station_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <vector>

#include "app/dialog_layout.h"
#include "app/qt/records_window.h"
#include "calibration/control_ids.h"

namespace trimwell {

QIcon stationIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x1f, 0x5f, 0x8b));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(4, 4, 56, 56, 10, 10);
  p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(14, 46, 50, 18);  // the calibration line through two points
  p.setBrush(QColor(0xff, 0xc1, 0x07));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(22, 40), 6, 6);
  p.drawEllipse(QPointF(42, 24), 6, 6);
  return QIcon(pixmap);
}

StationWindow::StationWindow(const DialogFactory& makeDialog, QWidget* parent)
    : QWidget(parent), controls_(this) {
  setWindowTitle(QStringLiteral("Trimwell"));
  setWindowIcon(stationIcon());
  buildLayout();
  dialog_ = &makeDialog(controls_);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, [this] { runTick(); });
  timer_->start(CalibrationDialog::kTimerPeriodMs);
}

void StationWindow::runTick() {
  if (onTick) {
    onTick();
  } else {
    dialog_->OnTimer();
  }
}

void StationWindow::stopTimer() { timer_->stop(); }

// The dialog belongs to whoever made it, and goes before the window does.
StationWindow::~StationWindow() = default;

void StationWindow::closeEvent(QCloseEvent* event) {
  timer_->stop();
  if (!destroyed_) dialog_->OnDestroy();
  destroyed_ = true;
  event->accept();
}

void StationWindow::showAbout() {
  QMessageBox box(this);
  box.setWindowTitle(QStringLiteral("About Trimwell"));
  box.setIconPixmap(stationIcon().pixmap(48, 48));
  box.setText(QString::fromStdString(CalibrationDialog::AboutText()));
  box.setObjectName(QStringLiteral("aboutBox"));
  box.exec();
}

void StationWindow::showRecords() {
  auto* records = new RecordsWindow(*dialog_, this);
  records->setAttribute(Qt::WA_DeleteOnClose);
  records->show();
}

QWidget* StationWindow::make(const ControlSpec& entry) {
  QWidget* w = nullptr;
  const QString caption = QString::fromUtf8(entry.caption);
  switch (entry.kind) {
    case ControlKind::Button: w = new QPushButton(caption, this); break;
    case ControlKind::CheckBox: w = new QCheckBox(caption, this); break;
    case ControlKind::RadioButton: {
      auto* radio = new QRadioButton(caption, this);
      radio->setAutoExclusive(false);  // the dialog checks and clears the Gain buttons itself
      w = radio;
      break;
    }
    case ControlKind::Edit:
    case ControlKind::ReadOnlyEdit: {
      auto* edit = new QLineEdit(this);
      edit->setReadOnly(entry.kind == ControlKind::ReadOnlyEdit);
      w = edit;
      break;
    }
    case ControlKind::Label: w = new QLabel(caption, this); break;
  }
  controls_.add(entry, w);
  return w;
}

void StationWindow::buildLayout() {
  std::map<int, QWidget*> byId;
  for (const ControlSpec& entry : dialogControls()) byId[entry.id] = make(entry);

  auto* menu = new QMenuBar(this);
  QMenu* help = menu->addMenu(QStringLiteral("&Trimwell"));
  help->addAction(QStringLiteral("&Records..."), this, [this] { showRecords(); });
  help->addAction(QStringLiteral("&About Trimwell..."), this, [this] { showAbout(); });

  auto* rows = new QGridLayout;
  rows->setHorizontalSpacing(6);
  const char* headings[] = {"", "Point 1", "Point 2", "Pt1 Raw", "Pt1 Data", "Pt2 Raw", "Pt2 Data", "Measurement",
                            "Min/Max", "", "Raw", "", "", "Gain"};
  for (int c = 0; c < 14; ++c) {
    auto* heading = new QLabel(QString::fromUtf8(headings[c]), this);
    heading->setStyleSheet(QStringLiteral("font-weight: bold"));
    rows->addWidget(heading, 0, c);
  }
  const int columns[] = {ids::kRowCheck, ids::kPoint1, ids::kPoint2, ids::kPt1Raw, ids::kPt1Data, ids::kPt2Raw,
                         ids::kPt2Data, ids::kMeasurement, ids::kMinimum, ids::kMaximum, ids::kRaw, ids::kManual1,
                         ids::kManual2, ids::kGain};
  // Wide enough for a typed value or a reading such as "-12345.6789"; the
  // Measurement column takes whatever the window has to spare.
  const int editWidths[] = {0, 0, 0, 70, 70, 70, 70, 188, 74, 74, 74, 0, 0, 0};
  for (int i = 0; i < ids::kRows; ++i) {
    for (int c = 0; c < 14; ++c) {
      QWidget* w = byId[columns[c] + i];
      if (editWidths[c] > 0) w->setMinimumWidth(editWidths[c]);
      rows->addWidget(w, i + 1, c);
      w->hide();
    }
    byId[ids::kRowCheck + i]->setToolTip(QStringLiteral("Leave this row out of the calibration"));
  }
  rows->setColumnStretch(7, 1);

  auto* options = new QGroupBox(QStringLiteral("Options"), this);
  auto* optionGrid = new QGridLayout(options);
  const int optionIds[] = {ids::kDoFactoryInit, ids::kHighEepromCal, ids::kSimultaneousCal, ids::kDoPostCalInit,
                           ids::kAutoGainSet, ids::kDataAveraging, ids::kShowRaw, ids::kShowMinMax,
                           ids::kMultipleManualModes};
  for (int k = 0; k < 9; ++k) {
    optionGrid->addWidget(byId[optionIds[k]], k / 3, k % 3);
    byId[optionIds[k]]->hide();
  }
  auto* actions = new QHBoxLayout;
  for (int id : {ids::kFactoryInit, ids::kVerify, ids::kResetMinMax}) {
    actions->addWidget(byId[id]);
    byId[id]->hide();
  }
  actions->addSpacing(20);
  actions->addWidget(new QLabel(QStringLiteral("Other Cal Measurement IDs"), this));
  actions->addWidget(byId[ids::kOtherCalIds]);
  actions->addWidget(byId[ids::kSet]);
  byId[ids::kOtherCalIds]->hide();
  byId[ids::kSet]->hide();
  actions->addStretch(1);

  auto* status = new QHBoxLayout;
  status->addWidget(new QLabel(QStringLiteral("Status:"), this));
  status->addWidget(byId[ids::kStatus], 1);

  auto* top = new QVBoxLayout(this);
  top->setMenuBar(menu);
  top->addLayout(rows);
  top->addWidget(options);
  top->addLayout(actions);
  top->addStretch(1);
  top->addWidget(byId[ids::kResult]);
  top->addLayout(status);
  fixMinimumSize();
}

// The smallest window that shows every control a sensor can bring, all of them at
// once, side by side. As the window never gets smaller than that, showing rows and
// columns never makes it grow on its own, and no two controls ever overlap.
void StationWindow::fixMinimumSize() {
  std::vector<QWidget*> hidden;
  for (QWidget* w : findChildren<QWidget*>()) {
    if (w->isHidden() && !w->isWindow()) hidden.push_back(w);
  }
  for (QWidget* w : hidden) w->show();
  layout()->activate();
  setMinimumSize(layout()->totalMinimumSize());
  for (QWidget* w : hidden) w->hide();
  resize(minimumSize());
}

}  // namespace trimwell
