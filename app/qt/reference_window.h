#pragma once
// Settings > Reference instrument...: the instrument the rows read their reference
// values from, on a serial port (with its rate, parity and line ending) or at a
// network address HOST:PORT; the query for a reading, its unit and scale, and how
// long an answer may take. Use keeps the choice and connects at once; what is
// wrong is said in the window, which stays open.

#include <QDialog>

#include "app/calibration_dialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace trimwell {

class ReferenceWindow : public QDialog {
 public:
  explicit ReferenceWindow(CalibrationDialog& dialog, QWidget* parent = nullptr);

  QComboBox* location() const { return location_; }
  QComboBox* baud() const { return baud_; }
  QComboBox* parity() const { return parity_; }
  QComboBox* lineEnding() const { return ending_; }
  QLineEdit* query() const { return query_; }
  QLineEdit* unit() const { return unit_; }
  QLineEdit* scale() const { return scale_; }
  QSpinBox* timeout() const { return timeout_; }
  QLabel* refusal() const { return refusal_; }
  // What Use does: false, with the reason shown, when the choice is refused.
  bool use();

 private:
  CalibrationDialog& dialog_;
  QComboBox* location_ = nullptr;
  QComboBox* baud_ = nullptr;
  QComboBox* parity_ = nullptr;
  QComboBox* ending_ = nullptr;
  QLineEdit* query_ = nullptr;
  QLineEdit* unit_ = nullptr;
  QLineEdit* scale_ = nullptr;
  QSpinBox* timeout_ = nullptr;
  QLabel* refusal_ = nullptr;
};

}  // namespace trimwell
