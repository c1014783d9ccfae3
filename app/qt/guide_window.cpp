#include "app/qt/guide_window.h"

#include <QFile>
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

GuideWindow::GuideWindow(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Trimwell: operator's guide"));
  setObjectName(QStringLiteral("guideWindow"));
  auto* top = new QVBoxLayout(this);
  text_ = new QTextBrowser(this);
  text_->setObjectName(QStringLiteral("guideText"));
  text_->setOpenExternalLinks(true);
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
