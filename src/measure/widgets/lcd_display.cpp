#include "measure/widgets/lcd_display.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace velmar {

LcdDisplay::LcdDisplay(QWidget* parent) : PaintedControl(parent) {
  InstallReadoutAccessibility();
}

LcdDisplay::~LcdDisplay() = default;

void LcdDisplay::SetNumDigits(int numDigits) {
  RepaintIf(painter_.SetNumDigits(numDigits));
}

void LcdDisplay::SetValue(int value) {
  if (!painter_.SetValue(value)) {
    return;
  }
  update();
  emit valueChanged();
  if (announcer_ != nullptr) {
    announcer_->Changed();
  }
}

void LcdDisplay::SetDigitHeight(int height) {
  RepaintIf(painter_.SetDigitHeight(height));
}

void LcdDisplay::SetDigitWidth(int width) {
  RepaintIf(painter_.SetDigitWidth(width));
}

void LcdDisplay::SetDigitLineWidth(int width) {
  RepaintIf(painter_.SetDigitLineWidth(width));
}

void LcdDisplay::SetBackgroundColor(const QColor& color) {
  RepaintIf(painter_.SetBackgroundColor(color));
}

void LcdDisplay::SetLightOnColor(const QColor& color) {
  RepaintIf(painter_.SetLightOnColor(color));
}

void LcdDisplay::SetLightOffColor(const QColor& color) {
  RepaintIf(painter_.SetLightOffColor(color));
}

void LcdDisplay::SetReadoutUnit(const QString& unit) {
  unit_ = unit;
  if (announcer_ == nullptr) {
    announcer_ = std::make_unique<ValueAnnouncer>(*this, *this);
  }
}

QString LcdDisplay::ReadoutText() const {
  const QString number = QLocale().toString(Value());
  return unit_.isEmpty() ? number : number + QLatin1Char(' ') + unit_;
}

double LcdDisplay::ReadoutMaximum() const {
  return std::pow(10.0, std::clamp(NumDigits(), 0, 18)) - 1;
}

}  // namespace velmar
