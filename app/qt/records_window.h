#pragma once
// The records of the plugged sensor model (or of all), newest first, with the
// result; a record opened shows its points and constants and its as-found state
// beside its as-left one, and gives a certificate, a CSV export of the records
// chosen, and a restore into the sensor.

#include <QDialog>
#include <QTableWidget>

#include "app/calibration_dialog.h"

class QCheckBox;
class QTextEdit;
class QPushButton;

namespace trimwell {

class RecordsWindow : public QDialog {
 public:
  RecordsWindow(CalibrationDialog& dialog, QWidget* parent = nullptr);

  void refresh();
  QTableWidget* table() const { return table_; }
  QTextEdit* details() const { return details_; }
  // What the buttons do, with the files named instead of asked for.
  bool saveCertificate(const QString& file);
  bool exportSelected(const QString& file);
  void restoreSelected(bool asFound);

 private:
  void showSelected();
  // The identity of the record in the table's row, or of the current row.
  std::string uuidAt(int row) const;
  std::string selectedUuid() const { return uuidAt(table_->currentRow()); }

  CalibrationDialog& dialog_;
  QCheckBox* thisModel_ = nullptr;
  QTableWidget* table_ = nullptr;
  QTextEdit* details_ = nullptr;
  std::string problem_;
};

// The details of a record as the window shows them (HTML).
QString recordDetailsHtml(const CalibrationRecord& record);

}  // namespace trimwell
