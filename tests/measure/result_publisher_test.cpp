#include "measure/result_publisher.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "config/settings_list.h"
#include "platform/message_queue.h"

namespace velmar {
namespace {

class ResultPublisherTest : public ::testing::Test, private PublicationAlarms, private TickErrors {
 protected:
  ResultPublisherTest() : engine(state), publisher(state, engine, displays, settings, this) {
    settings.SetLines(SettingsList::DefaultLines());
    state.AnalysisActive = true;
    state.ResetForStart();
    publisher.SetAlarms(this);
  }
  void EvaluateAlarms(float up, float down) override {
    if (alarmsFail) {
      throw std::runtime_error("alarm failure");
    }
    alarms.emplace_back(up, down);
  }
  void HandleException(const std::exception& e) override { errors.push_back(e.what()); }
  int64_t V(Display d) const { return displays.Value(d); }

  MeasurementState state;
  AveragingEngine engine;
  StoredDisplays displays;
  SettingsList settings;
  ResultPublisher publisher;
  std::vector<std::pair<float, float>> alarms;
  std::vector<std::string> errors;
  bool alarmsFail = false;
};

TEST_F(ResultPublisherTest, SpeedDisplaysShowWholeKilobitsAndHundredths) {
  publisher.PublishResults(0, 125000);
  EXPECT_EQ(V(Display::DownDigits), 1000);
  EXPECT_EQ(V(Display::DownDigits2), 0);
  publisher.PublishResults(0, 1500);
  EXPECT_EQ(V(Display::DownDigits), 12);
  EXPECT_EQ(V(Display::DownDigits2), 0);
  publisher.PublishResults(0, 120);  // 0.96 kbit/s keeps the last values
  EXPECT_EQ(V(Display::DownDigits), 12);
  EXPECT_EQ(V(Display::DownDigits2), 0);
  publisher.PublishResults(1567.5, 1500);  // 12.54 kbit/s up
  EXPECT_EQ(V(Display::UpDigits), 12);
  EXPECT_EQ(V(Display::UpDigits2), 54);
  // 12.996 kbit/s: the hundredths carry into the whole part.
  publisher.PublishResults(1624.5, 1500);
  EXPECT_EQ(V(Display::UpDigits), 13);
  EXPECT_EQ(V(Display::UpDigits2), 0);

  // 1024-bit kilobits.
  state.KilobitMode = 1;
  publisher.PublishResults(0, 128000);
  EXPECT_EQ(V(Display::DownDigits), 1000);

  int64_t whole = 0, hundredths = 0;
  ResultPublisher::SplitKbps(12.9951, whole, hundredths);
  EXPECT_EQ(whole, 13);
  EXPECT_EQ(hundredths, 0);
  ResultPublisher::SplitKbps(12.994, whole, hundredths);
  EXPECT_EQ(whole, 12);
  EXPECT_EQ(hundredths, 99);
  ResultPublisher::SplitKbps(0.004, whole, hundredths);
  EXPECT_EQ(whole, 0);
  EXPECT_EQ(hundredths, 0);
}

// Displays that also record the unit they were told to show.
class UnitDisplays : public StoredDisplays {
 public:
  void ShowSpeedUnit(const DisplayUnit& unit) override { captions.push_back(unit.Caption()); }
  std::vector<QString> captions;
};

TEST(DisplayUnitTest, SwitchesWhenFiveDigitsNoLongerHoldAndComesBackWithRoomToSpare) {
  DisplayUnit unit;
  EXPECT_FALSE(unit.Update(99999.99, 0));
  EXPECT_EQ(unit.Caption(), "Kb/s.");
  EXPECT_TRUE(unit.Update(99999.996, 0)) << "would round to 100000.00";
  EXPECT_EQ(unit.Current(), DisplayUnit::kMega);
  EXPECT_FALSE(unit.Update(85000, 0)) << "85 Mbit/s stays in Mb/s";
  EXPECT_FALSE(unit.Update(80000, 0));
  EXPECT_TRUE(unit.Update(79999, 0));
  EXPECT_EQ(unit.Caption(), "Kb/s.");
  // Straight from kbit/s to Gbit/s, and 1024-bit units.
  EXPECT_TRUE(unit.Update(250e6, 1));
  EXPECT_EQ(unit.Name(), "Gbit/s");
  EXPECT_DOUBLE_EQ(unit.KbitPerUnit(1), 1024.0 * 1024.0);
  EXPECT_FALSE(unit.Update(1e12, 1)) << "nothing past Gbit/s";
}

TEST(ResultPublisherUnitTest, EveryDisplayReadsTheTrueSpeedInTheUnitItShows) {
  MeasurementState state;
  AveragingEngine engine(state);
  UnitDisplays displays;
  SettingsList settings;
  settings.SetLines(SettingsList::DefaultLines());
  ResultPublisher publisher(state, engine, displays, settings);
  state.AnalysisActive = true;
  state.ResetForStart();
  state.AverageLock = true;
  const auto shown = [&](Display whole, Display hundredths) {
    return (static_cast<double>(displays.Value(whole)) +
            static_cast<double>(displays.Value(hundredths)) / 100.0) *
           publisher.Unit().KbitPerUnit(state.KilobitMode);
  };
  // Bytes per second: 250 Mbit/s, 2.5 Gbit/s, 100 Gbit/s, back to 1 Mbit/s.
  for (double down : {31.25e6, 312.5e6, 12.5e9, 125e3}) {
    publisher.PublishResults(down / 50, down);
    const double kbps = down * 8 / 1000;
    const double resolution = publisher.Unit().KbitPerUnit(0) / 100;
    EXPECT_NEAR(shown(Display::DownDigits, Display::DownDigits2), kbps, resolution) << down;
    EXPECT_NEAR(shown(Display::UpDigits, Display::UpDigits2), kbps / 50, resolution) << down;
    EXPECT_LE(displays.Value(Display::DownDigits), 99999);
    EXPECT_NEAR(shown(Display::DownAvgDigits, Display::DownAvgDigits2),
                state.DownAverage * 8 / 1000, resolution);
  }
  EXPECT_EQ(displays.captions, (std::vector<QString>{"Mb/s.", "Gb/s.", "Mb/s."}))
      << "100 Gbit/s needs Gb/s; the averages keep Mb/s at 1 Mbit/s";

  // A display left from an earlier tick (under one kilobit now) is shown
  // again in the new unit, not read in the wrong one.
  publisher.PublishResults(6.25e6, 31.25e6);  // up 50 Mbit/s
  ASSERT_EQ(displays.Value(Display::UpDigits), 50);
  publisher.PublishResults(100, 12.5e9);  // up under a kilobit, down 100 Gbit/s
  ASSERT_EQ(displays.captions.back(), "Gb/s.");
  EXPECT_EQ(displays.Value(Display::UpDigits), 0);
  EXPECT_EQ(displays.Value(Display::UpDigits2), 5) << "50 Mbit/s is 0.05 Gbit/s";
}

TEST_F(ResultPublisherTest, PercentagesUseTheScaleFromBeforeTheTick) {
  state.UpHighWater = 4000;
  state.DownHighWater = 10000;  // S = 80 kbit/s
  publisher.PublishResults(5000, 0);
  EXPECT_EQ(V(Display::UpIndicator), 50);
  EXPECT_EQ(V(Display::DownIndicator), 0);
  publisher.PublishResults(20000, 0);  // 160 kbit/s: over the scale
  EXPECT_EQ(V(Display::UpIndicator), 200) << "the control limits it to 100";

  // No high-water mark yet: no scale, 0 percent.
  MeasurementState fresh;
  fresh.AnalysisActive = true;
  state = fresh;
  publisher.PublishResults(5000, 5000);
  EXPECT_EQ(V(Display::UpIndicator), 0);
  EXPECT_EQ(V(Display::DownIndicator), 0);
}

TEST_F(ResultPublisherTest, CombinedAverageAgainstHalfTheScale) {
  // Averages of 5000 and 0 bytes per second with S = 80: M = 40 = H.
  state.UpHighWater = 10000;
  state.UpWindow[31] = 5000;  // one sample: the next positive one makes two
  state.DownAverage = 0;
  publisher.PublishResults(5000, 0);
  ASSERT_FLOAT_EQ(state.UpAverage, 5000);
  EXPECT_EQ(state.DownAverage, 0);
  EXPECT_EQ(V(Display::AvgIndicator), 100);
  EXPECT_EQ(V(Display::UpAvgDigits), 40);
  EXPECT_EQ(V(Display::UpAvgDigits2), 0);
  EXPECT_EQ(V(Display::DownAvgDigits), 0) << "written even when 0";
}

TEST_F(ResultPublisherTest, TenStillTicksClearTheDisplaysAndWithoutLockTheAverages) {
  for (bool lock : {false, true}) {
    MeasurementState fresh;
    fresh.AnalysisActive = true;
    fresh.AverageLock = lock;
    state = fresh;
    publisher.PublishResults(2000, 3000);
    publisher.PublishResults(2100, 3100);
    ASSERT_GT(V(Display::DownDigits), 0);
    ASSERT_GT(state.DownAverage, 0);
    const int64_t avgShown = V(Display::DownAvgDigits);
    publisher.PublishResults(0, 0);  // the traffic stops: a change
    for (int i = 1; i < 10; ++i) {
      publisher.PublishResults(0, 0);
    }
    EXPECT_EQ(state.UnchangedTicks, 9);
    EXPECT_EQ(V(Display::DownDigits), 24) << "nine still ticks change nothing";
    state.EmailLatch = true;
    publisher.PublishResults(0, 0);  // the tenth
    EXPECT_EQ(state.UnchangedTicks, 0);
    EXPECT_EQ(V(Display::DownDigits), 0);
    EXPECT_EQ(V(Display::UpDigits2), 0);
    EXPECT_EQ(V(Display::DownIndicator), 0);
    EXPECT_FALSE(state.EmailLatch);
    EXPECT_EQ(state.DownIdleMs, 5000);
    if (lock) {
      EXPECT_GT(state.DownAverage, 0);
      EXPECT_EQ(V(Display::DownAvgDigits), avgShown);
      EXPECT_GT(state.DownHighWater, 0);
    } else {
      EXPECT_EQ(state.DownAverage, 0);
      EXPECT_EQ(V(Display::DownAvgDigits), 0);
      EXPECT_EQ(state.DownHighWater, 0);
      EXPECT_EQ(state.DownWindow, (std::array<float, 32>{}));
    }
  }
}

TEST_F(ResultPublisherTest, ASteadyRateIsTrafficNotStillness) {
  // A rate-limited download gives the same rate tick after tick.
  for (int i = 0; i < 30; ++i) {
    publisher.PublishResults(2000, 3000);
  }
  EXPECT_EQ(state.UnchangedTicks, 0);
  EXPECT_EQ(state.DownIdleMs, 0);
  EXPECT_EQ(state.UpIdleMs, 0);
  EXPECT_EQ(V(Display::DownDigits), 24) << "the displays keep showing it";
  EXPECT_EQ(V(Display::UpDigits), 16);
}

TEST_F(ResultPublisherTest, IdleTimeCountsOnPast24Days) {
  // 2^31 ms is 24.8 days of quiet; the idle time keeps counting up.
  state.DownIdleMs = 2147483647 - 100;
  state.LastDownRate = 0;
  publisher.PublishResults(0, 0);
  EXPECT_EQ(state.DownIdleMs, 2147483647 + 400ll);
}

TEST_F(ResultPublisherTest, IdleTimesAlarmsEverySecondTickAndTheTotal) {
  publisher.PublishResults(0, 0);  // differs from 1e9: a change
  EXPECT_EQ(state.DownIdleMs, 0);
  publisher.PublishResults(0, 0);
  publisher.PublishResults(0, 100);
  EXPECT_EQ(state.UpIdleMs, 1000);
  EXPECT_EQ(state.DownIdleMs, 0);
  // A rate single precision cannot hold never equals the stored one.
  publisher.PublishResults(0.1, 100);
  publisher.PublishResults(0.1, 100);
  EXPECT_EQ(state.UpIdleMs, 0);
  EXPECT_EQ(alarms.size(), 3u) << "on every second of five publications";

  for (const auto& [total, shown] : std::vector<std::pair<uint64_t, int64_t>>{
           {1536, 2}, {2560, 2}, {1, 0}, {0, 0}, {1025, 1}, {1ull << 40, 1ull << 30}}) {
    state.TotalTraffic = total;
    publisher.PublishResults(0, static_cast<double>(total % 7 + 1000));  // a change
    EXPECT_EQ(V(Display::TrafficLCD), shown) << total;
    EXPECT_EQ(settings.Line(7), QString::number(shown));
  }
}

TEST_F(ResultPublisherTest, SleepingErrorsAndTheAlwaysStep) {
  publisher.PublishResults(0, 125000);
  const int redraws = displays.Redraws();
  state.AnalysisActive = false;
  displays.SetValue(Display::TrafficLCD, 77);
  publisher.PublishResults(0, 250000);
  EXPECT_EQ(V(Display::DownDigits), 1000) << "nothing is written while asleep";
  EXPECT_EQ(displays.Redraws(), redraws + 1);
  EXPECT_EQ(settings.Line(7), "77");

  // An error in the middle is reported; the final step still runs.
  state.AnalysisActive = true;
  alarmsFail = true;
  state.AlarmToggle = false;
  publisher.PublishResults(0, 300000);
  EXPECT_EQ(errors, std::vector<std::string>{"alarm failure"});
  EXPECT_EQ(displays.Redraws(), redraws + 2);
  EXPECT_EQ(state.ProgramSection, 234);
}

class ThrowingGraph : public GraphFeed {
 public:
  void Feed(const MeasurementState&, const ResultDisplays& d, int scale,
            const DisplayUnit&) override {
    lastScale = scale;
    lastUp = d.Value(Display::UpDigits);
    throw std::runtime_error("graph gone");
  }
  int lastScale = -1;
  int64_t lastUp = -1;
};

TEST_F(ResultPublisherTest, GraphErrorsAreIgnored) {
  ThrowingGraph graph;
  publisher.Graph = &graph;
  state.UpHighWater = 10000;
  publisher.PublishResults(5000, 0);
  EXPECT_EQ(graph.lastScale, 80);
  EXPECT_EQ(graph.lastUp, 40) << "the feed reads the displays just written";
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(state.ProgramSection, 242) << "the total still follows";
}

}  // namespace
}  // namespace velmar
