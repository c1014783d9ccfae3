#pragma once
// Help > Operator's guide: the operator's guide as the README tells it, with its
// pictures, built into the program so that it reads the same on a bench with no
// network and no browser.

#include <QDialog>

class QTextBrowser;

namespace trimwell {

class GuideWindow : public QDialog {
 public:
  explicit GuideWindow(QWidget* parent = nullptr);
  QTextBrowser* text() const { return text_; }
  // Scrolls to the heading a link names (#a-sequential-calibration); false when
  // the guide has none by that name.
  bool showSection(const QString& anchor);

 private:
  QTextBrowser* text_ = nullptr;
};

// A heading's anchor as the README's links write it: lower case, spaces as '-',
// punctuation left out ("A lab's calibration" is "a-labs-calibration").
QString headingAnchor(const QString& heading);

// The README's "Operator's guide" section, up to the next section of its level.
QString operatorsGuide(const QString& readme);

}  // namespace trimwell
