#include "graph/chart3d.h"

#include "platform/exception.h"

namespace velmar {

Chart3D::Chart3D() {
  // Grid lines across the point axis only clutter bars; the value grid
  // helps read them.
  BottomAxis.GridVisible = false;
}

int Chart3D::NumPages() const {
  const ChartSeries* series = FirstActive();
  const int count = series != nullptr ? series->Count() : 0;
  if (MaxPointsPerPage <= 0 || count == 0) {
    return 1;
  }
  return (count + MaxPointsPerPage - 1) / MaxPointsPerPage;
}

ChartSeries* Chart3D::AddSeries(ChartSeries::Kind kind, const QString& title, const QColor& color) {
  series_.push_back(std::make_unique<ChartSeries>(kind, title, color));
  return series_.back().get();
}

ChartSeries& Chart3D::Series(int index) const {
  if (index < 0 || index >= SeriesCount()) {
    throw Exception(QStringLiteral("The chart has no series %1").arg(index));
  }
  return *series_[static_cast<size_t>(index)];
}

ChartSeries* Chart3D::FirstActive() const {
  for (const auto& s : series_) {
    if (s->Active) {
      return s.get();
    }
  }
  return nullptr;
}

}  // namespace velmar
