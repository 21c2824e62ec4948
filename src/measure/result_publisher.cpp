#include "measure/result_publisher.h"

#include "config/program_section.h"

#include <algorithm>
#include <cmath>

#include "config/settings_list.h"

namespace velmar {

namespace {

// Halves go to the even neighbour, as everywhere in the meter.
int64_t Round(double v) {
  return static_cast<int64_t>(std::nearbyint(v));
}

}  // namespace

ResultPublisher::ResultPublisher(MeasurementState& state, AveragingEngine& engine,
                                 ResultDisplays& displays, SettingsList& settings,
                                 TickErrors* errors)
    : state_(state), engine_(engine), displays_(displays), settings_(settings), errors_(errors) {}

double ResultPublisher::Kbps(double bytesPerSecond) const {
  return velmar::Kbps(bytesPerSecond, state_.KilobitMode);
}

void ResultPublisher::SplitKbps(double kbps, int64_t& whole, int64_t& hundredths) {
  whole = static_cast<int64_t>(std::trunc(kbps));
  hundredths = Round((kbps - static_cast<double>(whole)) * 100.0);
  if (hundredths >= 100) {
    whole += 1;
    hundredths -= 100;
  }
}

void ResultPublisher::PublishResults(double up, double down) {
  SectionScope here(state_.ProgramSection, section::kPublish);
  int scale = 0;
  if (Active()) {
    try {
      Publish(up, down, scale);
    } catch (const std::exception& e) {
      if (errors_ != nullptr) {
        errors_->HandleException(e);
      }
    }
  }
  displays_.Redraw();
  settings_.SetLine(SettingsLine::kTrafficTotal,
                    QString::number(displays_.Value(Display::TrafficLCD)));
}

void ResultPublisher::Publish(double up, double down, int& scale) {
  state_.AlarmToggle = !state_.AlarmToggle;

  const float high = std::max(state_.UpHighWater, state_.DownHighWater);
  scale = high > 0 ? static_cast<int>(Round(Kbps(high))) : 0;

  SectionScope here(state_.ProgramSection, section::kPublishUpAverage);
  int64_t upPercent = 0;
  if (up > 0) {
    upPercent = PercentOfScale(up, scale);
    state_.UpAverage = engine_.ComputeAverage(AveragingEngine::kUp, static_cast<float>(up));
  }
  here.Step(section::kPublishDownAverage);
  int64_t downPercent = 0;
  if (down > 0) {
    downPercent = PercentOfScale(down, scale);
    state_.DownAverage = engine_.ComputeAverage(AveragingEngine::kDown, static_cast<float>(down));
  }

  const bool still = CountIdleTime(up, down);
  if (state_.AlarmToggle && alarms_ != nullptr) {
    alarms_->EvaluateAlarms(static_cast<float>(up), static_cast<float>(down));
  }

  here.Step(section::kPublishStill);
  if (Active() && still) {
    CountStillTick();
    return;
  }
  state_.UnchangedTicks = 0;
  state_.LastUpRate = static_cast<float>(up);
  state_.LastDownRate = static_cast<float>(down);

  const int64_t avgPercent = AveragePercent(scale);
  if (Active()) {
    here.Step(section::kPublishSpeeds);
    ShowSpeeds(down, up);
    here.Step(section::kPublishIndicators);
    displays_.SetValue(Display::UpIndicator, upPercent);
    displays_.SetValue(Display::DownIndicator, downPercent);
    displays_.SetValue(Display::AvgIndicator, avgPercent);
  }
  FeedGraph(scale);

  here.Step(section::kPublishTotal);
  displays_.SetValue(Display::TrafficLCD,
                     state_.TotalTraffic <= 1 ? 0 : Round(state_.TotalTraffic / 1024.0));
}

int64_t ResultPublisher::PercentOfScale(double rate, int scale) const {
  const double kbps = Kbps(rate);
  return scale > 0 && kbps > 0 ? Round(100.0 * kbps / scale) : 0;
}

bool ResultPublisher::CountIdleTime(double up, double down) {
  // A direction stands still when its rate is 0 again. (A rate equals the
  // last one only if single precision holds it exactly.) A steady non-zero
  // rate, which a rate-limited download produces tick after tick, is
  // traffic, not stillness: it must neither blank the displays nor count
  // as idle time for the alarms.
  SectionScope here(state_.ProgramSection, section::kPublishIdle);
  const bool downSame = down <= 0 && down == static_cast<double>(state_.LastDownRate);
  const bool upSame = up <= 0 && up == static_cast<double>(state_.LastUpRate);
  state_.DownIdleMs = downSame ? state_.DownIdleMs + kTickIntervalMs : 0;
  state_.UpIdleMs = upSame ? state_.UpIdleMs + kTickIntervalMs : 0;
  return downSame && upSame;
}

void ResultPublisher::CountStillTick() {
  ++state_.UnchangedTicks;
  if (state_.UnchangedTicks < kStillTicks) {
    return;
  }
  if (!state_.AverageLock) {
    state_.UpWindow.fill(0);
    state_.DownWindow.fill(0);
    state_.UpHighWater = 0;
    state_.DownHighWater = 0;
    state_.UpAverage = 0;
    state_.DownAverage = 0;
    for (Display d : kAverageDisplays) {
      displays_.SetValue(d, 0);
    }
  }
  state_.UnchangedTicks = 0;
  for (Display d : {Display::DownIndicator, Display::UpIndicator, Display::DownDigits,
                    Display::UpDigits, Display::DownDigits2, Display::UpDigits2}) {
    displays_.SetValue(d, 0);
  }
  state_.EmailLatch = false;
}

int64_t ResultPublisher::AveragePercent(int scale) {
  SectionScope here(state_.ProgramSection, section::kPublishAverageSum);
  float sum = 0;
  int count = 0;
  for (float average : {state_.UpAverage, state_.DownAverage}) {
    if (average > 0) {
      sum += average;
      ++count;
    }
  }
  if (count == 0) {
    return 0;
  }
  here.Step(section::kPublishAverageMean);
  const float m = static_cast<float>(sum * 8.0f / BitsPerKilobit(state_.KilobitMode) / count);
  const int64_t h = Round(scale / 2.0);
  here.Step(section::kPublishAveragePercent);
  return m > 0 && h > 0 ? Round(100.0 * m / static_cast<double>(h)) : 0;
}

void ResultPublisher::FeedGraph(int scale) {
  if (Graph == nullptr) {
    return;
  }
  SectionScope here(state_.ProgramSection, section::kPublishGraph);
  try {
    Graph->Feed(state_, displays_, scale, unit_);
  } catch (const std::exception&) {
    // The graph window is only a view; the meter goes on without it.
  }
}

double ResultPublisher::ShownKbps(Display whole, Display hundredths) const {
  const double shown = static_cast<double>(displays_.Value(whole)) +
                       static_cast<double>(displays_.Value(hundredths)) / 100.0;
  return shown * unit_.KbitPerUnit(state_.KilobitMode);
}

void ResultPublisher::ShowSpeeds(double down, double up) {
  struct Pair {
    double kbps;
    bool update;
    Display whole;
    Display hundredths;
  };
  // A rate under one kilobit leaves its display as it was; the averages
  // are always shown.
  Pair pairs[] = {
      {Kbps(down), false, Display::DownDigits, Display::DownDigits2},
      {Kbps(up), false, Display::UpDigits, Display::UpDigits2},
      {Kbps(state_.DownAverage), true, Display::DownAvgDigits, Display::DownAvgDigits2},
      {Kbps(state_.UpAverage), true, Display::UpAvgDigits, Display::UpAvgDigits2},
  };
  double largest = 0;
  for (Pair& pair : pairs) {
    if (!pair.update) {
      pair.update = std::trunc(pair.kbps) > 0;
      if (!pair.update) {
        pair.kbps = ShownKbps(pair.whole, pair.hundredths);
      }
    }
    largest = std::max(largest, pair.kbps);
  }
  const bool changed = unit_.Update(largest, state_.KilobitMode);
  if (changed) {
    displays_.ShowSpeedUnit(unit_);
  }
  for (const Pair& pair : pairs) {
    // A display kept from an earlier tick is shown again in the new unit.
    if (pair.update || changed) {
      int64_t w = 0;
      int64_t h = 0;
      SplitKbps(unit_.FromKbps(pair.kbps, state_.KilobitMode), w, h);
      if (w > 99999) {  // past 99,999 Gbit/s: the most five digits hold
        w = 99999;
        h = 99;
      }
      displays_.SetValue(pair.whole, w);
      displays_.SetValue(pair.hundredths, h);
    }
  }
}

}  // namespace velmar
