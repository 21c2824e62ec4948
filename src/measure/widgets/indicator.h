#pragma once

#include "measure/paint/indicator_painter.h"
#include "measure/widgets/painted_control.h"
#include "platform/widgets/readout.h"

namespace velmar {

// A vertical bar graph of a percentage. Takes no input; the picture comes
// from IndicatorPainter and reaches the screen in one copy. Screen readers
// read it as a progress bar of 0 to 100 %.
class Indicator : public PaintedControl<IndicatorPainter>, public Readout {
 public:
  explicit Indicator(QWidget* parent = nullptr);

  int Position() const { return painter_.Position(); }
  QColor Background() const { return painter_.Background(); }
  QColor Foreground() const { return painter_.Foreground(); }

  // Limited to 0..100.
  void SetPosition(int position);
  void SetBackground(const QColor& color);
  void SetForeground(const QColor& color);

  // Readout
  QString ReadoutText() const override;
  double ReadoutValue() const override { return Position(); }
  double ReadoutMaximum() const override { return 100; }
  QAccessible::Role ReadoutRole() const override { return QAccessible::ProgressBar; }

 private:
  ValueAnnouncer announcer_{*this, *this};
};

}  // namespace velmar
