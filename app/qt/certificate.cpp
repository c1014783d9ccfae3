#include "app/qt/certificate.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <algorithm>

#include "app/qt/error_chart.h"
#include "documents/laboratory.h"
#include "records/record_check.h"

namespace trimwell {
namespace {

QString q(const std::string& text) { return QString::fromUtf8(text.c_str()); }

enum FontRole { kTitle, kHeading, kBody, kBold, kRoles };

struct Piece {
  int page;
  QPointF at;  // the baseline's start
  FontRole role;
  QString text;
};

struct Rule {
  int page;
  qreal y;
};

struct Chart {
  int page;
  QRectF area;
  const ErrorChart* chart;
};

// Lays the document out into pages first, so that every page's head can say how
// many there are; then draws it.
class PageLayout {
 public:
  PageLayout(QPdfWriter& device, const CertificateDocument& document);
  void lay();
  void draw(QPainter& painter) const;

 private:
  QStringList wrap(const QString& text, FontRole role, qreal width) const;
  qreal lineHeight(FontRole role) const { return QFontMetricsF(fonts_[role], &device_).lineSpacing(); }
  qreal ascent(FontRole role) const { return QFontMetricsF(fonts_[role], &device_).ascent(); }
  // Starts a new page unless `height` still fits on this one.
  void ensure(qreal height);
  // Lines of one cell at x; their height.
  qreal place(const QStringList& lines, FontRole role, qreal x);
  void section(const CertificateSection& s);
  void facts(const std::vector<std::pair<std::string, std::string>>& facts);
  qreal factsHeight(const std::vector<std::pair<std::string, std::string>>& facts) const;
  qreal paragraphHeight(const std::string& text, FontRole role) const {
    return wrap(q(text), role, width_).size() * lineHeight(role);
  }
  // The height a section keeps together: all of it when it has no table, else its
  // heading and facts with its first table's caption, headings and first row.
  qreal keptHeight(const CertificateSection& s);
  void table(const CertificateTable& t, const std::vector<qreal>& widths);
  std::vector<qreal> sharedWidths(const CertificateSection& s) const;
  std::vector<qreal> columnWidths(const CertificateTable& t) const;
  qreal tableRow(const std::vector<std::string>& cells, const std::vector<qreal>& widths, FontRole role, bool measure);
  qreal tableStartHeight(const CertificateTable& t);
  void paragraph(const QString& text, FontRole role);
  void chart(const ErrorChart& c);
  void drawHead(QPainter& painter, int page) const;

  QPdfWriter& device_;
  const CertificateDocument& doc_;
  QFont fonts_[kRoles];
  qreal width_ = 0;
  qreal bottom_ = 0;
  qreal top_ = 0;  // below the page's head
  qreal gap_ = 0;
  int page_ = 0;
  qreal y_ = 0;
  std::vector<Piece> pieces_;
  std::vector<Rule> rules_;
  std::vector<Chart> charts_;
};

PageLayout::PageLayout(QPdfWriter& device, const CertificateDocument& document) : device_(device), doc_(document) {
  const int sizes[kRoles] = {16, 11, 9, 9};
  for (int r = 0; r < kRoles; ++r) {
    fonts_[r] = QFont(QStringLiteral("DejaVu Sans"), sizes[r], r == kBody ? QFont::Normal : QFont::Bold);
    // Ligatures ("fi" as one glyph) would keep the words from being found in the text.
    fonts_[r].setStyleStrategy(QFont::PreferNoShaping);
  }
  width_ = device.width();
  bottom_ = device.height();
  gap_ = lineHeight(kBody) * 0.6;
  // The head: title and number, then the laboratory's name, then a rule.
  top_ = lineHeight(kHeading) + wrap(q(doc_.laboratory), kBody, width_).size() * lineHeight(kBody) + gap_ * 2;
  if (!doc_.draftMark.empty()) top_ += lineHeight(kBold);
  y_ = top_;
}

QStringList PageLayout::wrap(const QString& text, FontRole role, qreal width) const {
  QStringList lines;
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
    if (paragraph.isEmpty()) {
      lines << QString();
      continue;
    }
    QTextLayout layout(paragraph, fonts_[role], &device_);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(std::max<qreal>(width, 1));
      lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
  }
  return lines;
}

void PageLayout::ensure(qreal height) {
  if (y_ + height <= bottom_ || y_ <= top_) return;
  ++page_;
  y_ = top_;
}

qreal PageLayout::place(const QStringList& lines, FontRole role, qreal x) {
  qreal y = y_;
  for (const QString& line : lines) {
    pieces_.push_back({page_, QPointF(x, y + ascent(role)), role, line});
    y += lineHeight(role);
  }
  return y - y_;
}

void PageLayout::paragraph(const QString& text, FontRole role) {
  for (const QString& line : wrap(text, role, width_)) {
    ensure(lineHeight(role));
    y_ += place({line}, role, 0);
  }
}

void PageLayout::facts(const std::vector<std::pair<std::string, std::string>>& facts) {
  const qreal labelWidth = width_ * 0.28;
  for (const auto& [label, value] : facts) {
    const QStringList labels = wrap(q(label), kBold, labelWidth - gap_);
    const QStringList values = wrap(q(value), kBody, width_ - labelWidth);
    const qreal height = std::max(labels.size(), values.size()) * lineHeight(kBody);
    if (y_ + height <= bottom_ || height <= bottom_ - top_) {
      ensure(height);
      y_ += std::max(place(labels, kBold, 0), place(values, kBody, labelWidth));
      continue;
    }
    // Longer than a page: it goes on over the next, line by line, its label with
    // its first line, rather than past the page's edge.
    for (qsizetype line = 0; line < std::max(labels.size(), values.size()); ++line) {
      ensure(lineHeight(kBody));
      const qreal labelHeight = line < labels.size() ? place({labels[line]}, kBold, 0) : 0;
      y_ += std::max(labelHeight, line < values.size() ? place({values[line]}, kBody, labelWidth) : lineHeight(kBody));
    }
  }
}

qreal PageLayout::factsHeight(const std::vector<std::pair<std::string, std::string>>& facts) const {
  const qreal labelWidth = width_ * 0.28;
  qreal height = 0;
  for (const auto& [label, value] : facts) {
    height += std::max(wrap(q(label), kBold, labelWidth - gap_).size(), wrap(q(value), kBody, width_ - labelWidth).size()) *
              lineHeight(kBody);
  }
  return height;
}

// As a browser lays out a table: each column gets at least its longest word,
// and what is left of the page goes to the columns by how much more their
// longest cell would need to stand on one line. So short columns stay whole and
// long names wrap at their spaces in the wide ones.
std::vector<qreal> PageLayout::columnWidths(const CertificateTable& t) const {
  const std::size_t n = t.headings.size();
  std::vector<qreal> least(n, 0.0), most(n, 0.0);
  const auto measure = [&](std::size_t c, const std::string& cell, FontRole role) {
    const QFontMetricsF metrics(fonts_[role], &device_);
    for (const QString& word : q(cell).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      least[c] = std::max(least[c], std::min(metrics.horizontalAdvance(word), width_ * 0.3) + gap_);
    }
    most[c] = std::max(most[c], metrics.horizontalAdvance(q(cell)) + gap_);
  };
  for (std::size_t c = 0; c < n; ++c) {
    measure(c, t.headings[c], kBold);
    for (const auto& row : t.rows) measure(c, c < row.size() ? row[c] : std::string(), kBody);
  }
  qreal leastSum = 0, mostSum = 0;
  for (std::size_t c = 0; c < n; ++c) leastSum += least[c], mostSum += most[c];
  std::vector<qreal> widths(n);
  for (std::size_t c = 0; c < n; ++c) {
    if (mostSum <= width_) widths[c] = most[c] * width_ / mostSum;
    else if (leastSum >= width_) widths[c] = least[c] * width_ / leastSum;
    else widths[c] = least[c] + (most[c] - least[c]) * (width_ - leastSum) / (mostSum - leastSum);
  }
  return widths;
}

qreal PageLayout::tableRow(const std::vector<std::string>& cells, const std::vector<qreal>& widths, FontRole role,
                           bool measure) {
  qreal x = 0;
  qreal height = 0;
  for (std::size_t c = 0; c < widths.size(); ++c) {
    const QStringList lines = wrap(c < cells.size() ? q(cells[c]) : QString(), role, widths[c] - gap_);
    height = std::max(height, lines.size() * lineHeight(role));
    if (!measure) place(lines, role, x);
    x += widths[c];
  }
  return height;
}

qreal PageLayout::tableStartHeight(const CertificateTable& t) {
  const std::vector<qreal> widths = columnWidths(t);
  return paragraphHeight(t.caption, kBold) + tableRow(t.headings, widths, kBold, true) +
         (t.rows.empty() ? 0 : tableRow(t.rows.front(), widths, kBody, true));
}

qreal PageLayout::keptHeight(const CertificateSection& s) {
  qreal height = lineHeight(kHeading) + factsHeight(s.facts);
  if (!s.tables.empty()) {
    height += tableStartHeight(s.tables.front());
  } else {
    for (const std::string& p : s.paragraphs) height += paragraphHeight(p, kBody);
  }
  // More than a page holds goes over pages; the heading still takes two lines with it.
  return height <= bottom_ - top_ ? height : lineHeight(kHeading) + 2 * lineHeight(kBody);
}

// Tables of one section with the same columns (a row's as found and as left)
// share their widths, so that a column stands where it stood in the table above.
std::vector<qreal> PageLayout::sharedWidths(const CertificateSection& s) const {
  if (s.tables.empty()) return {};
  CertificateTable all{"", s.tables.front().headings, {}};
  for (const CertificateTable& t : s.tables) {
    if (t.headings != all.headings) return {};
    all.rows.insert(all.rows.end(), t.rows.begin(), t.rows.end());
  }
  return columnWidths(all);
}

void PageLayout::table(const CertificateTable& t, const std::vector<qreal>& shared) {
  const std::vector<qreal> widths = shared.empty() ? columnWidths(t) : shared;
  const qreal headingHeight = tableRow(t.headings, widths, kBold, true);
  const auto headings = [&] {
    y_ += tableRow(t.headings, widths, kBold, false);
    rules_.push_back({page_, y_});
  };
  ensure(lineHeight(kBold) + headingHeight * 2);
  paragraph(q(t.caption), kBold);
  headings();
  for (const auto& row : t.rows) {
    const int page = page_;
    ensure(tableRow(row, widths, kBody, true));
    if (page_ != page) headings();  // carried over: the new page repeats what the columns are
    y_ += tableRow(row, widths, kBody, false);
  }
  y_ += gap_;
}

// Kept whole on one page with its caption, below the row's tables.
void PageLayout::chart(const ErrorChart& c) {
  const qreal height = lineHeight(kBody) * 12;
  ensure(paragraphHeight(c.caption, kBody) + height);
  paragraph(q(c.caption), kBody);
  charts_.push_back({page_, QRectF(0, y_, width_ * 0.6, height), &c});
  y_ += height + gap_;
}

void PageLayout::section(const CertificateSection& s) {
  y_ += gap_;
  // No heading alone at a page's foot, nor a row's facts parted from its table, nor
  // the signatures parted from each other.
  ensure(keptHeight(s));
  paragraph(q(s.heading), kHeading);
  facts(s.facts);
  const std::vector<qreal> widths = sharedWidths(s);
  for (const CertificateTable& t : s.tables) table(t, widths);
  if (!s.chart.points.empty()) chart(s.chart);
  for (const std::string& p : s.paragraphs) paragraph(q(p), kBody);
}

void PageLayout::lay() {
  paragraph(q(doc_.title), kTitle);
  for (const CertificateSection& s : doc_.sections) section(s);
  y_ += gap_ * 2;
  paragraph(q(doc_.end), kBold);
}

void PageLayout::drawHead(QPainter& painter, int page) const {
  const QString pages = QStringLiteral("Page %1 of %2").arg(page + 1).arg(page_ + 1);
  qreal y = 0;
  painter.setFont(fonts_[kHeading]);
  const QFontMetricsF metrics(fonts_[kHeading], &device_);
  const qreal pagesWidth = metrics.horizontalAdvance(pages);
  painter.drawText(QPointF(0, y + metrics.ascent()),
                   q(doc_.numberLabel + " " + doc_.number));
  painter.drawText(QPointF(width_ - pagesWidth, y + metrics.ascent()), pages);
  y += lineHeight(kHeading);
  painter.setFont(fonts_[kBody]);
  for (const QString& line : wrap(q(doc_.laboratory), kBody, width_)) {
    painter.drawText(QPointF(0, y + ascent(kBody)), line);
    y += lineHeight(kBody);
  }
  if (!doc_.draftMark.empty()) {
    painter.setFont(fonts_[kBold]);
    painter.drawText(QPointF(0, y + ascent(kBold)), q(doc_.draftMark));
    y += lineHeight(kBold);
  }
  painter.drawLine(QPointF(0, y + gap_ / 2), QPointF(width_, y + gap_ / 2));
}

void PageLayout::draw(QPainter& painter) const {
  for (int page = 0; page <= page_; ++page) {
    if (page > 0) device_.newPage();
    drawHead(painter, page);
    for (const Piece& p : pieces_) {
      if (p.page != page) continue;
      painter.setFont(fonts_[p.role]);
      painter.drawText(p.at, p.text);
    }
    for (const Rule& r : rules_) {
      if (r.page == page) painter.drawLine(QPointF(0, r.y), QPointF(width_, r.y));
    }
    for (const Chart& c : charts_) {
      if (c.page == page) drawErrorChart(painter, c.area, *c.chart, fonts_[kBody]);
    }
  }
}

}  // namespace

bool documentPdf(const CertificateDocument& document, std::vector<std::uint8_t>& pdf, std::string& problem) {
  if (qGuiApp == nullptr) {
    problem = "a certificate is drawn with fonts, which take a running window toolkit";
    return false;
  }
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    // Landscape: a results table carries seven columns of numbers with every digit.
    writer.setPageOrientation(QPageLayout::Landscape);
    writer.setPageMargins(QMarginsF(18, 15, 18, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(q(document.title + " " + document.number));
    writer.setCreator(QStringLiteral("Trimwell"));
    PageLayout layout(writer, document);
    layout.lay();
    QPainter painter;
    if (!painter.begin(&writer)) {
      problem = "cannot draw the certificate";
      return false;
    }
    layout.draw(painter);
    if (!painter.end()) {
      problem = "cannot finish the certificate";
      return false;
    }
  }
  const QByteArray& bytes = buffer.data();
  pdf.assign(bytes.begin(), bytes.end());
  return true;
}

bool certificatePdf(const CalibrationRecord& record, const Laboratory& lab, std::vector<std::uint8_t>& pdf,
                    std::string& problem) {
  // Refused for what the DCC is refused for: a number it cannot state, or no
  // number of its own yet.
  std::string number;
  if (!checkRecordNumbers(record, problem) || !documentNumber(lab, record, number, problem)) return false;
  const std::string today = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate).toStdString();
  return documentPdf(certificateDocument(record, lab, today), pdf, problem);
}

bool writeCertificatePdf(const CalibrationRecord& record, const Laboratory& lab, const std::string& path,
                         std::string& problem) {
  std::vector<std::uint8_t> pdf;
  if (!certificatePdf(record, lab, pdf, problem)) return false;
  QFile file(q(path));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(reinterpret_cast<const char*>(pdf.data()), static_cast<qint64>(pdf.size())) !=
          static_cast<qint64>(pdf.size()) ||
      !file.flush()) {
    problem = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace trimwell
