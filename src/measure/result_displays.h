#pragma once

#include <cstdint>

#include "measure/display_unit.h"

namespace velmar {

// The speed displays, indicators and the total that a publication writes.
enum class Display {
  DownDigits,
  DownDigits2,
  UpDigits,
  UpDigits2,
  DownAvgDigits,
  DownAvgDigits2,
  UpAvgDigits,
  UpAvgDigits2,
  DownIndicator,
  UpIndicator,
  AvgIndicator,
  TrafficLCD,
};

// The four average displays (whole part and hundredths of each direction).
inline constexpr Display kAverageDisplays[] = {Display::DownAvgDigits, Display::DownAvgDigits2,
                                               Display::UpAvgDigits, Display::UpAvgDigits2};

class ResultDisplays {
 public:
  virtual ~ResultDisplays() = default;
  virtual void SetValue(Display display, int64_t value) = 0;
  virtual int64_t Value(Display display) const = 0;
  // Repaints the eleven speed and indicator controls at once.
  virtual void Redraw() = 0;
  // The four speed displays now show `unit`; the values that follow are in
  // it.
  virtual void ShowSpeedUnit(const DisplayUnit& unit) { (void)unit; }
};

// Displays that only remember their values: the headless meter's, and a
// test's.
class StoredDisplays : public ResultDisplays {
 public:
  void SetValue(Display display, int64_t value) override {
    values_[static_cast<int>(display)] = value;
  }
  int64_t Value(Display display) const override { return values_[static_cast<int>(display)]; }
  void Redraw() override { ++redraws_; }
  int Redraws() const { return redraws_; }

 private:
  int64_t values_[12] = {};
  int redraws_ = 0;
};

}  // namespace velmar
