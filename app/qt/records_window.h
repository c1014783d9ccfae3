#pragma once
// The records of the plugged sensor model (or of all, or of one unit), newest
// first, with the result; a record opened shows its results as a lab reads them
// (as found and as left, with their uncertainties and verdicts, the unit, the
// conditions and the standards used) and, under Details, its points and
// constants and its as-found state beside its as-left one. It saves the opened
// record's certificate (PDF) or DCC (XML), a CSV of the records chosen, and
// restores a record into the sensor.

#include <QDialog>
#include <QTableWidget>
#include <cstdint>
#include <functional>

#include <vector>

#include "app/qt/error_chart.h"
#include "app/record_keeping.h"
#include "app/calibration_dialog.h"
#include "documents/laboratory.h"

class QCheckBox;
class QComboBox;
class QLayout;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTextEdit;
class QPushButton;

namespace trimwell {

class RecordsWindow : public QDialog {
 public:
  RecordsWindow(CalibrationDialog& dialog, QWidget* parent = nullptr);

  void refresh();
  QTableWidget* table() const { return table_; }
  QLineEdit* unitFilter() const { return unit_; }
  QTabWidget* tabs() const { return tabs_; }
  // The opened record's results, and what the lab states with them.
  QTableWidget* results() const { return results_; }
  ErrorChartView* chart() const { return chart_; }
  QComboBox* chartRow() const { return chartRow_; }
  QLabel* labFacts() const { return labFacts_; }
  QTextEdit* details() const { return details_; }
  enum class SaveFormat { kPdf, kDcc, kCsv };
  // A save button: a record must be open before a file name is asked for; the
  // format's extension is added to a name without it, and the path saved to (or
  // what went wrong) is told.
  void saveAs(SaveFormat format);
  // What the buttons do, with the files named instead of asked for.
  bool saveCertificate(const QString& file);
  bool saveDcc(const QString& file);
  bool exportSelected(const QString& file);
  void restoreSelected(bool asFound);
  // Sign...: the opened record in a signing window, shown again once signed.
  void signSelected();
  // Amend...: the opened record's next version, with the reason asked for; the
  // station's later checks join it.
  void amendSelected();
  // Asks for an amendment's reason and the typed values it corrects (shown as the
  // record has them; only those changed are corrections); false when cancelled.
  // A dialog unless replaced (a test answers it).
  std::function<bool(const CalibrationRecord&, QString& reason, RecordCorrections& corrections)> askAmendment;
  // Opens the signing window; exec() unless replaced (a test drives it).
  std::function<int(QDialog&)> openSigning = [](QDialog& window) { return window.exec(); };
  const std::string& problem() const { return problem_; }

  // Asks for the file to save to (title, file filter, the name suggested: the
  // certificate's number where it has one, in the folder saved to last); empty
  // when cancelled. A file dialog unless replaced (a test answers it).
  std::function<QString(const QString& title, const QString& filter, const QString& suggested)> askFileName;
  // Writes a record's DCC (XML) with its certificate PDF inside. Not connected
  // here: the DCC writer is built in where the window is made, and without it the
  // DCC button says the station cannot write one.
  std::function<bool(const CalibrationRecord&, const Laboratory&, const std::vector<std::uint8_t>& pdf,
                     const std::string& path, std::string& problem)>
      dccWriter;

 private:
  QString suggestedFile(const QString& extension) const;
  // The folder a file was last saved to (the home folder at first).
  QString lastFolder_;
  QWidget* buildResultsTab();
  QLayout* buildButtons();
  void showSelected();
  void showResults(const CalibrationRecord& record);
  // The identity of the record in the table's row, or of the current row.
  std::string uuidAt(int row) const;
  std::string selectedUuid() const { return uuidAt(table_->currentRow()); }
  bool loadSelected(CalibrationRecord& record);

  CalibrationDialog& dialog_;
  QCheckBox* thisModel_ = nullptr;
  QLineEdit* unit_ = nullptr;
  QTableWidget* table_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QLabel* labFacts_ = nullptr;
  QTableWidget* results_ = nullptr;
  // A row's errors as a picture, the row chosen beside it.
  QComboBox* chartRow_ = nullptr;
  ErrorChartView* chart_ = nullptr;
  CalibrationRecord charted_;
  QTextEdit* details_ = nullptr;
  std::string problem_;
};

// The details of a record as the window shows them (HTML).
QString recordDetailsHtml(const CalibrationRecord& record);

}  // namespace trimwell
