#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <optional>

#include "measure/measurement_state.h"
#include "measure/tick_host.h"

namespace velmar {

// Turns the per-tick rates of one direction into the average the meter
// shows: the last 32 samples, sorted, combined in three bands (the lowest
// 12, the middle 16, the highest 4) as the averaging mode says.
class AveragingEngine {
 public:
  static constexpr uint8_t kUp = 1;
  static constexpr uint8_t kDown = 2;

  // Errors raised inside go to `errors` (the application's handler); the
  // engine then returns what it had computed, 0 if nothing.
  explicit AveragingEngine(MeasurementState& state, TickErrors* errors = nullptr)
      : state_(state), errors_(errors) {}

  // The average in bytes per second, or 0 when there is none. Lets the
  // message queue run as it goes; when measurement has been stopped
  // meanwhile, returns 0 at once.
  float ComputeAverage(uint8_t direction, float sample);

 private:
  using Window = std::array<float, 32>;

  float Compute(Window& window, float& highWater, float sample);
  // Shifts the sample in, raising the high-water mark; the number of
  // positive samples then in the window, or none when measurement stopped.
  std::optional<int> ShiftIn(Window& window, float& highWater, float sample);
  // The positive samples in ascending order (zeros after them), or none
  // when measurement stopped.
  std::optional<Window> SortedPositives(const Window& window);
  // The bands of the sorted samples combined as the averaging mode says.
  float CombineBands(const Window& sorted) const;
  bool Stopped() const { return !state_.AnalysisActive; }

  MeasurementState& state_;
  TickErrors* errors_;
};

}  // namespace velmar
