#pragma once

#include <cstdint>

#include "graph/graph_chart.h"
#include "measure/result_publisher.h"

namespace velmar {

// Puts the meter's values into the graph window's active series on every
// publication: live data (`GraphMode` 1) or the averages history (2).
//
// Live data: four points "Up", "UpAvg", "Down", "DwnAvg" taken from the
// displays, added when the series does not hold exactly those four and
// updated in place otherwise. The values, the left axis and the title are
// in the displays' unit.
//
// Averages history, on every second publication, on an automatic left axis
// that follows the values shown: eight passes over window
// positions 0, 4, ..., 28, each a pair of points ("UpAvg", "DwnAvg") in
// kilobits of 1024 bits, with the message queue run after each pass. The
// first feed appends points 0 to 15, the second 16 to 31. Once the series
// holds 32 points, a feed first moves points 16 to 31 (the previous feed)
// to 0 to 15 and its passes then replace points 16 + 2k (up) and
// 17 + 2k (down) with window position 4k: the left half always shows the
// previous feed and the right half the newest, just as after the two
// feeds that filled the chart, so every even point stays an upstream value
// and every odd point a downstream one.
//
// A series in the other mode's layout (the mode was switched while the
// window was open) is emptied and filled afresh.
class GraphFeeder : public GraphFeed {
 public:
  static constexpr int kLivePoints = 4;
  static constexpr int kHistoryPoints = 32;

  // What the window shows: 1 live data, 2 averages history, 0 not chosen.
  uint8_t GraphMode = 0;

  // The chart to feed; none while no graph window is open.
  void Attach(GraphChart* target);
  void Detach() { Attach(nullptr); }
  GraphChart* Target() const { return target_; }

  void Feed(const MeasurementState& state, const ResultDisplays& displays, int scale,
            const DisplayUnit& unit) override;

  // The left axis for scale S (in the displays' unit): fixed at S when
  // S > 0, automatic otherwise.
  static void ScaleLeftAxis(Chart3D& chart, double scale);

 private:
  void FeedLive(const ResultDisplays& displays, double scale, bool withAverageHundredths);
  void FeedHistory(const MeasurementState& state, double kbitPerUnit);
  // The title names the unit the values are in.
  void NameUnit(const DisplayUnit& unit);

  GraphChart* target_ = nullptr;
  // Changes with every attach, so a feed that ran the message queue knows
  // whether its chart is still the one being fed.
  unsigned attachment_ = 0;
  bool busy_ = false;
};

}  // namespace velmar
