#include "indicator.h"

namespace velmar {

TIndicator::TIndicator(QWidget* parent) : PaintedControl(parent) {}

void TIndicator::SetPosition(int position) {
  RepaintIf(painter_.SetPosition(position));
}

void TIndicator::SetBackground(const QColor& color) {
  RepaintIf(painter_.SetBackground(color));
}

void TIndicator::SetForeground(const QColor& color) {
  RepaintIf(painter_.SetForeground(color));
}

}  // namespace velmar
