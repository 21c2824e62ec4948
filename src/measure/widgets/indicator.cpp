#include "measure/widgets/indicator.h"

#include <QLocale>

namespace velmar {

Indicator::Indicator(QWidget* parent) : PaintedControl(parent) {
  InstallReadoutAccessibility();
}

void Indicator::SetPosition(int position) {
  if (!painter_.SetPosition(position)) {
    return;
  }
  update();
  announcer_.Changed();
}

void Indicator::SetBackground(const QColor& color) {
  RepaintIf(painter_.SetBackground(color));
}

void Indicator::SetForeground(const QColor& color) {
  RepaintIf(painter_.SetForeground(color));
}

QString Indicator::ReadoutText() const {
  const QLocale locale;
  return locale.toString(Position()) + locale.percent();
}

}  // namespace velmar
