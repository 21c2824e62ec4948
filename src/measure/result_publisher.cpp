#include "result_publisher.h"

#include <algorithm>
#include <cmath>

#include "settings_list.h"

namespace velmar {

namespace {

// Halves go to the even neighbour, as everywhere in the meter.
int64_t Round(double v) {
  return static_cast<int64_t>(std::nearbyint(v));
}

}  // namespace

ResultPublisher::ResultPublisher(MeasurementState& state, AveragingEngine& engine,
                                 ResultDisplays& displays, SettingsList& settings)
    : state_(state), engine_(engine), displays_(displays), settings_(settings) {}

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
  state_.ProgramSection = 23;
  int scale = 0;
  if (Active()) {
    try {
      Publish(up, down, scale);
    } catch (const std::exception& e) {
      if (OnError) {
        OnError(e);
      }
    }
  }
  displays_.Redraw();
  settings_.SetLine(7, QString::number(displays_.Value(Display::TrafficLCD)));
}

void ResultPublisher::Publish(double up, double down, int& scale) {
  state_.AlarmToggle = !state_.AlarmToggle;

  const float high = std::max(state_.UpHighWater, state_.DownHighWater);
  scale = high > 0 ? static_cast<int>(Round(Kbps(high))) : 0;

  const auto percent = [&](double rate) -> int64_t {
    const double kbps = Kbps(rate);
    return scale > 0 && kbps > 0 ? Round(100.0 * kbps / scale) : 0;
  };
  state_.ProgramSection = 231;
  int64_t upPercent = 0;
  if (up > 0) {
    upPercent = percent(up);
    state_.UpAverage = engine_.ComputeAverage(AveragingEngine::kUp, static_cast<float>(up));
  }
  state_.ProgramSection = 232;
  int64_t downPercent = 0;
  if (down > 0) {
    downPercent = percent(down);
    state_.DownAverage = engine_.ComputeAverage(AveragingEngine::kDown, static_cast<float>(down));
  }

  // A direction stands still when its rate is 0 again. (A rate equals the
  // last one only if single precision holds it exactly.) A steady non-zero
  // rate, which a rate-limited download produces tick after tick, is
  // traffic, not stillness: it must neither blank the displays nor count
  // as idle time for the alarms.
  state_.ProgramSection = 234;
  const bool downSame = down <= 0 && down == static_cast<double>(state_.LastDownRate);
  const bool upSame = up <= 0 && up == static_cast<double>(state_.LastUpRate);
  state_.DownIdleMs = downSame ? state_.DownIdleMs + kTickIntervalMs : 0;
  state_.UpIdleMs = upSame ? state_.UpIdleMs + kTickIntervalMs : 0;

  if (state_.AlarmToggle && EvaluateAlarms) {
    EvaluateAlarms(static_cast<float>(up), static_cast<float>(down));
  }

  state_.ProgramSection = 235;
  if (Active() && downSame && upSame) {
    ++state_.UnchangedTicks;
    if (state_.UnchangedTicks >= kStillTicks) {
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
    return;
  }
  state_.UnchangedTicks = 0;
  state_.LastUpRate = static_cast<float>(up);
  state_.LastDownRate = static_cast<float>(down);

  state_.ProgramSection = 236;
  float sum = 0;
  int count = 0;
  for (float average : {state_.UpAverage, state_.DownAverage}) {
    if (average > 0) {
      sum += average;
      ++count;
    }
  }
  int64_t avgPercent = 0;
  if (count > 0) {
    state_.ProgramSection = 237;
    const float m = static_cast<float>(sum * 8.0f / BitsPerKilobit(state_.KilobitMode) / count);
    const int64_t h = Round(scale / 2.0);
    state_.ProgramSection = 238;
    avgPercent = m > 0 && h > 0 ? Round(100.0 * m / static_cast<double>(h)) : 0;
  }

  if (Active()) {
    state_.ProgramSection = 239;
    const auto showSpeed = [&](double rate, Display whole, Display hundredths) {
      const double kbps = Kbps(rate);
      if (std::trunc(kbps) > 0) {
        int64_t w = 0;
        int64_t h = 0;
        SplitKbps(kbps, w, h);
        displays_.SetValue(whole, w);
        displays_.SetValue(hundredths, h);
      }
    };
    showSpeed(down, Display::DownDigits, Display::DownDigits2);
    showSpeed(up, Display::UpDigits, Display::UpDigits2);
    state_.ProgramSection = 240;
    displays_.SetValue(Display::UpIndicator, upPercent);
    displays_.SetValue(Display::DownIndicator, downPercent);
    displays_.SetValue(Display::AvgIndicator, avgPercent);
    const auto showAverage = [&](float average, Display whole, Display hundredths) {
      int64_t w = 0;
      int64_t h = 0;
      SplitKbps(Kbps(average), w, h);
      displays_.SetValue(whole, w);
      displays_.SetValue(hundredths, h);
    };
    showAverage(state_.DownAverage, Display::DownAvgDigits, Display::DownAvgDigits2);
    showAverage(state_.UpAverage, Display::UpAvgDigits, Display::UpAvgDigits2);
  }

  if (Graph != nullptr) {
    state_.ProgramSection = 241;
    try {
      Graph->Feed(state_, displays_, scale);
    } catch (const std::exception&) {
      // The graph window is only a view; the meter goes on without it.
    }
  }

  state_.ProgramSection = 242;
  displays_.SetValue(Display::TrafficLCD,
                     state_.TotalTraffic <= 1 ? 0 : Round(state_.TotalTraffic / 1024.0));
}

}  // namespace velmar
