#include "measure/widgets/indicator.h"

namespace velmar {

Indicator::Indicator(QWidget* parent) : PaintedControl(parent) {}

void Indicator::SetPosition(int position) {
  RepaintIf(painter_.SetPosition(position));
}

void Indicator::SetBackground(const QColor& color) {
  RepaintIf(painter_.SetBackground(color));
}

void Indicator::SetForeground(const QColor& color) {
  RepaintIf(painter_.SetForeground(color));
}

}  // namespace velmar
