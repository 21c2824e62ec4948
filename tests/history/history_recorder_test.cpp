#include "history/history_recorder.h"

#include <gtest/gtest.h>

#include <QtEndian>
#include <cmath>
#include <cstring>

#include "platform/registry.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

class HistoryRecorderTest : public ::testing::Test {
 protected:
  HistoryRecorderTest() : recorder(state, store.store.get(), dates) {
    state.AnalysisActive = true;
    dates.Format = [this] { return format; };
    dates.Now = [this] { return clock.at(std::min(reads++, clock.size() - 1)); };
  }
  void At(QDateTime first, QDateTime second = {}) {
    clock = {first, second.isValid() ? second : first};
    reads = 0;
  }
  Registry& Day(const QString& name) {
    reg.SetRootKey(KeyRoot::kMachine);
    EXPECT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey + "\\" + name, false))
        << name.toStdString();
    return reg;
  }
  static double Ole(const QByteArray& bytes) {
    const quint64 bits = qFromLittleEndian<quint64>(bytes.constData());
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }

  test::TempStore store;
  MeasurementState state;
  DayKeyDates dates;
  QString format = "dd.MM.yyyy";
  std::vector<QDateTime> clock;
  size_t reads = 0;
  HistoryRecorder recorder;
  Registry reg{*store.store};
};

TEST_F(HistoryRecorderTest, RecordsAreNumberedUnderTheDaysKey) {
  At(QDateTime(QDate(2026, 12, 8), QTime(12, 0)));
  state.DownAverage = 125000.4f;
  state.UpAverage = 3000.6f;
  recorder.RecordTick();
  EXPECT_EQ(state.ProgramSection, 44);
  Registry& day = Day("08.12.2026");
  EXPECT_EQ(day.ReadInteger("HighWater"), 1);
  EXPECT_EQ(day.ReadInteger("AvgDownSpeed_1"), 125000);
  EXPECT_EQ(day.ReadInteger("AvgUpSpeed_1"), 3001);
  const QByteArray stamp = day.ReadBinaryData("Timestamp_1");
  ASSERT_EQ(stamp.size(), 8);
  EXPECT_DOUBLE_EQ(Ole(stamp), 46364.5) << "8 December 2026, noon";
  day.CloseKey();

  At(QDateTime(QDate(2026, 12, 8), QTime(12, 5)));
  recorder.RecordTick();
  EXPECT_EQ(Day("08.12.2026").ReadInteger("HighWater"), 2);
  EXPECT_TRUE(reg.ValueExists("avgupspeed_2"));
  reg.CloseKey();

  // Not measuring: nothing is written.
  state.AnalysisActive = false;
  recorder.RecordTick();
  EXPECT_EQ(Day("08.12.2026").ReadInteger("HighWater"), 2);
}

// Stopping writes the bytes since the last record (the time "while not
// running" starts there), once, even with measuring already off.
TEST_F(HistoryRecorderTest, TheStopWritesTheLastBytesOnce) {
  At(QDateTime(QDate(2026, 12, 8), QTime(12, 0)));
  recorder.RecordStop();
  reg.SetRootKey(KeyRoot::kMachine);
  EXPECT_FALSE(reg.KeyExists(HistoryRecorder::kHistoryKey)) << "never started: nothing";
  recorder.MeasuringStarted();
  state.CountedDownBytes = 7000;
  state.AnalysisActive = false;  // the stop clears it first
  recorder.RecordStop();
  recorder.RecordStop();
  Registry& day = Day("08.12.2026");
  EXPECT_EQ(day.ReadInteger("HighWater"), 1);
  EXPECT_EQ(HistoryRecorder::FromQuad(day.ReadBinaryData("CountedDown_1")), 7000u);
}

TEST_F(HistoryRecorderTest, MidnightAndAFormatChangeSplitDays) {
  At(QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59, 999)),
     QDateTime(QDate(2026, 12, 9), QTime(0, 0, 0, 100)));
  recorder.RecordTick();
  Registry& day = Day("08.12.2026");
  EXPECT_GT(Ole(day.ReadBinaryData("Timestamp_1")), 46365.0) << "stamped on the next day";
  day.CloseKey();
  EXPECT_FALSE(reg.KeyExists(HistoryRecorder::kHistoryKey + "\\09.12.2026"));

  format = "yyyy-MM-dd";
  At(QDateTime(QDate(2026, 12, 8), QTime(23, 0)));
  recorder.RecordTick();
  EXPECT_EQ(Day("2026-12-08").ReadInteger("HighWater"), 1) << "a new key, numbered from 1";
  reg.CloseKey();
  EXPECT_EQ(Day("08.12.2026").ReadInteger("HighWater"), 1);
}

TEST_F(HistoryRecorderTest, HandEditedDaysAndRounding) {
  At(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
  recorder.RecordTick();
  recorder.RecordTick();
  Registry& day = Day("08.12.2026");
  for (const char* v : {"Timestamp_2", "AvgDownSpeed_2", "AvgUpSpeed_2"})
    day.DeleteValue(v);
  day.CloseKey();
  recorder.RecordTick();
  EXPECT_EQ(Day("08.12.2026").ReadInteger("HighWater"), 3) << "numbering goes on after HighWater";
  EXPECT_FALSE(reg.ValueExists("AvgDownSpeed_2"));
  reg.DeleteValue("HighWater");
  reg.WriteInteger("AvgDownSpeed_1", 777);
  reg.CloseKey();
  state.DownAverage = 5;
  recorder.RecordTick();
  EXPECT_EQ(Day("08.12.2026").ReadInteger("HighWater"), 1) << "restarts without HighWater";
  EXPECT_EQ(reg.ReadInteger("AvgDownSpeed_1"), 5) << "and overwrites record 1";
  // A damaged HighWater restarts the numbering instead of overflowing.
  for (const qint32 damaged : {2147483647, -7}) {
    reg.WriteInteger("HighWater", damaged);
    reg.CloseKey();
    recorder.RecordTick();
    EXPECT_EQ(Day("08.12.2026").ReadInteger("HighWater"), 1) << damaged;
  }
  reg.CloseKey();

  EXPECT_EQ(HistoryRecorder::Rounded(0.5f), 0);
  EXPECT_EQ(HistoryRecorder::Rounded(1.5f), 2);
  EXPECT_EQ(HistoryRecorder::Rounded(2.5f), 2);
  EXPECT_EQ(HistoryRecorder::Rounded(0.0f), 0);
  EXPECT_EQ(HistoryRecorder::Rounded(1e12f), 2147483647) << "no wrap into negative speeds";
}

TEST_F(HistoryRecorderTest, FailuresCarryTheRegistryMessages) {
  At(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
  reg.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::kHistoryKey + "\\08.12.2026", true));
  reg.WriteString("HighWater", "seven");
  reg.CloseKey();
  try {
    recorder.RecordTick();
    ADD_FAILURE() << "no error";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'HighWater'");
  }
  EXPECT_EQ(state.ProgramSection, 44);

  KeyStore readOnly(store.store->Path(), KeyStore::Access::ReadOnly);
  HistoryRecorder blocked(state, &readOnly, dates);
  At(QDateTime(QDate(2026, 12, 9), QTime(9, 0)));
  try {
    blocked.RecordTick();
    ADD_FAILURE() << "no error";
  } catch (const RegistryError& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'HighWater'");
  }
  EXPECT_FALSE(reg.KeyExists(HistoryRecorder::kHistoryKey + "\\09.12.2026"));
}

TEST(DayKeyDatesTest, NamesParseBackAndTwoDigitYearsStayInTheirCentury) {
  DayKeyDates dates;
  dates.Now = [] { return QDateTime(QDate(2026, 12, 8), QTime(10, 0)); };
  dates.Format = [] { return QString("M/d/yy"); };
  EXPECT_EQ(dates.Name(QDate(2026, 12, 8)), "12/8/26");
  EXPECT_EQ(dates.Parse("12/8/26"), QDate(2026, 12, 8));
  EXPECT_EQ(dates.Parse("1/2/99"), QDate(1999, 1, 2));
  EXPECT_EQ(dates.Parse("1/2/70"), QDate(2070, 1, 2));
  for (const char* bad : {"", "08.12.2026", "12/8/26 ", "13/1/26", "History", "12/08/26"}) {
    EXPECT_FALSE(dates.Parse(bad).has_value()) << bad;
  }
  dates.Format = [] { return QString("dd.MM.yyyy"); };
  EXPECT_EQ(dates.Parse("07.12.2026"), QDate(2026, 12, 7));
  EXPECT_EQ(dates.DateTimeText(QDateTime(QDate(2026, 12, 7), QTime(0, 0))), "07.12.2026");
  EXPECT_TRUE(
      dates.DateTimeText(QDateTime(QDate(2026, 12, 7), QTime(13, 4, 5))).startsWith("07.12.2026 "));
  EXPECT_DOUBLE_EQ(DayKeyDates::OleDate(QDateTime(QDate(1899, 12, 30), QTime(6, 0))), 0.25);
  EXPECT_DOUBLE_EQ(DayKeyDates::OleDate(QDateTime(QDate(1900, 1, 1), QTime(0, 0))), 2.0);
  // The reader's way back: exact to the millisecond on both sides of the
  // epoch (before it the fraction still counts forward from midnight's day).
  for (const QDateTime& moment :
       {QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59, 999)),
        QDateTime(QDate(1899, 12, 30), QTime(0, 0)), QDateTime(QDate(1850, 6, 1), QTime(12, 0))}) {
    EXPECT_EQ(DayKeyDates::FromOleDate(DayKeyDates::OleDate(moment)), moment)
        << moment.toString(Qt::ISODateWithMs).toStdString();
  }
  for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e300}) {
    EXPECT_FALSE(DayKeyDates::FromOleDate(bad).isValid()) << bad;
  }
}

}  // namespace
}  // namespace velmar
