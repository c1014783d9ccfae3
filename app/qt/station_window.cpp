#include "app/qt/station_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QCoreApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QVBoxLayout>
#include <tuple>
#include <vector>

#include "app/dialog_layout.h"
#include "app/qt/guide_window.h"
#include "app/qt/lab_settings_window.h"
#include "app/qt/reference_window.h"
#include "app/qt/laboratory_window.h"
#include "app/qt/records_window.h"
#include "documents/dcc_writer.h"
#include "app/qt/standards_window.h"
#include "app/control_tables.h"
#include "app/qt/trend_plot.h"
#include "app/control_ids.h"

namespace trimwell {
namespace {

// Editable, so that a port the system does not list (a pseudo-terminal) can be
// typed; the list is made afresh each time it opens, as adapters come and go.
class PortChooser final : public QComboBox {
 public:
  PortChooser(std::function<void()> refresh, QWidget* parent) : QComboBox(parent), refresh_(std::move(refresh)) {
    setEditable(true);
    setMinimumContentsLength(22);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  }
  void showPopup() override {
    refresh_();
    QComboBox::showPopup();
  }

 private:
  std::function<void()> refresh_;
};

}  // namespace

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
  fitReadingColumns(readingTexts(dialog_->libraryFolder()));
  dialog_->firmwareProgress = [this](std::size_t written, std::size_t total) { showFirmwareProgress(written, total); };
  dialog_->sendingProgress = [this](std::size_t waiting, std::size_t atStart) {
    return showSendingProgress(waiting, atStart);
  };
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
  // A row's plot is there while its stability mark is.
  for (int i = 0; i < ids::kRows; ++i) {
    TrendPlot* plot = plots_[static_cast<std::size_t>(i)];
    plot->setVisible(!controls_.widget(ids::kStability + i)->isHidden());
    if (plot->isVisible()) plot->update();
  }
  // The rows' headings go with the rows: over none they would stand squeezed together.
  const bool rowsShown = !controls_.widget(ids::kPoint1)->isHidden();
  for (QLabel* heading : headings_) heading->setVisible(rowsShown);
}

void StationWindow::stopTimer() { timer_->stop(); }

// The dialog belongs to whoever made it, and goes before the window does.
StationWindow::~StationWindow() = default;

void StationWindow::closeEvent(QCloseEvent* event) {
  if (!destroyed_ && !dialog_->mayClose()) {
    event->ignore();
    return;
  }
  timer_->stop();
  if (!destroyed_) dialog_->OnDestroy();
  destroyed_ = true;
  event->accept();
}

void StationWindow::showAbout() {
  QMessageBox box(this);
  box.setWindowTitle(QStringLiteral("About Trimwell"));
  box.setIconPixmap(stationIcon().pixmap(48, 48));
  box.setText(QString::fromStdString(CalibrationDialog::aboutText()));
  box.setObjectName(QStringLiteral("aboutBox"));
  box.exec();
}

// Every control says in plain words what it is for.
void StationWindow::addToolTips(const std::map<int, QWidget*>& byId) {
  for (const WindowControl& w : windowControls()) byId.at(w.id)->setToolTip(QString::fromUtf8(w.tooltip));
  for (const OptionControl& o : optionControls()) {
    byId.at(o.id)->setToolTip(QString::fromUtf8(optionOf(o).tooltip));
  }
  for (int i = 0; i < ids::kRows; ++i) {
    for (const RowColumn& column : rowColumns()) {
      byId.at(column.baseId + i)->setToolTip(QString::fromUtf8(column.tooltip));
    }
    byId.at(stabilityColumn().baseId + i)->setToolTip(QString::fromUtf8(stabilityColumn().tooltip));
  }
}

// The download holds the interface's processor for a moment; the operator sees it
// go, and the box closes itself at the end.
void StationWindow::showFirmwareProgress(std::size_t written, std::size_t total) {
  if (firmwareProgress_ == nullptr) {
    firmwareProgress_ = new QProgressDialog(QStringLiteral("Writing the Dockmon's firmware..."), QString(), 0, 1, this);
    firmwareProgress_->setWindowTitle(QStringLiteral("Trimwell"));
    firmwareProgress_->setObjectName(QStringLiteral("firmwareProgress"));
    firmwareProgress_->setMinimumDuration(0);
    firmwareProgress_->setAutoReset(false);
    firmwareProgress_->setAutoClose(true);
  }
  firmwareProgress_->setMaximum(static_cast<int>(total));
  firmwareProgress_->setLabelText(QStringLiteral("Writing the Dockmon's firmware: %1 of %2 bytes").arg(written).arg(total));
  firmwareProgress_->setValue(static_cast<int>(written));
  // Without its auto-reset the box does not close itself at the end: it would stay
  // at 100 % over the options.
  if (written >= total) firmwareProgress_->hide();
}

// At close, the records that wait go to the lab's store; the operator sees them
// go and may stop, leaving them for the next start.
bool StationWindow::showSendingProgress(std::size_t waiting, std::size_t atStart) {
  if (sendingProgress_ == nullptr) {
    sendingProgress_ = new QProgressDialog(QString(), QStringLiteral("Stop"), 0, static_cast<int>(atStart), this);
    sendingProgress_->setWindowTitle(QStringLiteral("Trimwell"));
    sendingProgress_->setObjectName(QStringLiteral("sendingProgress"));
    sendingProgress_->setMinimumDuration(0);
    sendingProgress_->setAutoReset(false);
  }
  sendingProgress_->setLabelText(
      QStringLiteral("Sending the records that wait to the lab's record store: %1 of %2 left").arg(waiting).arg(atStart));
  sendingProgress_->setValue(static_cast<int>(atStart - waiting));
  QCoreApplication::processEvents();
  return !sendingProgress_->wasCanceled();
}

void StationWindow::showRecords() {
  auto* records = new RecordsWindow(*dialog_, this);
  records->dccWriter = writeDccFile;
  records->setAttribute(Qt::WA_DeleteOnClose);
  records->show();
}

void StationWindow::showStandards() {
  StandardsWindow standards(dialog_->labBench(), controls_, this);
  standards.exec();
}

void StationWindow::showUnitsDue() {
  std::vector<UnitDue> due;
  std::string problem;
  controls_.messageBox(dialog_->labBench().dueUnits(due, problem) ? unitsDueText(due) : problem);
}

void StationWindow::showLabSettings() {
  LabSettingsWindow lab(*dialog_, controls_, this);
  lab.exec();
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
      if (entry.id == ids::kCustomerAddress) {
        // Lines of an address, as high as the fields beside it (it scrolls); Tab
        // goes on to the next field, as in every other.
        auto* lines = new QPlainTextEdit(this);
        lines->setTabChangesFocus(true);
        lines->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        lines->setFixedHeight(QLineEdit().sizeHint().height());
        lines->setToolTip(QStringLiteral("One line of the address a line (Enter between them)"));
        w = lines;
        break;
      }
      auto* edit = new QLineEdit(this);
      edit->setReadOnly(entry.kind == ControlKind::ReadOnlyEdit);
      w = edit;
      break;
    }
    case ControlKind::Label: w = new QLabel(caption, this); break;
    case ControlKind::Choice:
      // The wireless port chooser looks for ports as it opens; a standard's offers
      // the register as it was last read.
      w = entry.id == ids::kWirelessPort
              ? new PortChooser([this] { if (dialog_ != nullptr) dialog_->refreshWirelessChoices(); }, this)
              : new PortChooser([] {}, this);
      break;
  }
  controls_.add(entry, w);
  return w;
}

namespace {

// The lab's columns of a row (its reference's source, its standard, a check and the verdicts) go on a
// line of their own under it: beside the others they would make the window far
// wider than a laptop's screen. Each spans the columns from `from` to `to`.
struct LabCell {
  int baseId;
  int from;
  int to;
};
constexpr LabCell kLabCells[] = {{ids::kStandard, ids::kPoint1, ids::kPt1Data},
                                 {ids::kCheckValue, ids::kPt2Raw, ids::kPt2Raw},
                                 {ids::kCheck, ids::kPt2Data, ids::kPt2Data},
                                 {ids::kRowVerdict, ids::kMeasurement, ids::kRaw},
                                 {ids::kReferenceSource, ids::kManual1, ids::kManual2}};

// A label that is shown and hidden with the control it names.
class LabelFollows final : public QObject {
 public:
  LabelFollows(QLabel* label, QWidget* named) : QObject(label), label_(label) { named->installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ShowToParent) label_->show();
    if (event->type() == QEvent::HideToParent) label_->hide();
    return QObject::eventFilter(watched, event);
  }

 private:
  QLabel* label_;
};

const LabCell* labCell(int baseId) {
  for (const LabCell& cell : kLabCells) {
    if (cell.baseId == baseId) return &cell;
  }
  return nullptr;
}

int columnOf(int baseId) {
  const auto& columns = rowColumns();
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (columns[c].baseId == baseId) return static_cast<int>(c);
  }
  return 0;
}

}  // namespace

QGridLayout* StationWindow::buildRowGrid(const std::map<int, QWidget*>& byId) {
  auto* rows = new QGridLayout;
  rows->setHorizontalSpacing(4);
  rows->setVerticalSpacing(2);  // two lines a row: they have to fit a laptop's screen too
  const auto& columns = rowColumns();
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (labCell(columns[c].baseId) != nullptr) continue;  // they say what they are inside
    auto* heading = new QLabel(QString::fromUtf8(columns[c].heading), this);
    heading->setStyleSheet(QStringLiteral("font-weight: bold"));
    heading->hide();  // until there are rows
    headings_.push_back(heading);
    rows->addWidget(heading, 0, static_cast<int>(c));
    // The Measurement column takes whatever the window has to spare.
    if (columns[c].baseId == ids::kMeasurement) rows->setColumnStretch(static_cast<int>(c), 1);
  }
  for (int i = 0; i < ids::kRows; ++i) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
      QWidget* w = byId.at(columns[c].baseId + i);
      if (columns[c].width > 0) w->setMinimumWidth(columns[c].width);
      if (const LabCell* lab = labCell(columns[c].baseId)) {
        const int from = columnOf(lab->from);
        QWidget* cell = w;
        // A chooser shows its choice, not what it is for: a label before it says.
        if (qobject_cast<QComboBox*>(w) != nullptr) {
          cell = new QWidget(this);
          auto* line = new QHBoxLayout(cell);
          line->setContentsMargins(0, 0, 0, 0);
          auto* label = new QLabel(QString::fromUtf8(columns[c].heading), cell);
          label->setBuddy(w);
          label->setObjectName(QStringLiteral("label%1").arg(columns[c].baseId + i));
          new LabelFollows(label, w);
          line->addWidget(label);
          line->addWidget(w, 1);
        }
        rows->addWidget(cell, 2 * i + 2, from, 1, columnOf(lab->to) - from + 1);
        if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setPlaceholderText(QString::fromUtf8(columns[c].heading));
      } else {
        rows->addWidget(w, 2 * i + 1, static_cast<int>(c));
      }
      w->hide();
    }
  }
  return rows;
}

QGroupBox* StationWindow::buildOptions(const std::map<int, QWidget*>& byId) {
  auto* options = new QGroupBox(QStringLiteral("Options"), this);
  auto* optionGrid = new QGridLayout(options);
  int k = 0;
  for (const OptionControl& option : optionControls()) {
    optionGrid->addWidget(byId.at(option.id), k / 3, k % 3);
    byId.at(option.id)->hide();
    ++k;
  }
  optionGrid->addWidget(byId.at(ids::kOnlyWhenStable), 3, 0);
  byId.at(ids::kOnlyWhenStable)->hide();
  return options;
}

// Each row's last minute, with its stability mark under it.
QHBoxLayout* StationWindow::buildTrends(const std::map<int, QWidget*>& byId) {
  auto* trends = new QHBoxLayout;
  for (int i = 0; i < ids::kRows; ++i) {
    auto* column = new QVBoxLayout;
    TrendPlot*& plot = plots_[static_cast<std::size_t>(i)];
    plot = new TrendPlot([this, i]() -> const RowTrend* { return dialog_ != nullptr ? &dialog_->stableHold().trend(i) : nullptr; },
                         this);
    plot->setObjectName(QStringLiteral("trendPlot%1").arg(i));
    plot->setToolTip(QStringLiteral("Row %1's reading over the last 60 s").arg(i + 1));
    plot->hide();
    column->addWidget(plot);
    column->addWidget(byId.at(ids::kStability + i));
    byId.at(ids::kStability + i)->hide();
    trends->addLayout(column);
  }
  trends->addStretch(1);
  return trends;
}

QHBoxLayout* StationWindow::buildActions(const std::map<int, QWidget*>& byId) {
  auto* actions = new QHBoxLayout;
  for (int id : {ids::kFactoryInit, ids::kVerify, ids::kResetMinMax}) {
    actions->addWidget(byId.at(id));
    byId.at(id)->hide();
  }
  actions->addSpacing(20);
  actions->addWidget(new QLabel(QStringLiteral("Other Cal Measurement IDs"), this));
  actions->addWidget(byId.at(ids::kOtherCalIds));
  actions->addWidget(byId.at(ids::kSet));
  byId.at(ids::kOtherCalIds)->hide();
  byId.at(ids::kSet)->hide();
  actions->addStretch(1);
  actions->addWidget(new QLabel(QStringLiteral("Wireless port"), this));
  actions->addWidget(byId.at(ids::kWirelessPort));
  return actions;
}

// The unit, whose it is (with their address and e-mail) and the conditions, on one
// line above the rows they belong to.
QHBoxLayout* StationWindow::buildLabStrip(const std::map<int, QWidget*>& byId) {
  auto* strip = new QHBoxLayout;
  const std::pair<int, const char*> fields[] = {{ids::kUnit, "Unit"},
                                                {ids::kCustomer, "Customer"},
                                                {ids::kCustomerAddress, "Address"},
                                                {ids::kCustomerEmail, "E-mail"},
                                                {ids::kAmbientTemperature, "Ambient \u00b0C"},
                                                {ids::kRelativeHumidity, "RH %"}};
  for (const auto& [id, caption] : fields) {
    auto* label = new QLabel(QString::fromUtf8(caption), this);
    label->setBuddy(byId.at(id));
    strip->addWidget(label);
    const bool condition = id == ids::kAmbientTemperature || id == ids::kRelativeHumidity;
    strip->addWidget(byId.at(id), condition ? 0 : id == ids::kCustomerAddress ? 3 : 2);
    if (condition) byId.at(id)->setMaximumWidth(60);
  }
  return strip;
}

// File has what the station keeps (its records, the units they make due) and
// Quit; Settings, everything of the lab's that the operator sets; Help, the
// operator's guide and About.
QMenuBar* StationWindow::buildMenus() {
  auto* menu = new QMenuBar(this);
  QMenu* file = menu->addMenu(QStringLiteral("&File"));
  file->addAction(QStringLiteral("&Records..."), this, [this] { showRecords(); });
  file->addAction(QStringLiteral("&Units due..."), this, [this] { showUnitsDue(); });
  file->addSeparator();
  // The window the station stands in (the simulator's shell, where there is one),
  // whose close asks first when points taken would be lost.
  QAction* quit = file->addAction(QStringLiteral("&Quit"), this, [this] { window()->close(); });
  quit->setShortcut(QKeySequence::Quit);
  quit->setObjectName(QStringLiteral("quit"));
  QMenu* settings = menu->addMenu(QStringLiteral("&Settings"));
  settings->addAction(QStringLiteral("La&boratory..."), this, [this] {
    LaboratoryWindow(dialog_->settingsRegistry(), controls_, this, dialog_->recordKeeping().store(),
                     &dialog_->recordKeeping().signingSession())
        .exec();
  });
  settings->addAction(QStringLiteral("Rules and &tolerances..."), this, [this] { showLabSettings(); });
  settings->addAction(QStringLiteral("Reference &standards..."), this, [this] { showStandards(); });
  settings->addAction(QStringLiteral("Reference &instrument..."), this, [this] {
    ReferenceWindow reference(*dialog_, this);
    reference.exec();
  });
  QMenu* help = menu->addMenu(QStringLiteral("&Help"));
  QAction* guide = help->addAction(QStringLiteral("&Operator's guide"), this, [this] {
    auto* window = new GuideWindow(this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
  });
  guide->setShortcut(QKeySequence::HelpContents);
  guide->setObjectName(QStringLiteral("operatorsGuide"));
  help->addAction(QStringLiteral("&About Trimwell..."), this, [this] { showAbout(); });
  return menu;
}

void StationWindow::buildLayout() {
  std::map<int, QWidget*> byId;
  for (const ControlSpec& entry : dialogControls()) byId[entry.id] = make(entry);
  addToolTips(byId);

  auto* status = new QHBoxLayout;
  status->addWidget(new QLabel(QStringLiteral("Status:"), this));
  status->addWidget(byId[ids::kStatus], 1);

  // Everything under the menus scrolls: on a screen smaller than the window's
  // whole (a 1280-pixel laptop) each control is still in reach.
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setMenuBar(buildMenus());
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("stationScroll"));
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  content_ = new QWidget;
  content_->setObjectName(QStringLiteral("stationContent"));
  auto* top = new QVBoxLayout(content_);
  auto* info = qobject_cast<QLabel*>(byId[ids::kInfo]);
  info->setWordWrap(true);
  info->setStyleSheet(QStringLiteral("QLabel { background: #eef3f8; padding: 4px; }"));
  // Room for three lines, whatever the texts: a sensor event must not resize the window.
  info->setFixedHeight(info->fontMetrics().lineSpacing() * 3 + 10);
  info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  top->addWidget(info);
  top->addLayout(buildLabStrip(byId));
  top->addLayout(buildRowGrid(byId));
  top->addWidget(buildOptions(byId));
  top->addLayout(buildTrends(byId));
  top->addLayout(buildActions(byId));
  top->addStretch(1);
  top->addWidget(byId[ids::kResult]);
  top->addLayout(status);
  scroll_->setWidget(content_);
  outer->addWidget(scroll_);
  setWorkOrder(byId);
  addPointKeys();
  fixMinimumSize();
}

// Tab goes the way the work goes: the unit, whose it is and the conditions, then
// row by row its points, then the options and the actions. What only shows (a
// reading, the status) takes no focus; its text can still be selected with the mouse.
void StationWindow::setWorkOrder(const std::map<int, QWidget*>& byId) {
  std::vector<QWidget*> order;
  for (int id : {ids::kUnit, ids::kCustomer, ids::kCustomerAddress, ids::kCustomerEmail, ids::kAmbientTemperature,
                 ids::kRelativeHumidity}) {
    order.push_back(byId.at(id));
  }
  constexpr int kRowOrder[] = {ids::kPt1Raw,  ids::kPt1Data,   ids::kPoint1,          ids::kPt2Raw,
                               ids::kPt2Data, ids::kPoint2,    ids::kReferenceSource, ids::kStandard,
                               ids::kCheckValue, ids::kCheck,  ids::kManual1,         ids::kManual2,
                               ids::kGain,    ids::kRowCheck};
  for (int i = 0; i < ids::kRows; ++i) {
    for (int base : kRowOrder) order.push_back(byId.at(base + i));
  }
  for (const OptionControl& option : optionControls()) order.push_back(byId.at(option.id));
  for (int id : {ids::kOnlyWhenStable, ids::kFactoryInit, ids::kVerify, ids::kResetMinMax, ids::kOtherCalIds, ids::kSet,
                 ids::kWirelessPort}) {
    order.push_back(byId.at(id));
  }
  for (std::size_t k = 1; k < order.size(); ++k) QWidget::setTabOrder(order[k - 1], order[k]);
  for (const ControlSpec& entry : dialogControls()) {
    if (entry.kind == ControlKind::ReadOnlyEdit) byId.at(entry.id)->setFocusPolicy(Qt::NoFocus);
  }
}

// Keys for the points, whichever row is at them: the button the operator would
// press, pressed, so that a key does exactly what the click does.
void StationWindow::addPointKeys() {
  const std::pair<int, const char*> keys[] = {{ids::kPoint1, "Ctrl+1"}, {ids::kPoint2, "Ctrl+2"}};
  for (const auto& [base, key] : keys) {
    auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(key)), this);
    connect(shortcut, &QShortcut::activated, this, [this, base = base] {
      for (int i = 0; i < ids::kRows; ++i) {
        auto* button = qobject_cast<QPushButton*>(controls_.widget(base + i));
        if (button->isVisible() && button->isEnabled()) {
          button->click();
          return;
        }
      }
    });
    for (int i = 0; i < ids::kRows; ++i) {
      QWidget* button = controls_.widget(base + i);
      button->setToolTip(button->toolTip() + QStringLiteral(" (%1 presses the one enabled)").arg(QString::fromLatin1(key)));
    }
  }
}

namespace {

// What a line edit needs to show the text whole, by the edit's own font and style:
// the text, QLineEdit's 2-pixel margin each side, and the frame the style draws.
int editWidthFor(const QLineEdit& edit, const QString& text) {
  const QMargins margins = edit.textMargins();
  const int inner = edit.fontMetrics().horizontalAdvance(text) + 2 * 2 + margins.left() + margins.right();
  QStyleOptionFrame option;
  option.initFrom(&edit);
  option.lineWidth = edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit);
  return edit.style()->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(inner, edit.fontMetrics().height()), &edit)
      .width();
}

int widestFor(const QLineEdit& edit, const std::vector<std::string>& texts) {
  int widest = 0;
  for (const std::string& text : texts) widest = std::max(widest, editWidthFor(edit, QString::fromStdString(text)));
  return widest;
}

}  // namespace

// Each reading column is as wide as the widest text it has to show: the readings of
// the library's sensors, the numbers of Min/Max, the raw values. A sensor that
// brings a longer text gets the room the window has to spare, and the rest of its
// text with the cursor. A library whose names would make the window wider than a
// laptop's screen gets the Measurement column that still fits: a window partly off
// the screen hides more than the end of a name.
void StationWindow::fitReadingColumns(const ReadingTexts& texts) {
  const int designed = controls_.widget(ids::kMeasurement)->minimumWidth();
  for (int i = 0; i < ids::kRows; ++i) {
    const std::pair<int, const std::vector<std::string>*> columns[] = {
        {ids::kMeasurement, &texts.measurement}, {ids::kMinimum, &texts.number},
        {ids::kMaximum, &texts.number},          {ids::kRaw, &texts.raw}};
    for (const auto& [base, candidates] : columns) {
      auto* edit = qobject_cast<QLineEdit*>(controls_.widget(base + i));
      edit->setMinimumWidth(std::max(edit->minimumWidth(), widestFor(*edit, *candidates)));
    }
  }
  fixMinimumSize();
  const int excess = wholeSize().width() - kLargestMinimumWidth;
  if (excess <= 0) return;
  for (int i = 0; i < ids::kRows; ++i) {
    QWidget* edit = controls_.widget(ids::kMeasurement + i);
    edit->setMinimumWidth(std::max(designed, edit->minimumWidth() - excess));
  }
  fixMinimumSize();
}

// The smallest content that shows every control a sensor can bring, all of them
// at once, side by side. As the content never gets smaller than that, showing rows
// and columns never makes it grow on its own, and no two controls ever overlap; a
// window smaller than it scrolls.
void StationWindow::fixMinimumSize() {
  std::vector<QWidget*> hidden;
  for (QWidget* w : content_->findChildren<QWidget*>()) {
    if (w->isHidden() && !w->isWindow()) hidden.push_back(w);
  }
  for (QWidget* w : hidden) w->show();
  content_->layout()->activate();
  content_->setMinimumSize(content_->layout()->totalMinimumSize());
  for (QWidget* w : hidden) w->hide();
  setMinimumSize(kSmallestSize.boundedTo(wholeSize()));
  resize(wholeSize());
}

QSize StationWindow::wholeSize() const {
  const QWidget* menus = layout()->menuBar();
  return content_->minimumSize() + QSize(0, menus != nullptr ? menus->sizeHint().height() : 0);
}

// As large as the whole where the screen has room, else as the screen: the title
// bar stays on it and the rest scrolls.
QSize StationWindow::frameAllowance() const {
  const QSize frame = window()->frameGeometry().size() - window()->size();
  return frame.height() > 0 ? frame : kFrameAllowance;
}

void StationWindow::fitInto(const QRect& available) {
  resize(wholeSize().boundedTo(available.size() - frameAllowance()));
  move(available.topLeft());
}

}  // namespace trimwell
