#pragma once

#include <QString>
#include <QWidget>

#include "measure/widgets/lcd_display.h"
#include "platform/widgets/readout.h"

namespace velmar {

// A speed as the meter shows it: the whole digits, a point and the
// hundredths, in the unit the caption between the displays names. A screen
// reader hears it as one control with a name and a value ("Downstream
// speed", "25,672.10 Mb/s"), told at most once a second as it changes.
class SpeedReadout : public QWidget, public Readout {
 public:
  static constexpr double kMaximum = 99999.99;

  explicit SpeedReadout(QWidget* parent = nullptr);

  // The two displays, children of this control, that make the value.
  void SetDisplays(LcdDisplay* whole, LcdDisplay* hundredths);
  // The unit the value is read with ("Kb/s", "Mb/s", "Gb/s").
  void SetUnit(const QString& unit);
  QString Unit() const { return unit_; }

  // Readout
  QString ReadoutText() const override;
  double ReadoutValue() const override;
  double ReadoutMaximum() const override { return kMaximum; }

 private:
  LcdDisplay* whole_ = nullptr;
  LcdDisplay* hundredths_ = nullptr;
  QString unit_;
  ValueAnnouncer announcer_{*this, *this};
};

}  // namespace velmar
