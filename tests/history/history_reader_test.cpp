#include "history/history_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <tuple>

#include "history/history_recorder.h"
#include "platform/registry.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

// The recorder and the reader on one store: what one writes, the other
// reads back.
class HistoryReaderTest : public ::testing::Test {
 protected:
  HistoryReaderTest() : recorder(state, store.store.get(), dates, 300000) {
    state.AnalysisActive = true;
    dates.Format = [this] { return format; };
    dates.Now = [this] { return now; };
  }
  static qint64 Ms(const QDateTime& t) { return DayKeyDates::LocalMs(t); }
  HistoryExtract ReadDay(const QDate& day) {
    return HistoryReader(*store.store, dates)
        .Read(Ms(QDateTime(day, QTime(0, 0))), Ms(QDateTime(day.addDays(1), QTime(0, 0))));
  }
  Registry& Day(const QString& name) {
    reg.SetRootKey(KeyRoot::kMachine);
    EXPECT_TRUE(reg.OpenKey(HistoryRecorder::DayKey(name), false)) << name.toStdString();
    return reg;
  }
  void ExpectDamaged(const QDate& day, const char* words) {
    try {
      ReadDay(day);
      ADD_FAILURE() << "no error for " << words;
    } catch (const HistoryDamagedError& e) {
      EXPECT_NE(e.Message().indexOf(words), -1) << e.what();
    }
  }

  test::TempStore store;
  MeasurementState state;
  DayKeyDates dates;
  QString format = "yyyy-MM-dd";
  QDateTime now{QDate(2026, 12, 8), QTime(10, 0)};
  HistoryRecorder recorder;
  Registry reg{*store.store};
};

TEST_F(HistoryReaderTest, RecordsCarryTheBytesCountedSinceTheRecordBefore) {
  state.CountedDownBytes = 1000;  // counted before this run: not ours
  state.CountedUpBytes = 10;
  recorder.MeasuringStarted();
  state.CountedDownBytes = 6000000000;  // beyond 32 bits
  state.CountedUpBytes = 510;
  state.DownAverage = 2000;
  recorder.RecordTick();

  now = now.addSecs(300);
  state.CountedDownBytes += 7;
  recorder.RecordTick();

  // A new run whose start the recorder did not see: the totals went down.
  now = now.addSecs(300);
  state.CountedDownBytes = 40;
  state.CountedUpBytes = 4;
  recorder.RecordTick();

  // A write that fails keeps its bytes for the next record.
  KeyStore readOnly(store.store->Path(), KeyStore::Access::ReadOnly);
  recorder.SetStore(&readOnly);
  now = now.addSecs(300);
  state.CountedDownBytes = 90;
  EXPECT_THROW(recorder.RecordTick(), RegistryError);
  recorder.SetStore(store.store.get());
  now = now.addSecs(300);
  state.CountedDownBytes = 100;
  recorder.RecordTick();

  const HistoryExtract h = ReadDay(QDate(2026, 12, 8));
  ASSERT_EQ(h.records.size(), 4u);
  EXPECT_TRUE(h.records[0].counted);
  EXPECT_EQ(h.records[0].downBytes, 6000000000u - 1000);
  EXPECT_EQ(h.records[0].upBytes, 500u);
  EXPECT_EQ(h.records[0].avgDown, 2000);
  EXPECT_GT(h.records[0].spanMs, 0);
  EXPECT_EQ(h.records[0].at, Ms(QDateTime(QDate(2026, 12, 8), QTime(10, 0))));
  EXPECT_EQ(h.records[1].downBytes, 7u);
  EXPECT_EQ(h.records[1].upBytes, 0u);
  EXPECT_EQ(h.records[2].downBytes, 40u);
  EXPECT_EQ(h.records[2].upBytes, 4u);
  EXPECT_EQ(h.records[3].downBytes, 60u) << "the failed record's 50 bytes are not lost";
  EXPECT_EQ(Day("2026-12-08").ReadInteger("HighWater"), 4) << "the failed record wrote nothing";
  EXPECT_FALSE(reg.ValueExists("Timestamp_5"));
}

TEST_F(HistoryReaderTest, OlderRecordsIncompleteOnesAndTheDaysAroundTheSpan) {
  // An older record: the three values only. And one cut short by a kill
  // between the separate writes older versions made.
  reg.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::DayKey("2026-12-07"), true));
  reg.WriteBinaryData("Timestamp_1",
                      HistoryRecorder::Quad(std::bit_cast<quint64>(
                          DayKeyDates::OleDate(QDateTime(QDate(2026, 12, 7), QTime(9, 0))))));
  reg.WriteInteger("AvgDownSpeed_1", 1000);
  reg.WriteInteger("AvgUpSpeed_1", 20);
  reg.WriteBinaryData("Timestamp_2", HistoryRecorder::Quad(0));
  reg.WriteInteger("HighWater", 2);
  reg.CloseKey();
  // Stamped after midnight under the day before's key.
  now = QDateTime(QDate(2026, 12, 8), QTime(0, 0, 0, 50));
  dates.Now = [this, first = true]() mutable {
    const QDateTime t = first ? QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 990)) : now;
    first = false;
    return t;
  };
  recorder.RecordTick();
  dates.Now = [this] { return now; };
  // A day key named in a format used before: still read.
  format = "dd.MM.yyyy";
  now = QDateTime(QDate(2026, 12, 8), QTime(12, 0));
  recorder.RecordTick();
  format = "yyyy-MM-dd";

  HistoryExtract h = ReadDay(QDate(2026, 12, 7));
  ASSERT_EQ(h.records.size(), 1u);
  EXPECT_FALSE(h.records[0].counted);
  EXPECT_EQ(h.records[0].spanMs, 300000);
  EXPECT_EQ(h.incompleteRecords, 1);

  h = ReadDay(QDate(2026, 12, 8));
  ASSERT_EQ(h.records.size(), 2u);
  EXPECT_EQ(h.records[0].at, Ms(QDateTime(QDate(2026, 12, 8), QTime(0, 0, 0, 50))));
  EXPECT_EQ(h.records[1].at, Ms(now));
  EXPECT_TRUE(ReadDay(QDate(2026, 12, 10)).records.empty());
}

TEST_F(HistoryReaderTest, ManyDaysAreReadInOnePassAlike) {
  // Past a few dozen day keys the store reads all values in one pass.
  for (int d = 0; d < 40; ++d) {
    now = QDateTime(QDate(2026, 10, 1).addDays(d), QTime(12, 0));
    state.CountedDownBytes += 1000 + d;
    recorder.RecordTick();
    Registry log(*store.store);
    log.SetRootKey(KeyRoot::kMachine);
    ASSERT_TRUE(log.OpenKey(HistoryRecorder::AlarmsKey(dates.Name(now.date())), true));
    log.WriteString(dates.DateTimeText(now.addSecs(-5)), "1");
  }
  const HistoryExtract h = HistoryReader(*store.store, dates)
                               .Read(Ms(QDateTime(QDate(2026, 10, 1), QTime(0, 0))),
                                     Ms(QDateTime(QDate(2026, 11, 10), QTime(0, 0))));
  ASSERT_EQ(h.records.size(), 40u);
  ASSERT_EQ(h.alarms.size(), 40u);
  for (int d = 0; d < 40; ++d) {
    EXPECT_EQ(h.records[d].downBytes, 1000u + d);
    EXPECT_EQ(h.records[d].at, Ms(QDateTime(QDate(2026, 10, 1).addDays(d), QTime(12, 0))));
  }
  Registry& day = Day("2026-10-20");
  day.WriteInteger("CountedMs_1", 0);
  day.CloseKey();
  ExpectDamaged(QDate(2026, 10, 20), "CountedMs_1 is not a time span");
  EXPECT_THROW(HistoryReader(*store.store, dates)
                   .Read(Ms(QDateTime(QDate(2026, 10, 1), QTime(0, 0))),
                         Ms(QDateTime(QDate(2026, 11, 10), QTime(0, 0)))),
               HistoryDamagedError);
}

TEST_F(HistoryReaderTest, DamagedRecordsAreNamedNotGuessed) {
  recorder.RecordTick();
  Registry& day = Day("2026-12-08");
  day.WriteBinaryData("Timestamp_1", QByteArray(3, 'x'));
  day.CloseKey();
  ExpectDamaged(QDate(2026, 12, 8), "History record 1 of day 2026-12-08 is damaged: Timestamp_1");

  recorder.RecordTick();  // record 2
  Day("2026-12-08").DeleteValue("Timestamp_1");
  reg.DeleteValue("CountedUp_2");
  reg.CloseKey();
  ExpectDamaged(QDate(2026, 12, 8), "record 2 of day 2026-12-08 is damaged: its counted volumes");

  Day("2026-12-08").WriteBinaryData("CountedUp_2", HistoryRecorder::Quad(5));
  reg.WriteString("AvgDownSpeed_2", "fast");
  reg.CloseKey();
  ExpectDamaged(QDate(2026, 12, 8), "AvgDownSpeed_2 is not a speed");

  Day("2026-12-08").WriteInteger("AvgDownSpeed_2", 1);
  reg.WriteInteger("CountedDown_2", 5);
  reg.CloseKey();
  ExpectDamaged(QDate(2026, 12, 8), "CountedDown_2 is not a byte count");

  Day("2026-12-08").WriteBinaryData("CountedDown_2", HistoryRecorder::Quad(5));
  reg.CloseKey();
  reg.SetRootKey(KeyRoot::kMachine);
  ASSERT_TRUE(reg.OpenKey(HistoryRecorder::AlarmsKey("2026-12-08"), true));
  reg.WriteString(dates.DateTimeText(now), "ten");
  reg.CloseKey();
  ExpectDamaged(QDate(2026, 12, 8), "alarm log of day 2026-12-08 is damaged");
  // Without alarms asked for, the day reads.
  EXPECT_EQ(HistoryReader(*store.store, dates)
                .Read(Ms(now.addSecs(-60)), Ms(now.addSecs(60)), false)
                .records.size(),
            1u);
}

// The rows per program are one more value of the record: a reader that
// does not ask for them (as older ones never knew them) reads the record
// as before, and records without them read as such.
TEST_F(HistoryReaderTest, VolumesPerProgramRideBesideTheRecord) {
  struct Source : ProgramVolumeSource {
    void Restart() override {}
    std::vector<ProgramVolume> Take(uint64_t down, uint64_t up) override {
      return {{"/usr/bin/with space\nand line", down - 1, up}, {"not attributed", 1, 0}};
    }
  } source;
  recorder.SetProgramSource(&source);
  recorder.MeasuringStarted();
  state.CountedDownBytes = 5000;
  state.CountedUpBytes = 50;
  recorder.RecordTick();
  recorder.SetProgramSource(nullptr);
  now = now.addSecs(300);
  state.CountedDownBytes = 5007;
  recorder.RecordTick();

  const qint64 from = Ms(now.addDays(-1)), to = Ms(now.addDays(1));
  const HistoryExtract plain = HistoryReader(*store.store, dates).Read(from, to, true, false);
  ASSERT_EQ(plain.records.size(), 2u);
  EXPECT_EQ(plain.incompleteRecords, 0);
  EXPECT_EQ(std::tie(plain.records[0].downBytes, plain.records[0].upBytes),
            std::make_tuple(uint64_t{5000}, uint64_t{50}));
  EXPECT_FALSE(plain.records[0].byProgram);

  const HistoryExtract h = HistoryReader(*store.store, dates).Read(from, to, true, true);
  ASSERT_EQ(h.records.size(), 2u);
  EXPECT_TRUE(h.records[0].byProgram);
  EXPECT_EQ(h.records[0].programs,
            (std::vector<ProgramVolume>{{"/usr/bin/with space?and line", 4999, 50},
                                        {"not attributed", 1, 0}}));
  EXPECT_FALSE(h.records[1].byProgram) << "a record of a meter without the programs";
  EXPECT_EQ(h.records[1].downBytes, 7u);

  for (const QString& text : {QString("12 x /bin/a\n"), QString("-1 2 /bin/a\n"), QString("1 2\n"),
                              QString("1 2 /bin/a")}) {
    EXPECT_FALSE(DecodeProgramVolumes(text)) << text.toStdString();
  }
  Day("2026-12-08").WriteInteger("Programs_1", 3);
  reg.CloseKey();
  EXPECT_THROW(HistoryReader(*store.store, dates).Read(from, to, true, true), HistoryDamagedError);
  EXPECT_EQ(HistoryReader(*store.store, dates).Read(from, to).records.size(), 2u)
      << "unread unless asked for";
}

}  // namespace
}  // namespace velmar
