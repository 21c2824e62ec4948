#pragma once

#include <QColor>
#include <QString>
#include <vector>

namespace velmar {

// The value marks a series shows over its points.
struct ChartMarks {
  bool Visible = false;
  QString FontFamily = QStringLiteral("Arial");
  int FontPixelHeight = 11;
  QColor FontColor = Qt::black;
  QColor BackColor = QColor(255, 255, 225);
  QColor FrameColor = Qt::black;
  // The arrow from the point to its mark, in pixels.
  int ArrowLength = 8;
  QColor ArrowColor = QColor(64, 64, 64);
};

// One point: its value, its label on the bottom axis and its colour (an
// invalid colour: the series' colour).
struct ChartValue {
  double Value = 0;
  QString Label;
  QColor Color;
};

// A series of one of the four kinds the chart draws.
class ChartSeries {
 public:
  enum class Kind { VerticalBars, Line, Points, Area };
  enum class PointerStyle { Rectangle, Circle };

  ChartSeries(Kind kind, const QString& title, const QColor& color);

  Kind SeriesKind() const { return kind_; }

  QString Title;
  QColor SeriesColor;
  bool Active = true;
  ChartMarks Marks;
  // Points without a colour of their own get one from a palette, each a
  // different one, instead of the series' colour.
  bool ColorEachPoint = false;

  // Bars: width in percent of the room of one point; side by side with
  // other bar series or all in the same place.
  int BarWidthPercent = 70;
  bool BarsSideBySide = true;
  // Line and points: the markers drawn at each point.
  bool PointerVisible = true;
  PointerStyle Pointer = PointerStyle::Rectangle;

  void Clear() { values_.clear(); }
  // Appends a point and returns its index.
  int Add(double value, const QString& label, const QColor& color = QColor());
  // Changes the value of an existing point; an index out of range raises
  // velmar::Exception (the chart never grows by accident).
  void SetValue(int index, double value);
  int Count() const { return static_cast<int>(values_.size()); }
  const ChartValue& At(int index) const;
  double Value(int index) const { return At(index).Value; }
  QString Label(int index) const { return At(index).Label; }
  // The colour the point is drawn in.
  QColor PointColor(int index) const;

 private:
  Kind kind_;
  std::vector<ChartValue> values_;
};

}  // namespace velmar
