#include "measure/widgets/speed_readout.h"

#include <QLocale>

namespace velmar {

SpeedReadout::SpeedReadout(QWidget* parent) : QWidget(parent) {
  InstallReadoutAccessibility();
}

void SpeedReadout::SetDisplays(LcdDisplay* whole, LcdDisplay* hundredths) {
  whole_ = whole;
  hundredths_ = hundredths;
  for (LcdDisplay* display : {whole_, hundredths_}) {
    connect(display, &LcdDisplay::valueChanged, this, [this] { announcer_.Changed(); });
  }
}

void SpeedReadout::SetUnit(const QString& unit) {
  if (unit != unit_) {
    unit_ = unit;
    announcer_.Changed();
  }
}

QString SpeedReadout::ReadoutText() const {
  if (whole_ == nullptr || hundredths_ == nullptr) {
    return {};
  }
  // Built from the two displays' integers, as they show, not from a
  // floating-point value that might round differently.
  const QLocale locale;
  const QString hundredths =
      QStringLiteral("%1").arg(hundredths_->Value(), 2, 10, QLatin1Char('0')).right(2);
  QString text = locale.toString(whole_->Value()) + locale.decimalPoint() + hundredths;
  if (!unit_.isEmpty()) {
    text += QLatin1Char(' ') + unit_;
  }
  return text;
}

double SpeedReadout::ReadoutValue() const {
  if (whole_ == nullptr || hundredths_ == nullptr) {
    return 0;
  }
  return whole_->Value() + hundredths_->Value() / 100.0;
}

}  // namespace velmar
