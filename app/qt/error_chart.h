#pragma once
// A row's errors drawn as a lab reads them: each error at its reference value with
// its ±U bar, as found (circles) and as left (squares), against the ±T band of the
// tolerance, with the zero line and axes in the row's unit. Drawn with QPainter
// alike on a PDF page (as vectors) and in the records view.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QWidget>

#include "documents/record_export.h"

namespace trimwell {

// The tolerance band's colour, which a test finds on a rendered page.
inline const QColor kToleranceBand{200, 232, 200};

void drawErrorChart(QPainter& painter, const QRectF& area, const ErrorChart& chart, const QFont& font);

// The records view's picture of a row's errors.
class ErrorChartView : public QWidget {
 public:
  explicit ErrorChartView(QWidget* parent = nullptr);
  void setChart(ErrorChart chart);
  const ErrorChart& chart() const { return chart_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ErrorChart chart_;
};

}  // namespace trimwell
