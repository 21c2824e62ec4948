#pragma once

#include <exception>

#include "measure/averaging_engine.h"
#include "measure/display_unit.h"
#include "measure/measurement_state.h"
#include "measure/result_displays.h"
#include "measure/tick_host.h"

namespace velmar {

class SettingsList;

// The live series of the 3D graph window, fed on every publication while
// that window is open.
class GraphFeed {
 public:
  virtual ~GraphFeed() = default;
  // `scale` is the indicators' full scale in kbit/s; the displays' values
  // are in `unit`.
  virtual void Feed(const MeasurementState& state, const ResultDisplays& displays, int scale,
                    const DisplayUnit& unit) = 0;
};

// The alarm evaluation, run on every second publication with its rates.
class PublicationAlarms {
 public:
  virtual ~PublicationAlarms() = default;
  virtual void EvaluateAlarms(float up, float down) = 0;
};

// The second half of every tick: averages, idle times, alarms, the
// standing-still reset, and the displays.
class ResultPublisher {
 public:
  static constexpr int kTickIntervalMs = 500;
  // 5 seconds of ticks whose rates did not change.
  static constexpr int kStillTicks = 5000 / kTickIntervalMs;

  // Errors raised inside a publication go to `errors` (the application's
  // report); its remaining steps still run.
  ResultPublisher(MeasurementState& state, AveragingEngine& engine, ResultDisplays& displays,
                  SettingsList& settings, TickErrors* errors = nullptr);

  void PublishResults(double up, double down);

  // Null: no alarms.
  void SetAlarms(PublicationAlarms* alarms) { alarms_ = alarms; }
  // Null while no graph window is open.
  GraphFeed* Graph = nullptr;

  // Whole kilobits and hundredths of a speed; a hundredths value that
  // rounds to 100 carries into the whole part (12.996 shows 13.00).
  static void SplitKbps(double kbps, int64_t& whole, int64_t& hundredths);

  const DisplayUnit& Unit() const { return unit_; }

 private:
  void Publish(double up, double down, int& scale);
  // The steps of a publication.
  // A rate in whole percent of the indicators' full scale (kbit/s).
  int64_t PercentOfScale(double rate, int scale) const;
  // Adds the tick to each direction's idle time, or starts it again;
  // true when both directions stand still.
  bool CountIdleTime(double up, double down);
  // Counts a tick of standing still; after kStillTicks of them the
  // displays (and the averages, unless locked) go back to 0.
  void CountStillTick();
  // The mean of the non-zero averages in percent of half the full scale.
  int64_t AveragePercent(int scale);
  void FeedGraph(int scale);
  double Kbps(double bytesPerSecond) const;
  // The speeds on the four displays, chosen the unit for them, and shown.
  void ShowSpeeds(double down, double up);
  // What a display pair shows now, in kbit/s.
  double ShownKbps(Display whole, Display hundredths) const;
  bool Active() const { return state_.AnalysisActive; }

  MeasurementState& state_;
  AveragingEngine& engine_;
  ResultDisplays& displays_;
  SettingsList& settings_;
  TickErrors* errors_;
  PublicationAlarms* alarms_ = nullptr;
  DisplayUnit unit_;
};

}  // namespace velmar
