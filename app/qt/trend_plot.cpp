#include "app/qt/trend_plot.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

namespace trimwell {

TrendPlot::TrendPlot(Source source, QWidget* parent) : QWidget(parent), source_(std::move(source)) {
  setFixedSize(170, 44);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TrendPlot::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(0xfa, 0xfb, 0xfc));
  p.setPen(QColor(0xc8, 0xd0, 0xd8));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const RowTrend* trend = source_ ? source_() : nullptr;
  if (trend == nullptr || trend->history().size() < 2) return;
  const auto& h = trend->history();
  double low = INFINITY, high = -INFINITY;
  for (double v : h) {
    if (!std::isfinite(v)) continue;
    low = std::min(low, v);
    high = std::max(high, v);
  }
  if (!std::isfinite(low)) return;
  if (high - low < 1e-12) {
    low -= 0.5;
    high += 0.5;
  }
  // The newest reading at the right edge; a full minute fills the width.
  const double step = (width() - 4.0) / static_cast<double>(RowTrend::kHistory - 1);
  const double x0 = width() - 2.0 - step * static_cast<double>(h.size() - 1);
  // A one-pixel cosmetic pen takes the raster engine's line drawer; a wider one is
  // stroked as an outline, which costs milliseconds for a noisy minute.
  p.setRenderHint(QPainter::Antialiasing);
  QPen pen(QColor(0x1f, 0x5f, 0x8b), 1.0);
  pen.setCosmetic(true);
  p.setPen(pen);
  QPolygonF line;
  const auto drawLine = [&p, &line] {
    if (line.size() >= 2) p.drawPolyline(line);
    line.clear();
  };
  for (std::size_t i = 0; i < h.size(); ++i) {
    if (!std::isfinite(h[i])) {
      drawLine();
      continue;
    }
    line.append(QPointF(x0 + step * static_cast<double>(i),
                        height() - 3.0 - (h[i] - low) / (high - low) * (height() - 6.0)));
  }
  drawLine();
}

}  // namespace trimwell
