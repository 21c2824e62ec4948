#pragma once

#include <cstdint>
#include <exception>
#include <functional>

#include "measure/measurement_state.h"

namespace velmar {

// Turns the per-tick rates of one direction into the average the meter
// shows: the last 32 samples, sorted, combined in three bands (the lowest
// 12, the middle 16, the highest 4) as the averaging mode says.
class AveragingEngine {
 public:
  static constexpr uint8_t kUp = 1;
  static constexpr uint8_t kDown = 2;

  explicit AveragingEngine(MeasurementState& state) : state_(state) {}

  // The average in bytes per second, or 0 when there is none. Lets the
  // message queue run as it goes; when measurement has been stopped
  // meanwhile, returns 0 at once.
  float ComputeAverage(uint8_t direction, float sample);

  // Errors raised inside go here (the application's handler); the engine
  // then returns what it had computed, 0 if nothing.
  std::function<void(const std::exception&)> OnError;

 private:
  float Compute(std::array<float, 32>& window, float& highWater, float sample);
  bool Stopped() const { return !state_.AnalysisActive; }

  MeasurementState& state_;
};

}  // namespace velmar
