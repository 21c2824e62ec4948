#include "lcd_display.h"

#include <QPainter>
#include <QResizeEvent>

namespace velmar {

TLcdDisplay::TLcdDisplay(QWidget* parent) : QWidget(parent) {
  // Every pixel comes from the off-screen picture, so Qt need not clear first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
  resize(LcdDisplayPainter::kDefaultWidth, LcdDisplayPainter::kDefaultHeight);
  painter_.SetSize(size());
}

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

void TLcdDisplay::RepaintIf(bool changed) {
  if (changed) {
    update();
  }
}

void TLcdDisplay::paintEvent(QPaintEvent*) {
  // A widget resized while hidden gets its resize event only when shown.
  painter_.SetSize(size());
  const QImage& image = painter_.Render();
  if (image.isNull()) {
    return;
  }
  QPainter(this).drawImage(0, 0, image);
}

void TLcdDisplay::resizeEvent(QResizeEvent* event) {
  painter_.SetSize(event->size());
  QWidget::resizeEvent(event);
}

}  // namespace velmar
