#pragma once

#include <QString>

namespace velmar {

// The unit of the speed displays. Five whole digits hold 99,999 of a
// unit: while every speed shown fits, the displays stay in kbit/s; a speed
// that no longer fits moves them all to Mbit/s, then Gbit/s (each unit is
// 1000 or 1024 of the one below, as the kilobit setting says). They come
// back to the smaller unit only when every speed fits it with a fifth to
// spare, so a speed near the border does not make them flicker.
class DisplayUnit {
 public:
  enum Power { kKilo = 0, kMega = 1, kGiga = 2 };
  // A value shown as 99,999.995 or more rounds to 100,000.00: six digits.
  static constexpr double kCapacity = 99999.995;
  static constexpr double kReturnBelow = 80000.0;

  // Chooses the unit for the largest speed about to be shown (kbit/s);
  // true when the unit changed.
  bool Update(double largestKbps, int kilobitMode);
  Power Current() const { return power_; }
  // Kilobits in one unit.
  double KbitPerUnit(int kilobitMode) const;
  double FromKbps(double kbps, int kilobitMode) const { return kbps / KbitPerUnit(kilobitMode); }
  // The caption between the displays: "Kb/s.", "Mb/s." or "Gb/s.".
  QString Caption() const;
  // As the graph's title names it: "kbit/s", "Mbit/s" or "Gbit/s".
  QString Name() const;
  // As the displays' hints spell it: "KiloBits per second", "MegaBits per
  // second" or "GigaBits per second".
  QString LongName() const;
  // A display's hint, written for kbit/s, saying this unit instead.
  QString InHint(QString kilobitHint) const;

 private:
  Power power_ = kKilo;
};

}  // namespace velmar
