#include "app/qt/error_chart.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace trimwell {
namespace {

struct Range {
  double low = 0.0;
  double high = 0.0;
};

// The reference values spread over the width, with a margin; one value alone is
// centred in a span of its own size (or 1).
Range referenceRange(const ErrorChart& chart) {
  Range r{chart.points.front().reference, chart.points.front().reference};
  for (const ChartPoint& p : chart.points) r = {std::min(r.low, p.reference), std::max(r.high, p.reference)};
  const double span = r.high > r.low ? r.high - r.low : std::max(std::abs(r.low), 1.0);
  return {r.low - span * 0.08, r.high + span * 0.08};
}

// Symmetric about zero, holding every error with its U and every limit.
double errorReach(const ChartPoint& p) {
  double reach = std::abs(p.error) + (std::isfinite(p.expanded) ? p.expanded : 0.0);
  if (std::isfinite(p.limit)) reach = std::max(reach, std::abs(p.limit));
  return reach;
}

QString number(double v) { return QString::number(std::abs(v) < 1e-300 ? 0.0 : v, 'g', 4); }

class Frame {
 public:
  Frame(const QRectF& plot, Range x, double reach) : plot_(plot), x_(x), reach_(reach) {}
  QPointF at(double reference, double error) const {
    const double fx = (reference - x_.low) / (x_.high - x_.low);
    const double fy = (error + reach_) / (2 * reach_);
    return {plot_.left() + fx * plot_.width(), plot_.bottom() - fy * plot_.height()};
  }

 private:
  QRectF plot_;
  Range x_;
  double reach_;
};

// The band through each point's ±T, in the order of the reference values.
void drawBand(QPainter& painter, const ErrorChart& chart, const Frame& frame, Range x) {
  std::vector<std::pair<double, double>> limits;
  for (const ChartPoint& p : chart.points) {
    if (std::isfinite(p.limit)) limits.emplace_back(p.reference, std::abs(p.limit));
  }
  if (limits.empty()) return;
  std::sort(limits.begin(), limits.end());
  // A band of one limit, or of one value, reaches across the chart.
  if (limits.size() == 1 || limits.front().first == limits.back().first) {
    limits = {{x.low, limits.front().second}, {x.high, limits.front().second}};
  }
  QPolygonF band;
  for (const auto& [reference, limit] : limits) band << frame.at(reference, limit);
  for (auto it = limits.rbegin(); it != limits.rend(); ++it) band << frame.at(it->first, -it->second);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kToleranceBand);
  painter.drawPolygon(band);
}

void drawPoints(QPainter& painter, const ErrorChart& chart, const Frame& frame, Range x, qreal size) {
  // As left is drawn a little to the right, so that a check at a point's own
  // reference value does not hide it.
  const double shift = (x.high - x.low) * 0.01;
  for (const ChartPoint& p : chart.points) {
    const double reference = p.reference + (p.asLeft ? shift : -shift);
    const QPointF centre = frame.at(reference, p.error);
    painter.setPen(QPen(Qt::black, size / 6));
    if (std::isfinite(p.expanded)) {
      const QPointF top = frame.at(reference, p.error + p.expanded);
      const QPointF bottom = frame.at(reference, p.error - p.expanded);
      painter.drawLine(top, bottom);
      painter.drawLine(top - QPointF(size / 2, 0), top + QPointF(size / 2, 0));
      painter.drawLine(bottom - QPointF(size / 2, 0), bottom + QPointF(size / 2, 0));
    }
    const QRectF mark(centre - QPointF(size / 2, size / 2), QSizeF(size, size));
    if (p.asLeft) {
      painter.setBrush(QColor(150, 30, 30));
      painter.drawRect(mark);
    } else {
      painter.setBrush(Qt::white);
      painter.drawEllipse(mark);
    }
  }
}

}  // namespace

void drawErrorChart(QPainter& painter, const QRectF& area, const ErrorChart& chart, const QFont& font) {
  if (chart.points.empty() || area.width() <= 0 || area.height() <= 0) return;
  painter.save();
  painter.setFont(font);
  const QFontMetricsF metrics(font, painter.device());
  const qreal line = metrics.lineSpacing();
  const QString unit = chart.unit.empty() ? QStringLiteral("the sensor's unit") : QString::fromStdString(chart.unit);
  const QRectF plot(area.left() + metrics.horizontalAdvance(QStringLiteral("-0.0000e+00")) + line, area.top() + line / 2,
                    area.width() - metrics.horizontalAdvance(QStringLiteral("-0.0000e+00")) - 2 * line,
                    area.height() - 3 * line);
  const Range x = referenceRange(chart);
  double reach = 0.0;
  for (const ChartPoint& p : chart.points) reach = std::max(reach, errorReach(p));
  reach = reach > 0.0 && std::isfinite(reach) ? reach * 1.15 : 1.0;
  const Frame frame(plot, x, reach);

  drawBand(painter, chart, frame, x);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::darkGray, line / 12, Qt::DashLine));
  painter.drawLine(frame.at(x.low, 0), frame.at(x.high, 0));
  painter.setPen(QPen(Qt::black, line / 14));
  painter.drawRect(plot);
  drawPoints(painter, chart, frame, x, line * 0.6);

  // Axes: the error's reach and zero on the left, the reference values' ends below.
  for (double e : {reach, 0.0, -reach}) {
    const QString text = number(e);
    painter.drawText(QPointF(plot.left() - metrics.horizontalAdvance(text) - line / 3,
                             frame.at(x.low, e).y() + metrics.ascent() / 2),
                     text);
  }
  for (double r : {x.low, x.high}) {
    const QString text = number(r);
    painter.drawText(QPointF(frame.at(r, 0).x() - metrics.horizontalAdvance(text) / 2, plot.bottom() + line * 1.2),
                     text);
  }
  const QString across = QStringLiteral("Reference value (%1); error up the side (%1)").arg(unit);
  painter.drawText(QPointF(plot.center().x() - metrics.horizontalAdvance(across) / 2, plot.bottom() + 2.2 * line),
                   across);
  painter.restore();
}

ErrorChartView::ErrorChartView(QWidget* parent) : QWidget(parent) { setMinimumHeight(160); }

void ErrorChartView::setChart(ErrorChart chart) {
  chart_ = std::move(chart);
  setVisible(!chart_.points.empty());
  update();
}

void ErrorChartView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), Qt::white);
  drawErrorChart(painter, QRectF(rect()).adjusted(4, 4, -4, -4), chart_, font());
}

}  // namespace trimwell
