#include "measure/widgets/lcd_display.h"

namespace velmar {

LcdDisplay::LcdDisplay(QWidget* parent) : PaintedControl(parent) {}

void LcdDisplay::SetNumDigits(int numDigits) {
  RepaintIf(painter_.SetNumDigits(numDigits));
}

void LcdDisplay::SetValue(int value) {
  RepaintIf(painter_.SetValue(value));
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

}  // namespace velmar
