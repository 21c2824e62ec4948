#pragma once

#include <QColor>
#include <QLabel>
#include <QPushButton>
#include <QString>

#include "measure/widgets/lcd_display.h"

namespace velmar {

// Small builders the main window's parts share: controls at fixed places,
// as the window's layout has always been.

template <typename W>
W* Place(W* widget, int x, int y, int w, int h) {
  widget->setGeometry(x, y, w, h);
  return widget;
}

inline QLabel* FixedLabel(QWidget* parent, const QString& text, int x, int y, int w, int h,
                          Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* label = Place(new QLabel(text, parent), x, y, w, h);
  label->setAlignment(align);
  return label;
}

inline QPushButton* FixedButton(QWidget* parent, const QString& name, const QString& caption,
                                const QString& hint, int x, int y, int w, int h) {
  auto* button = Place(new QPushButton(caption, parent), x, y, w, h);
  button->setObjectName(name);
  button->setToolTip(hint);
  return button;
}

// The displays' lit segments: yellow for whole numbers, the controls' own
// lime for the hundredths beside them.
inline const QColor kDigitsLit{255, 255, 0};
inline const QColor kHundredthsLit{0, 255, 0};

// A seven-segment display of `digits` cells of `cell` pixels, lit in `lit`.
inline LcdDisplay* Digits(QWidget* parent, const QString& name, int digits, int x, int y, int cell,
                          int height, const QColor& lit = kDigitsLit) {
  auto* lcd = new LcdDisplay(parent);
  lcd->setObjectName(name);
  lcd->SetNumDigits(digits);
  lcd->SetDigitWidth(cell - 4);
  lcd->SetDigitHeight(height - 6);
  lcd->SetDigitLineWidth(height >= 28 ? 4 : 3);
  // Dark glass with dim unlit segments of the lit colour reads better at
  // this size than the controls' olive defaults.
  lcd->SetBackgroundColor(QColor(30, 32, 16));
  lcd->SetLightOnColor(lit);
  lcd->SetLightOffColor(QColor(30 + lit.red() / 6, 32 + lit.green() / 6, 16 + lit.blue() / 6));
  lcd->setGeometry(x, y, digits * cell, height);
  return lcd;
}

}  // namespace velmar
