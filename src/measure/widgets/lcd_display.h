#pragma once

#include "measure/paint/lcd_display_painter.h"
#include "measure/widgets/painted_control.h"

namespace velmar {

// A row of seven-segment digits showing a whole number. Takes no input; the
// picture comes from LcdDisplayPainter and reaches the screen in one copy.
class LcdDisplay : public PaintedControl<LcdDisplayPainter> {
 public:
  explicit LcdDisplay(QWidget* parent = nullptr);

  int NumDigits() const { return painter_.NumDigits(); }
  int Value() const { return painter_.Value(); }
  int DigitHeight() const { return painter_.DigitHeight(); }
  int DigitWidth() const { return painter_.DigitWidth(); }
  int DigitLineWidth() const { return painter_.DigitLineWidth(); }
  QColor BackgroundColor() const { return painter_.BackgroundColor(); }
  QColor LightOnColor() const { return painter_.LightOnColor(); }
  QColor LightOffColor() const { return painter_.LightOffColor(); }

  void SetNumDigits(int numDigits);
  void SetValue(int value);
  void SetDigitHeight(int height);
  void SetDigitWidth(int width);
  void SetDigitLineWidth(int width);
  void SetBackgroundColor(const QColor& color);
  void SetLightOnColor(const QColor& color);
  void SetLightOffColor(const QColor& color);
};

}  // namespace velmar
