#pragma once
// The records of the plugged sensor model (or of all, or of one unit), newest
// first, with the result; a record opened shows its results as a lab reads them
// (as found and as left, with their uncertainties and verdicts, the unit, the
// conditions and the standards used) and, under Details, its points and
// constants and its as-found state beside its as-left one. It gives a
// certificate, a CSV export of the records chosen, and a restore into the sensor.

#include <QDialog>
#include <QTableWidget>

#include "app/calibration_dialog.h"

class QCheckBox;
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
  QLabel* labFacts() const { return labFacts_; }
  QTextEdit* details() const { return details_; }
  // What the buttons do, with the files named instead of asked for.
  bool saveCertificate(const QString& file);
  bool exportSelected(const QString& file);
  void restoreSelected(bool asFound);

 private:
  QWidget* buildResultsTab();
  void showSelected();
  void showResults(const CalibrationRecord& record);
  // The identity of the record in the table's row, or of the current row.
  std::string uuidAt(int row) const;
  std::string selectedUuid() const { return uuidAt(table_->currentRow()); }

  CalibrationDialog& dialog_;
  QCheckBox* thisModel_ = nullptr;
  QLineEdit* unit_ = nullptr;
  QTableWidget* table_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QLabel* labFacts_ = nullptr;
  QTableWidget* results_ = nullptr;
  QTextEdit* details_ = nullptr;
  std::string problem_;
};

// The details of a record as the window shows them (HTML).
QString recordDetailsHtml(const CalibrationRecord& record);

}  // namespace trimwell
