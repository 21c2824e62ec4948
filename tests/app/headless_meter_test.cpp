#include "app/headless_meter.h"

#include <gtest/gtest.h>

#include <QTimeZone>

#include <csignal>

#include "config/settings_list.h"
#include "interfaces/interface_table.h"
#include "platform/unix_signal_watcher.h"
#include "support/fake_agent_control.h"

namespace velmar {
namespace {

TEST(HeadlessMeterTest, JsonLinesCarryTheZoneAndBitsPerSecond) {
  const QDateTime at(QDate(2026, 12, 8), QTime(13, 4, 5, 67), QTimeZone(3600));
  EXPECT_EQ(HeadlessMeter::FormatJson(at, "eth0", 1250, 0.125, 1e9, 3.14159, 18446744073709ull),
            "{\"adapter\":\"eth0\",\"avgdown_bps\":8000000000,\"avgup_bps\":25.13,"
            "\"down_bps\":10000,\"time\":\"2026-12-08T13:04:05.067+01:00\","
            "\"total_bytes\":18446744073709,\"up_bps\":1}");
  const QDateTime utc(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc());
  const QString line = HeadlessMeter::FormatJson(utc, QString(), 0, 0, 0, 0, 0);
  EXPECT_TRUE(line.contains("\"time\":\"2026-01-02T03:04:05.000Z\"")) << line.toStdString();
  EXPECT_TRUE(line.contains("\"adapter\":null")) << line.toStdString();
  EXPECT_TRUE(HeadlessMeter::FormatJson(utc, "a\"b\\c", 0, 0, 0, 0, 0)
                  .contains("\"adapter\":\"a\\\"b\\\\c\""));
}

TEST(HeadlessMeterTest, TheTextLineKeepsKilobitsAndEveryDigitAtAnySpeed) {
  // 100 Gbit/s is 100,000,000 kbit/s: scripts read the line, so no unit
  // switch and no digit cut, whatever the window shows.
  char line[HeadlessMeter::kLineSize];
  const auto format = [&](double down, double up) {
    return std::string(line, HeadlessMeter::FormatLine(line, "12:00:00", down, up, 123456789.126,
                                                       0.004, uint64_t{1} << 50));
  };
  EXPECT_EQ(format(100000000.0, 99999.996),
            "12:00:00 down=100000000.00 up=100000.00 avgdown=123456789.13 avgup=0.00 "
            "total=1099511627776.00");
  // Rounded from the exact binary value, ties to even: 0.125 and 0.375 are
  // ties; 0.025 lies just above its half and 0.015 just below, though
  // times 100 both come out as exact halves.
  EXPECT_EQ(format(0.125, 0.375).substr(0, 30), "12:00:00 down=0.12 up=0.38 avg");
  EXPECT_EQ(format(0.025, 0.015).substr(0, 30), "12:00:00 down=0.03 up=0.01 avg");
  // A value no link carries cannot overrun the line; it is left out.
  const std::string huge = format(1e300, 0.5);
  EXPECT_EQ(huge.substr(0, 23), "12:00:00 down= up=0.50 ");
  EXPECT_LE(huge.size(), HeadlessMeter::kLineSize);
}

// The zone is looked up once per quarter hour, and the time of day follows
// it across midnight and back again when the clock is set back.
TEST(HeadlessMeterTest, TheTimeOfDayLooksTheZoneUpOncePerQuarterHour) {
  qputenv("TZ", "UTC");
  LocalTimeOfDay clock;
  const time_t midnight = 1796256000;  // 2026-12-03 00:00:00 UTC
  EXPECT_STREQ(clock.Format(midnight - 1), "23:59:59");
  EXPECT_STREQ(clock.Format(midnight), "00:00:00");
  EXPECT_STREQ(clock.Format(midnight + 899), "00:14:59");
  EXPECT_EQ(clock.Lookups(), 2);
  qputenv("TZ", "Asia/Kolkata");  // +05:30, seen at the next quarter hour
  EXPECT_STREQ(clock.Format(midnight + 900), "05:45:00");
  EXPECT_STREQ(clock.Format(midnight - 3600), "04:30:00") << "the clock set back";
  EXPECT_EQ(clock.Lookups(), 4);
  qunsetenv("TZ");
}

// A meter over the fake agent, with default settings, its lines and errors
// kept.
class MeterOverFakeAgent : public ::testing::Test {
 protected:
  static SettingsList Defaults() {
    SettingsList settings;
    settings.SetLines(SettingsList::DefaultLines());
    return settings;
  }

  test::FakeAgent agent;
  InterfaceTable table{nullptr, test::FakeAgentPath()};
  SettingsList settings = Defaults();
  QString out;
  QString err;
  QTextStream outStream{&out};
  QTextStream errStream{&err};
  HeadlessMeter meter{&table, settings, outStream, errStream};
  MeterCore& core = meter.Core();
};

TEST_F(MeterOverFakeAgent, AdapterNamesComeFromTheLatestTick) {
  EXPECT_EQ(HeadlessMeter::AdapterName(meter.Sampler(), 0), "All");
  EXPECT_TRUE(HeadlessMeter::AdapterName(meter.Sampler(), 1).isNull()) << "nothing read yet";

  agent.InterfaceTable({test::FakeInterface{1, "lo", 1, 1}, test::FakeInterface{2, "eth0", 2, 2}});
  core.SelectAdapter(2, QString());
  meter.SetFormat(HeadlessMeter::Format::kJson);
  meter.Start();
  meter.Sampler().Tick();
  meter.Sampler().Tick();
  meter.Stop();
  EXPECT_EQ(HeadlessMeter::AdapterName(meter.Sampler(), 1), "lo");
  EXPECT_EQ(HeadlessMeter::AdapterName(meter.Sampler(), 2), "eth0");
  EXPECT_TRUE(HeadlessMeter::AdapterName(meter.Sampler(), 3).isNull());
  EXPECT_TRUE(HeadlessMeter::AdapterName(meter.Sampler(), -1).isNull());
  EXPECT_TRUE(out.startsWith("{\"adapter\":\"eth0\",")) << out.toStdString();
  EXPECT_EQ(out.count('\n'), 1);
  EXPECT_EQ(err, "");
}

// Sleeping outside Qt's loop must lose neither the queue nor a signal that
// comes while the meter is awake.
TEST_F(MeterOverFakeAgent, OnItsOwnBeatPostedEventsRunAndNoSignalIsMissed) {
  agent.InterfaceTable({test::FakeInterface{1, "lo", 1, 1}});
  UnixSignalWatcher watcher([this](int) { meter.Stop(); });
  QObject context;

  // Posted before the run, so it runs right after the first tick, which
  // only starts the measurement; the signal it raises is caught then.
  qsizetype linesAtSignal = -1;
  QMetaObject::invokeMethod(
      &context,
      [&] {
        linesAtSignal = out.count('\n');
        std::raise(SIGTERM);
      },
      Qt::QueuedConnection);
  EXPECT_TRUE(meter.MeasureOnOwnBeat(UnixSignalWatcher::PendingDescriptor()));
  EXPECT_EQ(linesAtSignal, 0);
  EXPECT_EQ(out.count('\n'), 0) << "stopped before a second tick";
  EXPECT_FALSE(core.State().AnalysisActive);

  // A tick that finds the analysis ended stops the beat without a Stop().
  QMetaObject::invokeMethod(
      &context, [&] { core.StopMeasuring(); }, Qt::QueuedConnection);
  EXPECT_FALSE(meter.MeasureOnOwnBeat(UnixSignalWatcher::PendingDescriptor()));
  EXPECT_EQ(err, "");
}

}  // namespace
}  // namespace velmar
