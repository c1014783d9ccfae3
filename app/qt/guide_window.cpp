#include "app/qt/guide_window.h"

#include <QDesktopServices>
#include <QFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace trimwell {

QString operatorsGuide(const QString& readme) {
  const QString heading = QStringLiteral("## Operator's guide");
  const qsizetype from = readme.indexOf(heading);
  if (from < 0) return {};
  const qsizetype to = readme.indexOf(QStringLiteral("\n## "), from + heading.size());
  return readme.mid(from, to < 0 ? -1 : to - from);
}

QString headingAnchor(const QString& heading) {
  QString anchor;
  for (const QChar c : heading.toLower()) {
    if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')) anchor += c;
    if (c == QLatin1Char(' ')) anchor += QLatin1Char('-');
  }
  return anchor;
}

bool GuideWindow::showSection(const QString& anchor) {
  for (QTextBlock block = text_->document()->begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() == 0 || headingAnchor(block.text()) != anchor) continue;
    // The heading at the top of the view, not merely somewhere in it.
    text_->verticalScrollBar()->setValue(text_->verticalScrollBar()->maximum());
    QTextCursor at(block);
    text_->setTextCursor(at);
    text_->ensureCursorVisible();
    return true;
  }
  return false;
}

GuideWindow::GuideWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Trimwell: operator's guide"));
  setObjectName(QStringLiteral("guideWindow"));
  auto* top = new QVBoxLayout(this);
  text_ = new QTextBrowser(this);
  text_->setObjectName(QStringLiteral("guideText"));
  // The guide's links to its own sections name them as the README's headings do;
  // the markdown reader gives headings no anchors, so they are found by their text.
  text_->setOpenLinks(false);
  connect(text_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    if (url.scheme().isEmpty() && url.hasFragment()) {
      showSection(url.fragment());
    } else {
      QDesktopServices::openUrl(url);
    }
  });
  // The pictures are named from the README's folder, as the resource keeps them.
  text_->document()->setBaseUrl(QUrl(QStringLiteral("qrc:/guide/")));
  text_->setSearchPaths({QStringLiteral(":/guide")});
  QFile readme(QStringLiteral(":/guide/README.md"));
  const QString guide = readme.open(QIODevice::ReadOnly) ? operatorsGuide(QString::fromUtf8(readme.readAll())) : QString();
  text_->setMarkdown(guide.isEmpty() ? QStringLiteral("The operator's guide is not built into this program: read the "
                                                      "README that came with it.")
                                     : guide);
  top->addWidget(text_);
  resize(900, 640);
}

}  // namespace trimwell
