#include "lcd_display.h"

namespace velmar {

TLcdDisplay::TLcdDisplay(QWidget* parent) : PaintedControl(parent) {}

void TLcdDisplay::SetNumDigits(int numDigits) {
  RepaintIf(painter_.SetNumDigits(numDigits));
}

void TLcdDisplay::SetValue(int value) {
  RepaintIf(painter_.SetValue(value));
}

void TLcdDisplay::SetDigitHeight(int height) {
  RepaintIf(painter_.SetDigitHeight(height));
}

void TLcdDisplay::SetDigitWidth(int width) {
  RepaintIf(painter_.SetDigitWidth(width));
}

void TLcdDisplay::SetDigitLineWidth(int width) {
  RepaintIf(painter_.SetDigitLineWidth(width));
}

void TLcdDisplay::SetBackgroundColor(const QColor& color) {
  RepaintIf(painter_.SetBackgroundColor(color));
}

void TLcdDisplay::SetLightOnColor(const QColor& color) {
  RepaintIf(painter_.SetLightOnColor(color));
}

void TLcdDisplay::SetLightOffColor(const QColor& color) {
  RepaintIf(painter_.SetLightOffColor(color));
}

}  // namespace velmar
