#include "graph/graph_feeder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "config/settings_list.h"
#include "measure/averaging_engine.h"
#include "measure/result_publisher.h"
#include "platform/message_queue.h"

namespace velmar {
namespace {

const QColor kGreen(0, 255, 0);
const QColor kDarkGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kDarkRed(128, 0, 0);

class GraphFeederTest : public ::testing::Test {
 protected:
  GraphFeederTest() {
    chart.InitializeTitleAndStyle();
    QObject::connect(&chart, &GraphChart::changed, [this] { onChange(); });
    feeder.Attach(&chart);
    MessageQueue::SetMinimumInterval(std::chrono::nanoseconds(0));
  }
  ~GraphFeederTest() override { MessageQueue::SetMinimumInterval(std::chrono::milliseconds(1)); }

  void SetLive(int64_t up, int64_t up2, int64_t upAvg, int64_t down, int64_t down2,
               int64_t downAvg) {
    displays.SetValue(Display::UpDigits, up);
    displays.SetValue(Display::UpDigits2, up2);
    displays.SetValue(Display::UpAvgDigits, upAvg);
    displays.SetValue(Display::DownDigits, down);
    displays.SetValue(Display::DownDigits2, down2);
    displays.SetValue(Display::DownAvgDigits, downAvg);
  }
  // Window position i holds (i + 1) * 128 bytes/s up (i + 1 kbit/s of 1024
  // bits) and `downFactor` times that down.
  void SetWindows(float downFactor) {
    for (size_t i = 0; i < 32; ++i) {
      state.UpWindow[i] = static_cast<float>((i + 1) * 128);
      state.DownWindow[i] = static_cast<float>((i + 1) * 128) * downFactor;
    }
  }
  void HistoryFeed(int scale = 100) {
    state.AlarmToggle = false;
    feeder.Feed(state, displays, scale, DisplayUnit());
  }

  GraphChart chart;
  GraphFeeder feeder;
  MeasurementState state;
  StoredDisplays displays;
  int changes = 0;
  // What a redraw request does; a test may put its own in.
  std::function<void()> onChange = [this] { ++changes; };
};

TEST_F(GraphFeederTest, LiveDataAddsFourPointsThenUpdatesThem) {
  feeder.GraphMode = 1;
  SetLive(12, 34, 10, 1000, 5, 999);
  for (bool toggle : {false, true}) {
    state.AlarmToggle = toggle;  // live data: every tick
    feeder.Feed(state, displays, 80, DisplayUnit());
  }
  const ChartSeries& s = chart.ActiveSeries();
  ASSERT_EQ(s.Count(), 4);
  const char* labels[] = {"Up", "UpAvg", "Down", "DwnAvg"};
  const QColor colors[] = {kGreen, kDarkGreen, kRed, kDarkRed};
  const double values[] = {12.34, 10, 1000.05, 999};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(s.Label(i), labels[i]);
    EXPECT_EQ(s.PointColor(i), colors[i]);
    EXPECT_DOUBLE_EQ(s.Value(i), values[i]);
  }
  EXPECT_EQ(chart.Chart.BottomAxis.Maximum, 4);
  EXPECT_EQ(chart.Chart.MaxPointsPerPage, 4);
  EXPECT_FALSE(chart.Chart.LeftAxis.Automatic);
  EXPECT_EQ(chart.Chart.LeftAxis.Maximum, 80);
  EXPECT_EQ(changes, 2);

  // The next tick changes the values of the same four points.
  SetLive(0, 0, 0, 7, 99, 3);
  feeder.Feed(state, displays, 0, DisplayUnit());
  ASSERT_EQ(s.Count(), 4);
  EXPECT_EQ(s.Label(0), "Up");
  EXPECT_DOUBLE_EQ(s.Value(0), 0);
  EXPECT_DOUBLE_EQ(s.Value(2), 7.99);
  EXPECT_DOUBLE_EQ(s.Value(3), 3);
  EXPECT_TRUE(chart.Chart.LeftAxis.Automatic) << "no scale yet";
  EXPECT_EQ(chart.Chart.LeftAxis.Maximum, 80) << "the maximum is left as it was";

  // A style change empties the new series; the next tick refills it.
  chart.SelectStyle(3);
  feeder.Feed(state, displays, 0, DisplayUnit());
  EXPECT_EQ(chart.AreaSeries->Count(), 4);
  EXPECT_EQ(chart.BarSeries->Count(), 4) << "the old series is only inactive";
}

TEST_F(GraphFeederTest, TitleAxisAndAveragesFollowTheDisplaysUnit) {
  feeder.GraphMode = 1;
  DisplayUnit mega;
  ASSERT_TRUE(mega.Update(250000, 0));
  SetLive(250, 12, 180, 1, 50, 0);
  displays.SetValue(Display::UpAvgDigits2, 25);
  feeder.Feed(state, displays, 300000, mega);  // scale 300 Mbit/s
  EXPECT_EQ(chart.Chart.TitleLines, QStringList{"Velmar 2000 - Speeds in Mbit/s"});
  EXPECT_EQ(chart.Chart.LeftAxis.Maximum, 300);
  EXPECT_DOUBLE_EQ(chart.ActiveSeries().Value(1), 180.25) << "hundredths count in Mb/s";
  feeder.Feed(state, displays, 300000, DisplayUnit());
  EXPECT_EQ(chart.Chart.TitleLines, QStringList{GraphChart::kTitle});

  // The history's kilobits of 1024 bits, in Mbit/s of 1024 kbit.
  feeder.GraphMode = 2;
  SetWindows(2);
  state.KilobitMode = 1;
  DisplayUnit mega1024;
  ASSERT_TRUE(mega1024.Update(250000, 1));
  state.AlarmToggle = false;
  feeder.Feed(state, displays, 102400, mega1024);
  EXPECT_DOUBLE_EQ(chart.ActiveSeries().Value(0), 1.0 / 1024);
  EXPECT_TRUE(chart.Chart.LeftAxis.Automatic)
      << "the history's axis follows its averages, not the speeds' old peak of 100 Mbit/s";
}

TEST_F(GraphFeederTest, LeftAxisScaleRule) {
  Chart3D& c = chart.Chart;
  GraphFeeder::ScaleLeftAxis(c, 250);
  EXPECT_FALSE(c.LeftAxis.Automatic);
  EXPECT_EQ(c.LeftAxis.Maximum, 250);
  GraphFeeder::ScaleLeftAxis(c, 0);
  EXPECT_TRUE(c.LeftAxis.Automatic);
  EXPECT_EQ(c.LeftAxis.Maximum, 250);
  GraphFeeder::ScaleLeftAxis(c, -3);
  EXPECT_TRUE(c.LeftAxis.Automatic);
  GraphFeeder::ScaleLeftAxis(c, 1);
  EXPECT_FALSE(c.LeftAxis.Automatic);
  EXPECT_EQ(c.LeftAxis.Maximum, 1);
  c.LeftAxis.Maximum = 0;
  GraphFeeder::ScaleLeftAxis(c, 0);
  EXPECT_TRUE(c.LeftAxis.Automatic);
  EXPECT_EQ(c.LeftAxis.Maximum, 0);
}

TEST_F(GraphFeederTest, HistoryFillsTwoHalvesThenShiftsThePreviousFeedLeft) {
  feeder.GraphMode = 2;
  SetWindows(2);
  state.KilobitMode = 0;  // the history uses 1024 bits whatever this says

  state.AlarmToggle = true;
  feeder.Feed(state, displays, 100, DisplayUnit());
  EXPECT_EQ(chart.ActiveSeries().Count(), 0) << "only when the toggle is false";
  EXPECT_TRUE(chart.Chart.ShowHint);

  const unsigned long long runs = MessageQueue::Runs();
  HistoryFeed(100);
  EXPECT_EQ(MessageQueue::Runs() - runs, 8u) << "the queue runs after each of the eight passes";
  const ChartSeries& s = chart.ActiveSeries();
  ASSERT_EQ(s.Count(), 16);
  for (int k = 0; k < 8; ++k) {
    // Window position 4k: (4k + 1) kbit/s up, twice that down.
    EXPECT_EQ(s.Label(2 * k), "UpAvg");
    EXPECT_EQ(s.Label(2 * k + 1), "DwnAvg");
    EXPECT_EQ(s.PointColor(2 * k), kGreen);
    EXPECT_EQ(s.PointColor(2 * k + 1), kRed);
    EXPECT_DOUBLE_EQ(s.Value(2 * k), 4 * k + 1);
    EXPECT_DOUBLE_EQ(s.Value(2 * k + 1), 2 * (4 * k + 1));
  }
  EXPECT_EQ(chart.Chart.BottomAxis.Maximum, 32);
  EXPECT_EQ(chart.Chart.MaxPointsPerPage, 32);
  EXPECT_FALSE(chart.Chart.ShowHint);
  EXPECT_TRUE(chart.Chart.LeftAxis.Automatic);

  // The second feed fills points 16 to 31 the same way.
  SetWindows(3);
  HistoryFeed();
  ASSERT_EQ(s.Count(), 32);
  for (int k = 0; k < 8; ++k) {
    EXPECT_DOUBLE_EQ(s.Value(2 * k + 1), 2 * (4 * k + 1)) << "first feed kept";
    EXPECT_DOUBLE_EQ(s.Value(16 + 2 * k), 4 * k + 1);
    EXPECT_DOUBLE_EQ(s.Value(17 + 2 * k), 3 * (4 * k + 1));
    EXPECT_EQ(s.Label(16 + 2 * k), "UpAvg");
    EXPECT_EQ(s.Label(17 + 2 * k), "DwnAvg");
  }

  // From now on the previous feed moves to the left half and the newest
  // fills the right half; the count stays 32.
  SetWindows(5);
  state.KilobitMode = 1;
  HistoryFeed();
  ASSERT_EQ(s.Count(), 32);
  for (int k = 0; k < 8; ++k) {
    EXPECT_DOUBLE_EQ(s.Value(2 * k), 4 * k + 1);
    EXPECT_DOUBLE_EQ(s.Value(2 * k + 1), 3 * (4 * k + 1));
    EXPECT_DOUBLE_EQ(s.Value(16 + 2 * k), 4 * k + 1);
    EXPECT_DOUBLE_EQ(s.Value(17 + 2 * k), 5 * (4 * k + 1));
    EXPECT_EQ(s.Label(2 * k), "UpAvg");
    EXPECT_EQ(s.Label(17 + 2 * k), "DwnAvg");
  }
}

TEST_F(GraphFeederTest, ModeSwitchRebuildsTheSeriesInTheNewLayout) {
  SetWindows(1);
  SetLive(1, 0, 2, 3, 0, 4);
  feeder.GraphMode = 2;
  HistoryFeed();
  HistoryFeed();
  ASSERT_EQ(chart.ActiveSeries().Count(), 32);

  // Only the mode changes: the points stay until the next feed.
  feeder.GraphMode = 1;
  EXPECT_EQ(chart.ActiveSeries().Count(), 32);
  feeder.Feed(state, displays, 10, DisplayUnit());
  const ChartSeries& s = chart.ActiveSeries();
  ASSERT_EQ(s.Count(), 4);
  EXPECT_EQ(s.Label(0), "Up");
  EXPECT_EQ(s.PointColor(1), kDarkGreen);
  EXPECT_TRUE(chart.Chart.ShowHint) << "live data shows the hint again";

  feeder.GraphMode = 2;
  HistoryFeed();
  ASSERT_EQ(s.Count(), 16) << "the live points are not kept in front of the history";
  EXPECT_EQ(s.Label(0), "UpAvg");
  EXPECT_DOUBLE_EQ(s.Value(0), 1);

  // Modes other than 1 and 2 (0: not chosen yet) feed nothing.
  for (uint8_t mode : {0, 3}) {
    feeder.GraphMode = mode;
    const int before = changes;
    HistoryFeed();
    feeder.Feed(state, displays, 10, DisplayUnit());
    EXPECT_EQ(s.Count(), 16);
    EXPECT_EQ(changes, before);
  }
}

TEST_F(GraphFeederTest, HistoryFeedStopsWhenTheQueueChangesItsChart) {
  SetWindows(1);
  feeder.GraphMode = 2;

  // A style change while the queue runs after the third pass: the new
  // series is left empty for the next feed, the old keeps three pairs.
  int passes = 0;
  onChange = [&] {
    if (++passes == 3) {
      QTimer::singleShot(0, [&] { chart.SelectStyle(1); });
    }
  };
  HistoryFeed();
  EXPECT_EQ(chart.BarSeries->Count(), 6);
  EXPECT_EQ(chart.LineSeries->Count(), 0);
  HistoryFeed();
  EXPECT_EQ(chart.LineSeries->Count(), 16);

  // The window closes during a pass: nothing more is written.
  chart.SelectStyle(2);
  passes = 0;
  onChange = [&] {
    if (++passes == 2) {
      QTimer::singleShot(0, [&] { feeder.Detach(); });
    }
  };
  HistoryFeed();
  EXPECT_EQ(chart.PointSeries->Count(), 4);
  HistoryFeed();
  EXPECT_EQ(chart.PointSeries->Count(), 4) << "detached: no feed at all";

  // A publication nested in the queue run of a feed does not feed again.
  feeder.Attach(&chart);
  chart.SelectStyle(0);
  passes = 0;
  onChange = [&] {
    if (++passes == 1) {
      QTimer::singleShot(0, [&] { HistoryFeed(); });
    }
  };
  HistoryFeed();
  EXPECT_EQ(chart.BarSeries->Count(), 16);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(chart.BarSeries->Label(i), i % 2 == 0 ? "UpAvg" : "DwnAvg");
  }
}

TEST_F(GraphFeederTest, ThePublicationFeedsTheChart) {
  // The real publication with the feed attached: the points are the
  // displays' values and the left axis gets the publication's scale.
  SettingsList settings;
  settings.SetLines(SettingsList::DefaultLines());
  AveragingEngine engine(state);
  StoredDisplays shown;
  ResultPublisher publisher(state, engine, shown, settings);
  publisher.Graph = &feeder;
  state.AnalysisActive = true;
  state.ResetForStart();
  feeder.GraphMode = 1;
  publisher.PublishResults(5000, 125000);
  publisher.PublishResults(2500, 100000);
  publisher.PublishResults(3000, 110000);
  const ChartSeries& s = chart.ActiveSeries();
  ASSERT_EQ(s.Count(), 4);
  EXPECT_DOUBLE_EQ(s.Value(0),
                   shown.Value(Display::UpDigits) + shown.Value(Display::UpDigits2) / 100.0);
  EXPECT_DOUBLE_EQ(s.Value(0), 24);
  EXPECT_DOUBLE_EQ(s.Value(1), shown.Value(Display::UpAvgDigits));
  EXPECT_DOUBLE_EQ(s.Value(2), 880);
  EXPECT_DOUBLE_EQ(s.Value(3), shown.Value(Display::DownAvgDigits));
  // S of the third tick: the high-water mark the second set, 125000 B/s.
  EXPECT_EQ(chart.Chart.LeftAxis.Maximum, 1000);
  EXPECT_FALSE(chart.Chart.LeftAxis.Automatic);
}

}  // namespace
}  // namespace velmar
