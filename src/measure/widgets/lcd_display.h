#pragma once

#include <QString>
#include <memory>

#include "measure/paint/lcd_display_painter.h"
#include "measure/widgets/painted_control.h"
#include "platform/widgets/readout.h"

namespace velmar {

// A row of seven-segment digits showing a whole number. Takes no input; the
// picture comes from LcdDisplayPainter and reaches the screen in one copy.
// A display with a unit speaks for itself to screen readers (its accessible
// name, then "1,234 KBytes"); one that is part of a larger readout leaves
// that to the readout and tells it of every change.
class LcdDisplay : public PaintedControl<LcdDisplayPainter>, public Readout {
  Q_OBJECT

 public:
  explicit LcdDisplay(QWidget* parent = nullptr);
  ~LcdDisplay() override;

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

  // The unit its value is read with; from then on changes are announced.
  void SetReadoutUnit(const QString& unit);
  // Readout
  QString ReadoutText() const override;
  double ReadoutValue() const override { return Value(); }
  double ReadoutMaximum() const override;

 signals:
  // After every change of the value (for the readout it is part of).
  void valueChanged();

 private:
  QString unit_;
  std::unique_ptr<ValueAnnouncer> announcer_;
};

}  // namespace velmar
