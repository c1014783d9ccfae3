#include "app/qt/records_window.h"

#include <algorithm>
#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/qt/certificate.h"
#include "app/qt/record_results.h"
#include "app/qt/sign_window.h"
#include "documents/record_export.h"

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

struct FormatInfo {
  QString extension;
  const char* title;
  const char* filter;
  const char* tip;
};

FormatInfo formatOf(RecordsWindow::SaveFormat format) {
  switch (format) {
    case RecordsWindow::SaveFormat::kDcc:
      return {QStringLiteral(".xml"), "Digital calibration certificate", "DCC (*.xml)",
              "Save the opened record's digital calibration certificate (XML, with the PDF inside)"};
    case RecordsWindow::SaveFormat::kCsv:
      return {QStringLiteral(".csv"), "Export", "CSV (*.csv)",
              "Save the selected records, one line per row, for a spreadsheet"};
    default:
      return {QStringLiteral(".pdf"), "Certificate", "PDF (*.pdf)", "Save the opened record's certificate as a PDF"};
  }
}

QString withExtension(const QString& file, const QString& extension) {
  return file.endsWith(extension, Qt::CaseInsensitive) ? file : file + extension;
}

// The amendment's dialog: its reason, and the typed values as the record has them,
// each changed one a correction. A number that is none is asked again.
bool askAmendmentInDialog(QWidget* parent, const CalibrationRecord& r, QString& reason,
                          RecordCorrections& corrections) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Amend the record"));
  auto* form = new QFormLayout(&dialog);
  const auto number = [](double v) { return std::isnan(v) ? QString() : QString::fromStdString(exactNumber(v)); };
  auto* why = new QLineEdit(&dialog);
  auto* unit = new QLineEdit(QString::fromStdString(r.unit), &dialog);
  auto* customer = new QLineEdit(QString::fromStdString(r.customer), &dialog);
  auto* email = new QLineEdit(QString::fromStdString(r.customerEmail), &dialog);
  auto* ambient = new QLineEdit(number(r.ambientTemperature), &dialog);
  auto* humidity = new QLineEdit(number(r.relativeHumidity), &dialog);
  form->addRow(QStringLiteral("Why is it amended?"), why);
  form->addRow(QStringLiteral("Unit"), unit);
  form->addRow(QStringLiteral("Customer"), customer);
  form->addRow(QStringLiteral("Customer's e-mail"), email);
  form->addRow(QStringLiteral("Ambient temperature (\u00b0C)"), ambient);
  form->addRow(QStringLiteral("Relative humidity (%)"), humidity);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  for (;;) {
    if (dialog.exec() != QDialog::Accepted) return false;
    reason = why->text();
    std::string text;
    const auto add = [&](const char* field, QLineEdit* edit, const QString& was) {
      const QString now = edit->text().trimmed();
      if (now != was) text += std::string(text.empty() ? "" : "; ") + field + "=" + now.toStdString();
    };
    add("unit", unit, QString::fromStdString(r.unit));
    add("customer", customer, QString::fromStdString(r.customer));
    add("customer-email", email, QString::fromStdString(r.customerEmail));
    add("ambient", ambient, number(r.ambientTemperature));
    add("humidity", humidity, number(r.relativeHumidity));
    std::string problem;
    if (parseCorrections(text, corrections, problem)) return true;
    QMessageBox::warning(&dialog, QStringLiteral("Amend the record"), QString::fromStdString(problem));
  }
}

}  // namespace

QString recordDetailsHtml(const CalibrationRecord& record) {
  const RecordText text = recordText(record);
  QString html = recordFactsHtml(record) +
                 QStringLiteral("<p><b>%1</b></p><table border=1 cellspacing=0 cellpadding=3><tr>")
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
  auto* filters = new QHBoxLayout;
  thisModel_ = new QCheckBox(QStringLiteral("Only the plugged sensor's model"), this);
  thisModel_->setChecked(true);
  thisModel_->setToolTip(QStringLiteral("Show the records of the sensor model in the interface, or of every sensor"));
  connect(thisModel_, &QCheckBox::toggled, this, [this] { refresh(); });
  filters->addWidget(thisModel_);
  filters->addStretch(1);
  filters->addWidget(new QLabel(QStringLiteral("Unit"), this));
  unit_ = new QLineEdit(this);
  unit_->setObjectName(QStringLiteral("unitFilter"));
  unit_->setToolTip(QStringLiteral("Show one unit's history, whatever its model: type its serial number or asset tag"));
  connect(unit_, &QLineEdit::textChanged, this, [this] { refresh(); });
  filters->addWidget(unit_);
  top->addLayout(filters);
  table_ = new QTableWidget(0, 6, this);
  table_->setHorizontalHeaderLabels({QStringLiteral("Record"), QStringLiteral("Date (UTC)"), QStringLiteral("Sensor"),
                                     QStringLiteral("Unit"), QStringLiteral("Datasheet"), QStringLiteral("Result")});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { showSelected(); });
  top->addWidget(table_, 1);
  tabs_ = new QTabWidget(this);
  tabs_->addTab(buildResultsTab(), QStringLiteral("Results"));
  details_ = new QTextEdit(this);
  details_->setReadOnly(true);
  tabs_->addTab(details_, QStringLiteral("Details"));
  top->addWidget(tabs_, 2);
  top->addLayout(buildButtons());
  resize(900, 600);
  refresh();
}

QLayout* RecordsWindow::buildButtons() {
  auto* buttons = new QHBoxLayout;
  const std::pair<SaveFormat, const char*> saves[] = {{SaveFormat::kPdf, "Certificate (PDF)..."},
                                                      {SaveFormat::kDcc, "DCC (XML)..."},
                                                      {SaveFormat::kCsv, "Export CSV..."}};
  for (const auto& [format, caption] : saves) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(QStringLiteral("save") + formatOf(format).extension.mid(1));
    b->setToolTip(QString::fromUtf8(formatOf(format).tip));
    connect(b, &QPushButton::clicked, this, [this, format = format] { saveAs(format); });
    buttons->addWidget(b);
  }
  auto* asFound = new QPushButton(QStringLiteral("Restore as found"), this);
  asFound->setToolTip(QStringLiteral("Write the sensor's datasheet and calibration as they were before this write"));
  auto* asLeft = new QPushButton(QStringLiteral("Restore as left"), this);
  asLeft->setToolTip(QStringLiteral("Write the sensor's datasheet and calibration as this write left them"));
  auto* sign = new QPushButton(QStringLiteral("Sign..."), this);
  sign->setObjectName(QStringLiteral("sign"));
  sign->setToolTip(QStringLiteral("Sign the opened record as performed, reviewed, approved or amended, with your password"));
  connect(sign, &QPushButton::clicked, this, [this] { signSelected(); });
  auto* amend = new QPushButton(QStringLiteral("Amend..."), this);
  amend->setObjectName(QStringLiteral("amend"));
  amend->setToolTip(QStringLiteral("Make a new version of the opened record, with your reason: a record is never "
                                   "changed, and a check after its first signature goes into its amendment"));
  connect(amend, &QPushButton::clicked, this, [this] { amendSelected(); });
  askAmendment = [this](const CalibrationRecord& r, QString& reason, RecordCorrections& corrections) {
    return askAmendmentInDialog(this, r, reason, corrections);
  };
  for (QPushButton* b : {sign, amend, asFound, asLeft}) buttons->addWidget(b);
  askFileName = [this](const QString& title, const QString& filter, const QString& suggested) {
    return QFileDialog::getSaveFileName(this, title, suggested, filter);
  };
  connect(asFound, &QPushButton::clicked, this, [this] { restoreSelected(true); });
  connect(asLeft, &QPushButton::clicked, this, [this] { restoreSelected(false); });
  buttons->addStretch(1);
  return buttons;
}

// The opened record's results come first: what a lab reads off a calibration.
QWidget* RecordsWindow::buildResultsTab() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  labFacts_ = new QLabel(page);
  labFacts_->setObjectName(QStringLiteral("labFacts"));
  labFacts_->setTextFormat(Qt::RichText);
  labFacts_->setWordWrap(true);
  layout->addWidget(labFacts_);
  results_ = new QTableWidget(0, static_cast<int>(resultHeadings().size()), page);
  results_->setObjectName(QStringLiteral("resultsTable"));
  results_->setHorizontalHeaderLabels(resultHeadings());
  results_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  results_->horizontalHeader()->setStretchLastSection(true);
  results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  layout->addWidget(results_, 1);
  auto* chartLine = new QHBoxLayout;
  chartLine->addWidget(new QLabel(QStringLiteral("Errors of"), page));
  chartRow_ = new QComboBox(page);
  chartRow_->setObjectName(QStringLiteral("chartRow"));
  chartLine->addWidget(chartRow_);
  chartLine->addStretch(1);
  layout->addLayout(chartLine);
  chart_ = new ErrorChartView(page);
  chart_->setObjectName(QStringLiteral("errorChart"));
  chart_->setToolTip(QStringLiteral("Each error with its U, as found (circles) and as left (squares), against the "
                                    "tolerance's band"));
  layout->addWidget(chart_, 1);
  connect(chartRow_, &QComboBox::currentIndexChanged, this, [this](int index) {
    chart_->setChart(index < 0 ? ErrorChart{} : errorChart(charted_, chartRow_->itemData(index).toInt()));
  });
  return page;
}

void RecordsWindow::showResults(const CalibrationRecord& record) {
  labFacts_->setText(recordLabHtml(record));
  charted_ = record;
  chartRow_->clear();
  for (int row = 0; row < static_cast<int>(record.rows.size()); ++row) {
    if (errorChart(record, row).points.empty()) continue;
    chartRow_->addItem(QStringLiteral("Row %1: %2").arg(row + 1).arg(QString::fromStdString(record.rows[static_cast<std::size_t>(row)].name)), row);
  }
  if (chartRow_->count() == 0) chart_->setChart({});
  results_->setRowCount(static_cast<int>(record.results.size()));
  for (int i = 0; i < static_cast<int>(record.results.size()); ++i) {
    const RecordResult& result = record.results[static_cast<std::size_t>(i)];
    const QStringList cells = resultCells(record, result);
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setToolTip(budgetText(result.result.uncertainty));  // where U comes from
      results_->setItem(i, c, item);
    }
  }
}

void RecordsWindow::refresh() {
  table_->setRowCount(0);
  details_->clear();
  labFacts_->clear();
  results_->setRowCount(0);
  chartRow_->clear();
  chart_->setChart({});
  RecordStore* store = dialog_.recordKeeping().store();
  const Datasheet* plugged = dialog_.session().currentDatasheet;
  const std::string unit = unit_->text().trimmed().toStdString();
  // A unit's history is the unit's whatever model it is listed under.
  thisModel_->setEnabled(unit.empty());
  std::vector<RecordSummary> list;
  // A lab's store that cannot be listed still shows what waits on this station.
  const bool listed =
      store != nullptr &&
      (unit.empty() ? store->list(thisModel_->isChecked() && plugged != nullptr ? plugged->sensorId : 0, list)
                    : store->listUnit(unit, list));
  if (!listed) {
    const QString why = store == nullptr ? QStringLiteral("No records are kept.") : q(store->problem());
    details_->setPlainText(why);
    labFacts_->setText(why.toHtmlEscaped());
  }
  table_->setRowCount(static_cast<int>(list.size()));
  for (int i = 0; i < static_cast<int>(list.size()); ++i) {
    const RecordSummary& s = list[static_cast<std::size_t>(i)];
    const QString number = s.waiting ? QStringLiteral("waiting %1").arg(s.id) : QString::number(s.id);
    const QString cells[] = {number, q(s.utcTime), QString::number(s.sensorId), q(s.unit), q(s.datasheetName),
                             s.success ? q(s.result) : QStringLiteral("FAILED: ") + q(s.result)};
    for (int c = 0; c < 6; ++c) table_->setItem(i, c, new QTableWidgetItem(cells[c]));
    table_->item(i, 0)->setData(Qt::UserRole, q(s.uuid));
  }
  // The date and the datasheet's name whole, however long.
  table_->resizeColumnsToContents();
}

std::string RecordsWindow::uuidAt(int row) const {
  const QTableWidgetItem* item = row >= 0 ? table_->item(row, 0) : nullptr;
  return item != nullptr ? item->data(Qt::UserRole).toString().toStdString() : std::string();
}

void RecordsWindow::showSelected() {
  CalibrationRecord record;
  RecordStore* store = dialog_.recordKeeping().store();
  if (store == nullptr || selectedUuid().empty() || !store->load(selectedUuid(), record)) return;
  showResults(record);
  details_->setHtml(recordDetailsHtml(record));
  // A record that no longer matches its audit trail says so before anything else.
  if (std::string broken; !store->checkRecord(record.uuid, broken)) {
    labFacts_->setText(QStringLiteral("<p style=\"color:#b00020\"><b>This record does not match its audit trail: "
                                      "%1. No certificate is issued for it.</b></p>")
                           .arg(QString::fromStdString(broken).toHtmlEscaped()) +
                       labFacts_->text());
  }
}

void RecordsWindow::saveAs(SaveFormat format) {
  // A name is asked for only when there is something to save under it.
  if (selectedUuid().empty()) {
    dialog_.ShowMessage("Select a record in the list first.");
    return;
  }
  const FormatInfo info = formatOf(format);
  const QString asked =
      askFileName(QString::fromUtf8(info.title), QString::fromUtf8(info.filter), suggestedFile(info.extension));
  if (asked.isEmpty()) return;
  const QString file = withExtension(asked, info.extension);
  lastFolder_ = QFileInfo(file).absolutePath();
  const bool saved = format == SaveFormat::kPdf   ? saveCertificate(file)
                     : format == SaveFormat::kDcc ? saveDcc(file)
                                                  : exportSelected(file);
  dialog_.ShowMessage(saved ? "Saved " + file.toStdString() : problem_);
}

// The selected record's certificate number (a "/" in it as "-"), else its record
// number, in the folder saved to last.
QString RecordsWindow::suggestedFile(const QString& extension) const {
  CalibrationRecord record;
  RecordStore* store = dialog_.recordKeeping().store();
  std::string name = "record";
  if (store != nullptr && store->load(selectedUuid(), record)) {
    name = record.certificateNumber.empty() ? "record-" + std::to_string(record.id) : record.certificateNumber;
  }
  std::replace(name.begin(), name.end(), '/', '-');
  return QDir(lastFolder_.isEmpty() ? QDir::homePath() : lastFolder_).filePath(q(name) + extension);
}

bool RecordsWindow::loadSelected(CalibrationRecord& record) {
  RecordStore* store = dialog_.recordKeeping().store();
  if (store == nullptr || selectedUuid().empty() || !store->load(selectedUuid(), record)) {
    problem_ = "Select a record in the list first.";
    return false;
  }
  return true;
}

bool RecordsWindow::saveCertificate(const QString& file) {
  CalibrationRecord record;
  const Laboratory lab = Laboratory::load(dialog_.settingsRegistry());
  return loadSelected(record) && issueCertificateNumber(*dialog_.recordKeeping().store(), lab, record, problem_) &&
         writeCertificatePdf(record, lab, file.toStdString(), problem_) &&
         noteIssued(*dialog_.recordKeeping().store(), record, "certificate issued", file.toStdString(), problem_);
}

// A DCC carries the human-readable certificate inside it: the PDF is made first.
bool RecordsWindow::saveDcc(const QString& file) {
  CalibrationRecord record;
  if (!loadSelected(record)) return false;
  if (!dccWriter) {
    problem_ = "This station cannot write a DCC.";
    return false;
  }
  const Laboratory lab = Laboratory::load(dialog_.settingsRegistry());
  std::vector<std::uint8_t> pdf;
  return issueCertificateNumber(*dialog_.recordKeeping().store(), lab, record, problem_) &&
         certificatePdf(record, lab, pdf, problem_) && dccWriter(record, lab, pdf, file.toStdString(), problem_) &&
         noteIssued(*dialog_.recordKeeping().store(), record, "DCC issued", file.toStdString(), problem_);
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
  if (!store->noteStationEvent("records exported", "", std::to_string(chosen.size()) + " records to " + file.toStdString())) {
    problem_ = "The records were saved, but the export could not be entered in the audit trail: " + store->problem();
    return false;
  }
  return true;
}

void RecordsWindow::signSelected() {
  CalibrationRecord record;
  if (!loadSelected(record)) {
    dialog_.ShowMessage(problem_);
    return;
  }
  const int row = table_->currentRow();
  SignWindow window(*dialog_.recordKeeping().store(), Laboratory::load(dialog_.settingsRegistry()),
                    dialog_.recordKeeping().signingSession(), record, this);
  if (openSigning(window) != QDialog::Accepted) return;
  refresh();
  table_->selectRow(row);
}

void RecordsWindow::amendSelected() {
  const std::string uuid = selectedUuid();
  CalibrationRecord record;
  if (uuid.empty() || !loadSelected(record)) {
    dialog_.ShowMessage(uuid.empty() ? "Select a record in the list first." : problem_);
    return;
  }
  QString reason;
  RecordCorrections corrections;
  if (!askAmendment(record, reason, corrections)) return;  // cancelled
  std::string problem;
  if (!dialog_.recordKeeping().amend(uuid, reason.trimmed().toStdString(), problem, corrections)) {
    dialog_.ShowMessage(problem);
    return;
  }
  refresh();
  table_->selectRow(0);  // the new version, newest first
  dialog_.ShowMessage("The amendment is the record opened now: a check taken joins it, and it is signed anew.");
}

void RecordsWindow::restoreSelected(bool asFound) {
  const std::string uuid = selectedUuid();
  if (uuid.empty()) return;
  dialog_.restoreRecord(uuid, asFound);
  refresh();
}

}  // namespace trimwell
