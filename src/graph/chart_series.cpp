#include "graph/chart_series.h"

#include "platform/exception.h"

namespace velmar {

namespace {

// Colours for points without one of their own when each point is to
// differ; bright enough to stand out on the walls.
const QColor kPalette[] = {QColor(255, 0, 0),   QColor(0, 128, 0),     QColor(255, 255, 0),
                           QColor(0, 0, 255),   QColor(255, 255, 255), QColor(128, 128, 128),
                           QColor(255, 0, 255), QColor(0, 128, 128),   QColor(0, 0, 128),
                           QColor(128, 0, 0),   QColor(0, 255, 0),     QColor(128, 128, 0)};

}  // namespace

ChartSeries::ChartSeries(Kind kind, const QString& title, const QColor& color)
    : Title(title), SeriesColor(color), kind_(kind) {}

int ChartSeries::Add(double value, const QString& label, const QColor& color) {
  values_.push_back({value, label, color});
  return Count() - 1;
}

void ChartSeries::SetValue(int index, double value) {
  if (index < 0 || index >= Count()) {
    throw Exception(QStringLiteral("Series \"%1\" has no point %2").arg(Title).arg(index));
  }
  values_[static_cast<size_t>(index)].Value = value;
}

const ChartValue& ChartSeries::At(int index) const {
  if (index < 0 || index >= Count()) {
    throw Exception(QStringLiteral("Series \"%1\" has no point %2").arg(Title).arg(index));
  }
  return values_[static_cast<size_t>(index)];
}

QColor ChartSeries::PointColor(int index) const {
  const ChartValue& v = At(index);
  if (v.Color.isValid()) {
    return v.Color;
  }
  if (ColorEachPoint) {
    return kPalette[static_cast<size_t>(index) % std::size(kPalette)];
  }
  return SeriesColor;
}

}  // namespace velmar
