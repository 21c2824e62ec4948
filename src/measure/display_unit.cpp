#include "measure/display_unit.h"

#include "config/kilobit.h"

namespace velmar {

double DisplayUnit::KbitPerUnit(int kilobitMode) const {
  double factor = 1;
  for (int p = 0; p < power_; ++p) {
    factor *= BitsPerKilobit(kilobitMode);
  }
  return factor;
}

bool DisplayUnit::Update(double largestKbps, int kilobitMode) {
  const Power before = power_;
  const double step = BitsPerKilobit(kilobitMode);
  while (power_ < kGiga && FromKbps(largestKbps, kilobitMode) >= kCapacity) {
    power_ = static_cast<Power>(power_ + 1);
  }
  while (power_ > kKilo && FromKbps(largestKbps, kilobitMode) * step < kReturnBelow) {
    power_ = static_cast<Power>(power_ - 1);
  }
  return power_ != before;
}

QString DisplayUnit::Caption() const {
  switch (power_) {
    case kMega:
      return QStringLiteral("Mb/s.");
    case kGiga:
      return QStringLiteral("Gb/s.");
    default:
      return QStringLiteral("Kb/s.");
  }
}

QString DisplayUnit::Name() const {
  switch (power_) {
    case kMega:
      return QStringLiteral("Mbit/s");
    case kGiga:
      return QStringLiteral("Gbit/s");
    default:
      return QStringLiteral("kbit/s");
  }
}

QString DisplayUnit::LongName() const {
  switch (power_) {
    case kMega:
      return QStringLiteral("MegaBits per second");
    case kGiga:
      return QStringLiteral("GigaBits per second");
    default:
      return QStringLiteral("KiloBits per second");
  }
}

QString DisplayUnit::InHint(QString kilobitHint) const {
  return kilobitHint.replace(DisplayUnit().LongName(), LongName());
}

}  // namespace velmar
