#include "app/qt/certificate.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "records/record_export.h"

namespace trimwell {
namespace {

QString q(const std::string& text) { return QString::fromUtf8(text.c_str()); }

}  // namespace

bool writeCertificatePdf(const CalibrationRecord& record, const std::string& path, std::string& problem) {
  if (qGuiApp == nullptr) {
    problem = "a certificate is drawn with fonts, which take a running window toolkit";
    return false;
  }
  const CertificateText text = certificateText(record);
  QPdfWriter pdf(q(path));
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setPageOrientation(QPageLayout::Landscape);
  pdf.setResolution(300);
  pdf.setTitle(q(text.title));
  pdf.setCreator(QStringLiteral("Trimwell"));
  QPainter p;
  if (!p.begin(&pdf)) {
    problem = "cannot write " + path;
    return false;
  }
  const int width = pdf.width();
  const int line = 75;  // at 300 dpi
  int y = line * 2;
  QFont title(QStringLiteral("DejaVu Sans"), 18, QFont::Bold);
  QFont body(QStringLiteral("DejaVu Sans"), 10);
  QFont bold(QStringLiteral("DejaVu Sans"), 10, QFont::Bold);
  // Ligatures ("fi" as one glyph) would keep the words from being found in the text.
  for (QFont* font : {&title, &body, &bold}) font->setStyleStrategy(QFont::PreferNoShaping);
  p.setFont(title);
  p.drawText(0, y, q(text.title));
  y += line * 2;
  for (const auto& [label, value] : text.facts) {
    p.setFont(bold);
    p.drawText(0, y, q(label));
    p.setFont(body);
    p.drawText(width / 5, y, q(value));
    y += line;
  }
  y += line;
  // Row, Measurement, four points, constants: the measurement and constants widest.
  const double shares[] = {0.05, 0.25, 0.1, 0.1, 0.1, 0.1, 0.3};
  auto drawRow = [&](const std::vector<std::string>& cells, const QFont& font) {
    p.setFont(font);
    double x = 0;
    for (std::size_t c = 0; c < cells.size() && c < 7; ++c) {
      p.drawText(static_cast<int>(x), y, q(cells[c]));
      x += shares[c] * width;
    }
    y += line;
  };
  drawRow(text.rowHeadings, bold);
  for (const auto& row : text.rows) drawRow(row, body);
  y += line;
  p.setFont(bold);
  p.drawText(0, y, q(text.result));
  if (!p.end()) {
    problem = "cannot finish " + path;
    return false;
  }
  if (!QFile::exists(q(path))) {
    problem = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace trimwell
