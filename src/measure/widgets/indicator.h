#pragma once

#include "measure/paint/indicator_painter.h"
#include "measure/widgets/painted_control.h"

namespace velmar {

// A vertical bar graph of a percentage. Takes no input; the picture comes
// from IndicatorPainter and reaches the screen in one copy.
class Indicator : public PaintedControl<IndicatorPainter> {
 public:
  explicit Indicator(QWidget* parent = nullptr);

  int Position() const { return painter_.Position(); }
  QColor Background() const { return painter_.Background(); }
  QColor Foreground() const { return painter_.Foreground(); }

  // Limited to 0..100.
  void SetPosition(int position);
  void SetBackground(const QColor& color);
  void SetForeground(const QColor& color);
};

}  // namespace velmar
