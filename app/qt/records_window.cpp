#include "app/qt/records_window.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/qt/certificate.h"
#include "records/record_export.h"

namespace trimwell {
namespace {

QString q(const std::string& text) { return QString::fromUtf8(text.c_str()); }

QString hexBytes(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t count) {
  QString out;
  for (std::size_t i = from; i < bytes.size() && i < from + count; ++i) {
    out += QStringLiteral("%1 ").arg(bytes[i], 2, 16, QLatin1Char('0'));
  }
  return out.trimmed();
}

// As-found beside as-left: sizes, how many bytes differ, and the calibration
// blocks 16 bytes (one row) a line.
QString stateComparison(const CalibrationRecord& r) {
  std::size_t differing = 0;
  const std::size_t common = std::min(r.asFoundImage.size(), r.asLeftImage.size());
  for (std::size_t i = 0; i < common; ++i) differing += r.asFoundImage[i] != r.asLeftImage[i] ? 1 : 0;
  differing += std::max(r.asFoundImage.size(), r.asLeftImage.size()) - common;
  QString html = QStringLiteral("<h3>As found / as left</h3><p>Datasheet image: %1 bytes as found, %2 bytes as left, "
                                "%3 bytes differ.</p><table border=1 cellspacing=0 cellpadding=3>"
                                "<tr><th>Cal row</th><th>As found</th><th>As left</th></tr>")
                     .arg(r.asFoundImage.size())
                     .arg(r.asLeftImage.size())
                     .arg(differing);
  const std::size_t blockRows = (std::max(r.asFoundCalibration.size(), r.asLeftCalibration.size()) + 15) / 16;
  for (std::size_t k = 0; k < blockRows; ++k) {
    html += QStringLiteral("<tr><td>%1</td><td><tt>%2</tt></td><td><tt>%3</tt></td></tr>")
                .arg(k + 1)
                .arg(hexBytes(r.asFoundCalibration, k * 16, 16), hexBytes(r.asLeftCalibration, k * 16, 16));
  }
  return html + QStringLiteral("</table>");
}

}  // namespace

QString recordDetailsHtml(const CalibrationRecord& record) {
  const CertificateText text = certificateText(record);
  QString html = QStringLiteral("<h3>%1</h3><table>").arg(q(text.title).toHtmlEscaped());
  for (const auto& [label, value] : text.facts) {
    html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>").arg(q(label).toHtmlEscaped(), q(value).toHtmlEscaped());
  }
  html += QStringLiteral("</table><p><b>%1</b></p><table border=1 cellspacing=0 cellpadding=3><tr>")
              .arg(q(text.result).toHtmlEscaped());
  for (const std::string& heading : text.rowHeadings) html += QStringLiteral("<th>%1</th>").arg(q(heading));
  html += QStringLiteral("</tr>");
  for (const auto& row : text.rows) {
    html += QStringLiteral("<tr>");
    for (const std::string& cell : row) html += QStringLiteral("<td>%1</td>").arg(q(cell).toHtmlEscaped());
    html += QStringLiteral("</tr>");
  }
  return html + QStringLiteral("</table>") + stateComparison(record);
}

RecordsWindow::RecordsWindow(CalibrationDialog& dialog, QWidget* parent) : QDialog(parent), dialog_(dialog) {
  setWindowTitle(QStringLiteral("Trimwell records"));
  setObjectName(QStringLiteral("recordsWindow"));
  auto* top = new QVBoxLayout(this);
  thisModel_ = new QCheckBox(QStringLiteral("Only the plugged sensor's model"), this);
  thisModel_->setChecked(true);
  thisModel_->setToolTip(QStringLiteral("Show the records of the sensor model in the interface, or of every sensor"));
  connect(thisModel_, &QCheckBox::toggled, this, [this] { refresh(); });
  top->addWidget(thisModel_);
  table_ = new QTableWidget(0, 5, this);
  table_->setHorizontalHeaderLabels({QStringLiteral("Record"), QStringLiteral("Date (UTC)"), QStringLiteral("Sensor"),
                                     QStringLiteral("Datasheet"), QStringLiteral("Result")});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { showSelected(); });
  top->addWidget(table_, 1);
  details_ = new QTextEdit(this);
  details_->setReadOnly(true);
  top->addWidget(details_, 2);
  auto* buttons = new QHBoxLayout;
  auto* certificate = new QPushButton(QStringLiteral("Certificate..."), this);
  certificate->setToolTip(QStringLiteral("Save the opened record's certificate as a PDF"));
  auto* csv = new QPushButton(QStringLiteral("Export CSV..."), this);
  csv->setToolTip(QStringLiteral("Save the selected records, one line per row, for a spreadsheet"));
  auto* asFound = new QPushButton(QStringLiteral("Restore as found"), this);
  asFound->setToolTip(QStringLiteral("Write the sensor's datasheet and calibration as they were before this write"));
  auto* asLeft = new QPushButton(QStringLiteral("Restore as left"), this);
  asLeft->setToolTip(QStringLiteral("Write the sensor's datasheet and calibration as this write left them"));
  for (QPushButton* b : {certificate, csv, asFound, asLeft}) buttons->addWidget(b);
  buttons->addStretch(1);
  top->addLayout(buttons);
  connect(certificate, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Certificate"), QString(),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (!file.isEmpty() && !saveCertificate(file)) QMessageBox::warning(this, windowTitle(), q(problem_));
  });
  connect(csv, &QPushButton::clicked, this, [this] {
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Export"), QString(),
                                                      QStringLiteral("CSV (*.csv)"));
    if (!file.isEmpty() && !exportSelected(file)) QMessageBox::warning(this, windowTitle(), q(problem_));
  });
  connect(asFound, &QPushButton::clicked, this, [this] { restoreSelected(true); });
  connect(asLeft, &QPushButton::clicked, this, [this] { restoreSelected(false); });
  resize(900, 600);
  refresh();
}

void RecordsWindow::refresh() {
  table_->setRowCount(0);
  details_->clear();
  RecordStore* store = dialog_.recordKeeping().store();
  const Datasheet* plugged = dialog_.session().currentDatasheet;
  std::vector<RecordSummary> list;
  // A lab's store that cannot be listed still shows what waits on this station.
  const bool listed =
      store != nullptr && store->list(thisModel_->isChecked() && plugged != nullptr ? plugged->sensorId : 0, list);
  if (!listed) details_->setPlainText(store == nullptr ? QStringLiteral("No records are kept.") : q(store->problem()));
  table_->setRowCount(static_cast<int>(list.size()));
  for (int i = 0; i < static_cast<int>(list.size()); ++i) {
    const RecordSummary& s = list[static_cast<std::size_t>(i)];
    const QString number = s.waiting ? QStringLiteral("waiting %1").arg(s.id) : QString::number(s.id);
    const QString cells[] = {number, q(s.utcTime), QString::number(s.sensorId), q(s.datasheetName),
                             s.success ? q(s.result) : QStringLiteral("FAILED: ") + q(s.result)};
    for (int c = 0; c < 5; ++c) table_->setItem(i, c, new QTableWidgetItem(cells[c]));
    table_->item(i, 0)->setData(Qt::UserRole, q(s.uuid));
  }
}

std::string RecordsWindow::uuidAt(int row) const {
  const QTableWidgetItem* item = row >= 0 ? table_->item(row, 0) : nullptr;
  return item != nullptr ? item->data(Qt::UserRole).toString().toStdString() : std::string();
}

void RecordsWindow::showSelected() {
  CalibrationRecord record;
  RecordStore* store = dialog_.recordKeeping().store();
  if (store == nullptr || selectedUuid().empty() || !store->load(selectedUuid(), record)) return;
  details_->setHtml(recordDetailsHtml(record));
}

bool RecordsWindow::saveCertificate(const QString& file) {
  CalibrationRecord record;
  RecordStore* store = dialog_.recordKeeping().store();
  if (store == nullptr || selectedUuid().empty() || !store->load(selectedUuid(), record)) {
    problem_ = "Open a record first.";
    return false;
  }
  return writeCertificatePdf(record, file.toStdString(), problem_);
}

bool RecordsWindow::exportSelected(const QString& file) {
  std::vector<CalibrationRecord> chosen;
  RecordStore* store = dialog_.recordKeeping().store();
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
    CalibrationRecord record;
    if (store != nullptr && store->load(uuidAt(index.row()), record)) {
      chosen.push_back(std::move(record));
    }
  }
  if (chosen.empty()) {
    problem_ = "Select the records to export first.";
    return false;
  }
  QFile out(file);
  const std::string csv = recordsCsv(chosen);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      out.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size())) {
    problem_ = "cannot write " + file.toStdString();
    return false;
  }
  return true;
}

void RecordsWindow::restoreSelected(bool asFound) {
  const std::string uuid = selectedUuid();
  if (uuid.empty()) return;
  dialog_.restoreRecord(uuid, asFound);
  refresh();
}

}  // namespace trimwell
