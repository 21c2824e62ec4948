#include "graph/graph_feeder.h"

#include <array>
#include <cmath>

#include "platform/message_queue.h"

namespace velmar {

namespace {

const QString kUp = QStringLiteral("Up");
const QString kUpAvg = QStringLiteral("UpAvg");
const QString kDown = QStringLiteral("Down");
const QString kDwnAvg = QStringLiteral("DwnAvg");

bool HoldsLivePoints(const ChartSeries& s) {
  return s.Count() == GraphFeeder::kLivePoints && s.Label(0) == kUp && s.Label(1) == kUpAvg &&
         s.Label(2) == kDown && s.Label(3) == kDwnAvg;
}

// Empty, the first feed's 16 points or all 32, alternating up and down.
bool HoldsHistoryPoints(const ChartSeries& s) {
  const int n = s.Count();
  if (n != 0 && n != GraphFeeder::kHistoryPoints / 2 && n != GraphFeeder::kHistoryPoints) {
    return false;
  }
  for (int i = 0; i < n; ++i) {
    if (s.Label(i) != (i % 2 == 0 ? kUpAvg : kDwnAvg)) {
      return false;
    }
  }
  return true;
}

double Digits(const ResultDisplays& displays, Display display) {
  return static_cast<double>(displays.Value(display));
}

// Window samples are bytes per second; the history shows them in kilobits
// of 1024 bits whatever the kilobit setting.
double HistoryKbps(float bytesPerSecond) {
  return static_cast<double>(bytesPerSecond) * 8.0 / 1024.0;
}

}  // namespace

void GraphFeeder::Attach(GraphChart* target) {
  target_ = target;
  ++attachment_;
}

void GraphFeeder::ScaleLeftAxis(Chart3D& chart, double scale) {
  chart.LeftAxis.Automatic = false;
  if (scale > 0) {
    chart.LeftAxis.Maximum = scale;
  } else {
    chart.LeftAxis.Automatic = true;
  }
  if (chart.LeftAxis.Maximum == 0) {
    chart.LeftAxis.Automatic = true;
  }
}

void GraphFeeder::NameUnit(const DisplayUnit& unit) {
  const QString title =
      GraphChart::kTitle.left(GraphChart::kTitle.lastIndexOf(' ') + 1) + unit.Name();
  QStringList& lines = target_->Chart.TitleLines;
  if (lines.size() == 1 && lines[0] != title) {
    lines[0] = title;
  }
}

void GraphFeeder::Feed(const MeasurementState& state, const ResultDisplays& displays, int scale,
                       const DisplayUnit& unit) {
  // A feed that runs the message queue may meet a nested publication; the
  // outer one finishes the chart.
  if (target_ == nullptr || busy_) {
    return;
  }
  NameUnit(unit);
  const double kbitPerUnit = unit.KbitPerUnit(state.KilobitMode);
  const double unitScale = std::round(scale / kbitPerUnit);
  if (GraphMode == 1) {
    // In kbit/s the averages' hundredths were always left out; in larger
    // units they carry the figure.
    FeedLive(displays, unitScale, unit.Current() != DisplayUnit::kKilo);
  } else if (GraphMode == 2 && !state.AlarmToggle) {
    busy_ = true;
    try {
      FeedHistory(state, kbitPerUnit);
    } catch (...) {
      busy_ = false;
      throw;
    }
    busy_ = false;
  }
}

void GraphFeeder::FeedLive(const ResultDisplays& displays, double scale,
                           bool withAverageHundredths) {
  Chart3D& chart = target_->Chart;
  chart.BottomAxis.Maximum = kLivePoints;
  chart.MaxPointsPerPage = kLivePoints;
  ScaleLeftAxis(chart, scale);
  // The history switches the hint off; live data has it again.
  chart.ShowHint = true;
  const double avgFraction = withAverageHundredths ? 1.0 / 100.0 : 0.0;
  const std::array<double, kLivePoints> values = {
      Digits(displays, Display::UpDigits) + Digits(displays, Display::UpDigits2) / 100.0,
      Digits(displays, Display::UpAvgDigits) +
          Digits(displays, Display::UpAvgDigits2) * avgFraction,
      Digits(displays, Display::DownDigits) + Digits(displays, Display::DownDigits2) / 100.0,
      Digits(displays, Display::DownAvgDigits) +
          Digits(displays, Display::DownAvgDigits2) * avgFraction};
  ChartSeries& series = target_->ActiveSeries();
  if (!HoldsLivePoints(series)) {
    series.Clear();
    series.Add(values[0], kUp, QColor(0, 255, 0));
    series.Add(values[1], kUpAvg, QColor(0, 128, 0));
    series.Add(values[2], kDown, QColor(255, 0, 0));
    series.Add(values[3], kDwnAvg, QColor(128, 0, 0));
  } else {
    for (int i = 0; i < kLivePoints; ++i) {
      series.SetValue(i, values[static_cast<size_t>(i)]);
    }
  }
  target_->NotifyChanged();
}

void GraphFeeder::FeedHistory(const MeasurementState& state, double kbitPerUnit) {
  GraphChart* target = target_;
  const unsigned attachment = attachment_;
  Chart3D& chart = target->Chart;
  chart.BottomAxis.Maximum = kHistoryPoints;
  chart.MaxPointsPerPage = kHistoryPoints;
  chart.ShowHint = false;
  // The axis follows the averages shown. The speeds' high-water mark stays
  // at an old peak long after the averages fell, which laid every bar flat.
  chart.LeftAxis.Automatic = true;

  ChartSeries* series = &target->ActiveSeries();
  if (!HoldsHistoryPoints(*series)) {
    series->Clear();
  }
  const bool full = series->Count() == kHistoryPoints;
  if (full) {
    for (int p = 0; p < kHistoryPoints / 2; ++p) {
      series->SetValue(p, series->Value(p + kHistoryPoints / 2));
    }
  }
  for (int pass = 0; pass < 8; ++pass) {
    const size_t i = static_cast<size_t>(pass) * 4;
    const double up = HistoryKbps(state.UpWindow[i]) / kbitPerUnit;
    const double down = HistoryKbps(state.DownWindow[i]) / kbitPerUnit;
    if (full) {
      series->SetValue(kHistoryPoints / 2 + 2 * pass, up);
      series->SetValue(kHistoryPoints / 2 + 2 * pass + 1, down);
    } else {
      series->Add(up, kUpAvg, QColor(0, 255, 0));
      series->Add(down, kDwnAvg, QColor(255, 0, 0));
    }
    const int count = series->Count();
    target->NotifyChanged();
    MessageQueue::RunIfDue();
    // While the queue ran, the window may have closed, the style changed
    // (emptying another series) or the mode changed: the rest of this feed
    // would land in the wrong places, and the next feed starts afresh.
    if (attachment_ != attachment || GraphMode != 2 || &target->ActiveSeries() != series ||
        series->Count() != count) {
      return;
    }
  }
}

}  // namespace velmar
