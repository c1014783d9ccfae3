#include "app/qt/qt_controls.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMessageBox>
#include <QPalette>
#include <QTimer>

namespace trimwell {

void QtControls::add(const ControlSpec& entry, QWidget* widget) {
  widget->setObjectName(QStringLiteral("control%1").arg(entry.id));
  widgets_[entry.id] = widget;
  const int id = entry.id;
  if (auto* choice = qobject_cast<QComboBox*>(widget)) {
    QObject::connect(choice, &QComboBox::activated, choice, [this, id] {
      if (listener_ != nullptr) listener_->OnControlClicked(id);
    });
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    QObject::connect(button, &QAbstractButton::clicked, button, [this, id] {
      if (listener_ != nullptr) listener_->OnControlClicked(id);
    });
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    QObject::connect(edit, &QLineEdit::textChanged, edit, [this, id] {
      if (listener_ != nullptr) listener_->OnControlTextChanged(id);
    });
  } else if (auto* lines = qobject_cast<QPlainTextEdit*>(widget)) {
    QObject::connect(lines, &QPlainTextEdit::textChanged, lines, [this, id] {
      if (listener_ != nullptr) listener_->OnControlTextChanged(id);
    });
  }
}

QWidget* QtControls::widget(int id) const {
  const auto it = widgets_.find(id);
  return it == widgets_.end() ? nullptr : it->second;
}

void QtControls::show(int id, bool shown) {
  if (QWidget* w = widget(id)) w->setVisible(shown);
}

bool QtControls::isShown(int id) const {
  const QWidget* w = widget(id);
  return w != nullptr && !w->isHidden();
}

void QtControls::enable(int id, bool enabled) {
  if (QWidget* w = widget(id)) w->setEnabled(enabled);
}

bool QtControls::isEnabled(int id) const {
  const QWidget* w = widget(id);
  return w != nullptr && w->isEnabled();
}

void QtControls::setChecked(int id, bool checked) {
  if (auto* b = qobject_cast<QAbstractButton*>(widget(id))) b->setChecked(checked);
}

bool QtControls::isChecked(int id) const {
  const auto* b = qobject_cast<const QAbstractButton*>(widget(id));
  return b != nullptr && b->isChecked();
}

void QtControls::setText(int id, const std::string& text) {
  const QString value = QString::fromUtf8(text.c_str());
  if (textObserver) textObserver(id, text);
  QWidget* w = widget(id);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    if (edit->text() == value) {
      // The toolkit tells of a text set even when it is the same.
      if (listener_ != nullptr) listener_->OnControlTextChanged(id);
    } else {
      edit->setText(value);
    }
    edit->setCursorPosition(0);
  } else if (auto* lines = qobject_cast<QPlainTextEdit*>(w)) {
    if (lines->toPlainText() != value) lines->setPlainText(value);
  } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setText(value);
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(value);
  } else if (auto* choice = qobject_cast<QComboBox*>(w)) {
    showInChoice(*choice, value);
  }
}

// An entry that is in the list is made the current one: the box takes a typed
// text that differs from its current entry for a new pick when it loses focus.
void QtControls::showInChoice(QComboBox& choice, const QString& text) {
  const QSignalBlocker quiet(&choice);
  const int at = choice.findText(text);
  if (at >= 0) {
    choice.setCurrentIndex(at);
  } else {
    choice.setEditText(text);
  }
}

std::string QtControls::text(int id) const {
  const QWidget* w = widget(id);
  if (const auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text().toStdString();
  if (const auto* lines = qobject_cast<const QPlainTextEdit*>(w)) return lines->toPlainText().toStdString();
  if (const auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text().toStdString();
  if (const auto* label = qobject_cast<const QLabel*>(w)) return label->text().toStdString();
  if (const auto* choice = qobject_cast<const QComboBox*>(w)) return choice->currentText().toStdString();
  return {};
}

// The entries are replaced, the text shown stays.
void QtControls::setChoices(int id, const std::vector<std::string>& entries) {
  auto* choice = qobject_cast<QComboBox*>(widget(id));
  if (choice == nullptr) return;
  const QString shown = choice->currentText();
  {
    const QSignalBlocker quiet(choice);
    choice->clear();
    for (const std::string& entry : entries) choice->addItem(QString::fromUtf8(entry.c_str()));
  }
  showInChoice(*choice, shown);
}

std::vector<std::string> QtControls::choices(int id) const {
  std::vector<std::string> entries;
  if (const auto* choice = qobject_cast<const QComboBox*>(widget(id))) {
    for (int i = 0; i < choice->count(); ++i) entries.push_back(choice->itemText(i).toStdString());
  }
  return entries;
}

void QtControls::setReadOnly(int id, bool readOnly) {
  if (auto* edit = qobject_cast<QLineEdit*>(widget(id))) {
    edit->setReadOnly(readOnly);
    // Tab passes over a box that cannot be typed into.
    edit->setFocusPolicy(readOnly ? Qt::NoFocus : Qt::StrongFocus);
  }
}

bool QtControls::isReadOnly(int id) const {
  const auto* edit = qobject_cast<const QLineEdit*>(widget(id));
  return edit != nullptr && edit->isReadOnly();
}

void QtControls::setFocus(int id) {
  if (QWidget* w = widget(id)) w->setFocus(Qt::OtherFocusReason);
}

void QtControls::setTextColour(int id, std::int32_t colour) {
  QWidget* w = widget(id);
  if (w == nullptr) return;
  QPalette palette = w->parentWidget() != nullptr ? w->parentWidget()->palette() : QPalette();
  if (colour != kDefaultColour) {
    palette.setColor(QPalette::Text, QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
  }
  w->setPalette(palette);
}

void QtControls::messageBox(const std::string& text) {
  QMessageBox box(QMessageBox::Information, QStringLiteral("Trimwell"), QString::fromUtf8(text.c_str()),
                  QMessageBox::Ok, window_);
  if (boxOpened) {
    QTimer::singleShot(0, &box, [this, &box] { boxOpened(box); });
  }
  box.exec();
  if (boxClosed) boxClosed(box);
}

bool QtControls::ask(const std::string& question) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Trimwell"), QString::fromUtf8(question.c_str()),
                  QMessageBox::Yes | QMessageBox::No, window_);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  if (boxOpened) {
    QTimer::singleShot(0, &box, [this, &box] { boxOpened(box); });
  }
  const bool yes = box.exec() == QMessageBox::Yes;
  if (boxClosed) boxClosed(box);
  return yes;
}

void QtControls::setToolTip(int id, const std::string& text) {
  QWidget* w = widget(id);
  if (w == nullptr) return;
  if (ownTips_.count(id) == 0) ownTips_[id] = w->toolTip();
  w->setToolTip(text.empty() ? ownTips_[id] : QString::fromUtf8(text.c_str()));
}

}  // namespace trimwell
