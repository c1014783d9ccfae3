#pragma once
// The reference standards register, as the record store keeps it for every
// station: the entries with a past-due one marked and a retired one greyed, and a
// form that adds an entry or replaces the one of its name; an entry is retired,
// never deleted. The register itself checks what it takes.

#include <QDialog>

#include "app/lab_bench.h"
#include "records/calibration_record.h"
#include "platform/window_controls.h"

class QGridLayout;
class QLineEdit;
class QTableWidget;

namespace trimwell {

class StandardsWindow : public QDialog {
 public:
  // Refusals are told through controls, as the station tells its own.
  StandardsWindow(LabBench& bench, WindowControls& controls, QWidget* parent = nullptr);

  QTableWidget* table() const { return table_; }
  // The form's field for an entry's field, by its caption ("Name", "k", ...).
  QLineEdit* field(const QString& caption) const;
  // Reads the register afresh into the table.
  void refresh();
  // What the Add button does: false, the message shown, when the entry is refused.
  bool addFromForm();
  // What the Retire button does, for the entry picked in the list.
  bool retireSelected();

 private:
  void buildForm(QGridLayout* grid);
  void fillForm(int row);
  void clearForm();

  LabBench& bench_;
  WindowControls& controls_;
  QTableWidget* table_ = nullptr;
  std::vector<std::pair<QString, QLineEdit*>> fields_;
  std::vector<metrology::StandardEntry> shown_;
};

}  // namespace trimwell
