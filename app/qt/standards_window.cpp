#include "app/qt/standards_window.h"

#include <cmath>

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace trimwell {
namespace {

QString q(const std::string& text) { return QString::fromUtf8(text.c_str()); }

// The form's fields, in the order of the table's columns; a, b and k make U, and
// ν is its degrees of freedom where the standard's certificate states them.
const char* const kFields[] = {"Name",    "Identification", "Certificate", "Issued by", "Calibrated on", "Due on",
                               "Quantity", "Unit",           "a",           "b",         "k",      "\u03bd"};

constexpr int kColumns = 12;

// ν as the register shows it: empty where not stated (infinite).
std::string degreesText(double nu) { return std::isfinite(nu) ? exactNumber(nu) : std::string(); }

// a is in the standard's unit; b is a fraction of the value, with no unit.
QString uncertaintyText(const metrology::StandardEntry& e) {
  const QString unit = e.unit.empty() ? QString() : QLatin1Char(' ') + q(e.unit);
  return q(exactNumber(e.uncertainty.a)) + unit + QStringLiteral(" + ") + q(exactNumber(e.uncertainty.b)) +
         QStringLiteral("\u00b7|value|");
}

}  // namespace

StandardsWindow::StandardsWindow(LabBench& bench, WindowControls& controls, QWidget* parent)
    : QDialog(parent), bench_(bench), controls_(controls) {
  setWindowTitle(QStringLiteral("Reference standards"));
  setObjectName(QStringLiteral("standardsWindow"));
  auto* top = new QVBoxLayout(this);
  table_ = new QTableWidget(0, kColumns, this);
  table_->setObjectName(QStringLiteral("standardsTable"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Identification"),
                                     QStringLiteral("Certificate"), QStringLiteral("Issued by"),
                                     QStringLiteral("Calibrated on"), QStringLiteral("Due on"),
                                     QStringLiteral("Quantity"), QStringLiteral("Unit"),
                                     QStringLiteral("U = a + b\u00b7|value|"), QStringLiteral("k"),
                                     QStringLiteral("\u03bd of U"), QStringLiteral("Retired on")});
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // An entry picked goes into the form, so that replacing it is a change and Add.
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { fillForm(table_->currentRow()); });
  top->addWidget(table_, 1);
  auto* grid = new QGridLayout;
  buildForm(grid);
  top->addLayout(grid);
  resize(1000, 460);
  refresh();
}

void StandardsWindow::buildForm(QGridLayout* grid) {
  int k = 0;
  for (const char* caption : kFields) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QStringLiteral("standard ") + QString::fromUtf8(caption));
    fields_.emplace_back(QString::fromUtf8(caption), edit);
    grid->addWidget(new QLabel(QString::fromUtf8(caption), this), k / 4, (k % 4) * 2);
    grid->addWidget(edit, k / 4, (k % 4) * 2 + 1);
    ++k;
  }
  field(QStringLiteral("Calibrated on"))->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
  field(QStringLiteral("Due on"))->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
  field(QStringLiteral("k"))->setText(QStringLiteral("2"));
  field(QStringLiteral("a"))->setToolTip(QStringLiteral("U's part that is the same at every value, in the unit"));
  field(QStringLiteral("b"))->setToolTip(QStringLiteral("U's part per unit of the value: 0.001 is 0.1 % of it"));
  auto* add = new QPushButton(QStringLiteral("Add"), this);
  add->setObjectName(QStringLiteral("addStandard"));
  add->setToolTip(QStringLiteral("Put this entry in the register, in place of the one of the same name"));
  connect(add, &QPushButton::clicked, this, [this] { addFromForm(); });
  grid->addWidget(add, k / 4, 7);
  auto* retire = new QPushButton(QStringLiteral("Retire"), this);
  retire->setObjectName(QStringLiteral("retireStandard"));
  retire->setToolTip(QStringLiteral("Take the entry picked in the list out of use from today; the register keeps it"));
  connect(retire, &QPushButton::clicked, this, [this] { retireSelected(); });
  grid->addWidget(retire, k / 4, 6);
}

void StandardsWindow::clearForm() {
  {
    const QSignalBlocker quiet(table_);  // or the cleared pick would fill the form again
    table_->clearSelection();
    table_->setCurrentCell(-1, -1);
  }
  for (const auto& [name, edit] : fields_) edit->clear();
  field(QStringLiteral("k"))->setText(QStringLiteral("2"));
}

QLineEdit* StandardsWindow::field(const QString& caption) const {
  for (const auto& [name, edit] : fields_) {
    if (name == caption) return edit;
  }
  return nullptr;
}

void StandardsWindow::refresh() {
  std::string problem;
  if (!bench_.standards(shown_, problem)) controls_.messageBox(problem);
  table_->setRowCount(static_cast<int>(shown_.size()));
  const std::string today = todayUtc();
  for (int i = 0; i < static_cast<int>(shown_.size()); ++i) {
    const metrology::StandardEntry& e = shown_[static_cast<std::size_t>(i)];
    std::string ignored;
    const bool pastDue = e.retiredOn.empty() && !metrology::usableOn(e, today, ignored);
    const QString cells[] = {q(e.name),         q(e.identification),
                             q(e.certificateNumber), q(e.issuedBy),
                             q(e.calibratedOn), q(e.dueOn) + (pastDue ? QStringLiteral(" (past due)") : QString()),
                             q(e.quantity),     q(e.unit),
                             uncertaintyText(e), q(exactNumber(e.uncertainty.coverageFactor)),
                             q(degreesText(e.uncertainty.degreesOfFreedom)), q(e.retiredOn)};
    for (int c = 0; c < kColumns; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      // A standard past due cannot be chosen for a row: the operator sees which.
      if (pastDue) item->setBackground(QColor(0xf8, 0xd7, 0xda));
      if (!e.retiredOn.empty()) item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
      table_->setItem(i, c, item);
    }
  }
}

void StandardsWindow::fillForm(int row) {
  if (row < 0 || row >= static_cast<int>(shown_.size())) return;
  const metrology::StandardEntry& e = shown_[static_cast<std::size_t>(row)];
  const std::string texts[] = {e.name,    e.identification, e.certificateNumber,
                               e.issuedBy, e.calibratedOn,  e.dueOn,
                               e.quantity, e.unit,          exactNumber(e.uncertainty.a),
                               exactNumber(e.uncertainty.b), exactNumber(e.uncertainty.coverageFactor),
                               degreesText(e.uncertainty.degreesOfFreedom)};
  for (std::size_t i = 0; i < fields_.size(); ++i) fields_[i].second->setText(q(texts[i]));
}

bool StandardsWindow::addFromForm() {
  const auto text = [this](std::size_t i) { return fields_[i].second->text().trimmed().toStdString(); };
  metrology::StandardEntry e{text(0), text(1), text(2), text(3), text(4), text(5), text(6), text(7), {}};
  std::string problem;
  // A number left empty is not given (NaN), which the register refuses by name.
  const bool numbers = parseCondition(text(8), "U's a", e.uncertainty.a, problem) &&
                       parseCondition(text(9), "U's b", e.uncertainty.b, problem) &&
                       parseCondition(text(10), "k", e.uncertainty.coverageFactor, problem) &&
                       (text(11).empty() || parseCondition(text(11), "\u03bd", e.uncertainty.degreesOfFreedom, problem));
  if (!numbers || !bench_.addStandard(e, problem)) {
    controls_.messageBox(problem);
    return false;
  }
  refresh();
  clearForm();
  return true;
}

bool StandardsWindow::retireSelected() {
  const QList<QTableWidgetItem*> picked = table_->selectedItems();
  const std::size_t row = picked.isEmpty() ? shown_.size() : static_cast<std::size_t>(picked.front()->row());
  std::string problem = "Pick the entry to retire in the list first.";
  if (row >= shown_.size() || !bench_.retireStandard(shown_[row].name, problem)) {
    controls_.messageBox(problem);
    return false;
  }
  refresh();
  clearForm();
  return true;
}

}  // namespace trimwell
