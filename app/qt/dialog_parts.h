#pragma once
// The parts the station's dialogs share: the line that says why what was asked
// was refused, and the buttons that close the dialog only once it went ahead.

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

namespace trimwell {

// A word-wrapped line under the form, named "refusal", empty until something is refused.
inline QLabel* addRefusalLine(QDialog* dialog, QVBoxLayout* layout) {
  auto* refusal = new QLabel(dialog);
  refusal->setObjectName(QStringLiteral("refusal"));
  refusal->setWordWrap(true);
  layout->addWidget(refusal);
  return refusal;
}

// Cancel, and the dialog's own button (caption, objectName), which accepts the
// dialog only when goAhead() answers true.
inline void addGoAheadButtons(QDialog* dialog, QVBoxLayout* layout, const QString& caption, const QString& name,
                              std::function<bool()> goAhead) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
  QPushButton* button = buttons->addButton(caption, QDialogButtonBox::AcceptRole);
  button->setObjectName(name);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, [dialog, goAhead = std::move(goAhead)] {
    if (goAhead()) dialog->accept();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
}

}  // namespace trimwell
