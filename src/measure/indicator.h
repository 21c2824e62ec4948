#pragma once

#include <QWidget>

#include "indicator_painter.h"

namespace velmar {

// A vertical bar graph of a percentage. Takes no input; the picture comes
// from IndicatorPainter and reaches the screen in one copy.
class TIndicator : public QWidget {
 public:
  explicit TIndicator(QWidget* parent = nullptr);

  int Position() const { return painter_.Position(); }
  QColor Background() const { return painter_.Background(); }
  QColor Foreground() const { return painter_.Foreground(); }

  // Limited to 0..100.
  void SetPosition(int position);
  void SetBackground(const QColor& color);
  void SetForeground(const QColor& color);

  const IndicatorPainter& Painter() const { return painter_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void RepaintIf(bool changed);

  IndicatorPainter painter_;
};

}  // namespace velmar
