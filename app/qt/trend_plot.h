#pragma once
// A row's readings of the last minute as a small line, painted, scaled to their
// own lowest and highest.

#include <QWidget>
#include <functional>

#include "app/row_trend.h"

namespace trimwell {

class TrendPlot : public QWidget {
 public:
  using Source = std::function<const RowTrend*()>;
  TrendPlot(Source source, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Source source_;
};

}  // namespace trimwell
