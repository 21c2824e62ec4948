#include "report/report_model.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <ctime>
#include <tuple>

#include "history/history_maintenance.h"
#include "report/history_fixture.h"
#include "report/report_generator.h"
#include "report/report_text.h"
#include "report/report_writers.h"
#include "support/temp_store.h"

namespace velmar {
namespace {

// Offsets and the change to summer time are part of what these tests
// check: the zone is set before anything asks for local time.
const bool kBerlin = [] {
  qputenv("TZ", "Europe/Berlin");
  tzset();
  return true;
}();

QDateTime At(int y, int m, int d, int h = 0, int min = 0) {
  return QDateTime(QDate(y, m, d), QTime(h, min));
}

qint64 L(int y, int m, int d) {
  return DayKeyDates::LocalMs(At(y, m, d));
}

class ReportModelTest : public ::testing::Test {
 protected:
  ReportModelTest() {
    dates.Format = [] { return QStringLiteral("yyyy-MM-dd"); };
    dates.Now = [this] { return now; };
  }
  Report Make(const ReportProfile& profile, const QString& title = QStringLiteral("Home")) {
    ReportSources sources;
    sources.storePath = store.store->Path();
    sources.dateFormat = QStringLiteral("yyyy-MM-dd");
    sources.now = now;
    return ReportGenerator::Make(title, profile, sources);
  }
  static ReportProfile Range(QDate from, QDate to, Grouping grouping) {
    ReportProfile p;
    p.period = {PeriodKind::kRange, from, to};
    p.grouping = grouping;
    return p;
  }

  test::TempStore store;
  DayKeyDates dates;
  QDateTime now = At(2026, 12, 8, 9);
};

TEST_F(ReportModelTest, ExactTotalsAcrossAMonthEndAGapAPurgeAndOlderRecords) {
  test::WriteRecords(*store.store, {{At(2026, 11, 29, 12), 999, 99},
                                    {At(2026, 11, 30, 23, 50), 1000, 100},
                                    {At(2026, 11, 30, 23, 55), 2000, 200},
                                    {At(2026, 12, 1, 0, 0), 4000, 400},
                                    // An older record: 10 and 1 bytes per second for five minutes.
                                    {At(2026, 12, 1, 0, 5), 0, 0, false, 10, 1},
                                    // 2 December: nothing measured.
                                    {At(2026, 12, 3, 12), 5, 6, true, 0, 0, 1000}});
  test::WriteAlarm(*store.store, dates, QDateTime(QDate(2026, 12, 1), QTime(0, 3, 7)), 10001);
  HistoryMaintenance(store.store.get(), dates).Purge(QDate(2026, 11, 30));

  const ReportProfile byDay = Range(QDate(2026, 11, 29), QDate(2026, 12, 3), Grouping::kDay);
  const Report report = Make(byDay);
  ASSERT_EQ(report.groups.size(), 5u);
  const GroupFigures& dec1 = report.groups[2];
  EXPECT_EQ(report.groups[0].records, 0) << "purged";
  EXPECT_EQ(report.groups[1].down, 3000u);
  EXPECT_EQ(dec1.down, 7000u);
  EXPECT_EQ(dec1.up, 700u);
  EXPECT_EQ(dec1.records, 2);
  EXPECT_EQ(dec1.estimatedRecords, 1);
  EXPECT_EQ(dec1.activeMs, 600000);
  EXPECT_DOUBLE_EQ(dec1.peakDown, 4000 / 300.0);
  EXPECT_EQ(dec1.alarms, 1);
  EXPECT_EQ(report.groups[3].records, 0) << "the gap";
  EXPECT_EQ(report.totals.down, 10005u);
  EXPECT_EQ(report.totals.up, 1006u);
  ASSERT_EQ(report.alarms.size(), 1u);
  EXPECT_EQ(report.alarms[0].conditions,
            QStringList({"Downstream average exceeded", "Actual Downstream exceeded"}));

  const QStringList csv = QString::fromUtf8(WriteCsv(report)).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(csv.size(), 6);
  EXPECT_EQ(csv[0],
            "start,end,records,estimated_records,down_bytes,up_bytes,total_bytes,"
            "avg_down_bytes_per_s,avg_up_bytes_per_s,peak_down_bytes_per_s,peak_up_bytes_per_s,"
            "active_seconds,alarm_events");
  EXPECT_EQ(csv[3],
            "2026-12-01T00:00:00+01:00,2026-12-02T00:00:00+01:00,2,1,7000,700,7700,12,1,"
            "13,1,600,1");
  EXPECT_EQ(csv[4], "2026-12-02T00:00:00+01:00,2026-12-03T00:00:00+01:00,0,0,0,0,0,0,0,0,0,0,0");

  const QJsonObject json = QJsonDocument::fromJson(WriteJson(report)).object();
  EXPECT_EQ(json["schema"].toString(), "velmar-report");
  EXPECT_EQ(json["version"].toInt(), 1);
  EXPECT_EQ(json["totals"]["down"].toInteger(), 10005);
  EXPECT_EQ(json["totals"]["estimatedRecords"].toInt(), 1);
  EXPECT_EQ(json["groups"].toArray().size(), 5);
  EXPECT_EQ(json["alarms"][0]["time"].toString(), "2026-12-01T00:03:07+01:00");

  // By month, and only some values: the month boundary splits the sums.
  ReportProfile byMonth = byDay;
  byMonth.grouping = Grouping::kMonth;
  byMonth.values = kDownVolume | kActiveTime;
  const Report months = Make(byMonth);
  ASSERT_EQ(months.groups.size(), 2u);
  EXPECT_EQ(months.groups[0].down, 3000u);
  EXPECT_EQ(months.groups[1].down, 7005u);
  const QStringList monthCsv = QString::fromUtf8(WriteCsv(months)).split('\n', Qt::SkipEmptyParts);
  EXPECT_EQ(monthCsv[0], "start,end,records,estimated_records,down_bytes,active_seconds");
  EXPECT_EQ(monthCsv[2], "2026-12-01T00:00:00+01:00,2026-12-04T00:00:00+01:00,3,1,7005,601");
  const QJsonObject monthJson = QJsonDocument::fromJson(WriteJson(months)).object();
  EXPECT_FALSE(monthJson["totals"].toObject().contains("up"));
  EXPECT_FALSE(monthJson.contains("alarms"));
}

TEST_F(ReportModelTest, BackupAndRestoreCarryTheCountedVolumes) {
  test::WriteRecords(*store.store, {{At(2026, 12, 7, 10), 123456789012, 42},
                                    {At(2026, 12, 7, 10, 5), 0, 0, false, 100, 0}});
  const ReportProfile profile = Range(QDate(2026, 12, 7), QDate(2026, 12, 7), Grouping::kHour);
  const QByteArray before = WriteCsv(Make(profile));
  HistoryMaintenance maintenance(store.store.get(), dates);
  const QString hive = store.dir.filePath("backup.reg");
  maintenance.Backup(hive);
  maintenance.Purge(QDate(2026, 12, 8));
  EXPECT_EQ(Make(profile).totals.records, 0);
  maintenance.Restore(hive);
  EXPECT_EQ(WriteCsv(Make(profile)), before);
  EXPECT_EQ(Make(profile).totals.down, 123456789012u + 30000u);
}

TEST_F(ReportModelTest, PeriodsGroupsAndTheChangeToSummerTime) {
  now = At(2027, 1, 3, 15);  // a Sunday
  const auto span = [this](PeriodKind kind) {
    const auto [s, e] = ReportPeriod{kind, {}, {}}.Span(now);
    return std::make_pair(s, e);
  };
  EXPECT_EQ(span(PeriodKind::kThisWeek), std::make_pair(L(2026, 12, 28), L(2027, 1, 4)));
  EXPECT_EQ(span(PeriodKind::kLastMonth), std::make_pair(L(2026, 12, 1), L(2027, 1, 1)));
  EXPECT_EQ(span(PeriodKind::kLast7Days), std::make_pair(L(2026, 12, 28), L(2027, 1, 4)));
  EXPECT_EQ(span(PeriodKind::kYesterday), std::make_pair(L(2027, 1, 2), L(2027, 1, 3)));

  // Groups stop at now; weeks are cut at the period's edges.
  ReportProfile thisMonth;
  thisMonth.period.kind = PeriodKind::kThisMonth;
  EXPECT_EQ(Make(thisMonth).groups.size(), 3u);
  thisMonth.grouping = Grouping::kWeek;
  now = At(2027, 1, 31, 12);
  const Report weeks = Make(thisMonth);
  ASSERT_EQ(weeks.groups.size(), 5u);
  EXPECT_EQ(weeks.groups[0].start, DayKeyDates::LocalMs(At(2027, 1, 1)));
  EXPECT_EQ(weeks.groups[0].end, DayKeyDates::LocalMs(At(2027, 1, 4)));
  EXPECT_EQ(GroupLabel(Grouping::kWeek, weeks.groups[1].start, weeks.groups[1].end),
            "Week 1 (4 Jan - 10 Jan 2027)");

  // 29 March 2026: the clocks go from 02:00 to 03:00. The wall-clock hours
  // keep their records; each time carries the offset in force.
  test::WriteRecords(*store.store, {{At(2026, 3, 29, 1, 55), 1, 0},
                                    {At(2026, 3, 29, 3, 0), 2, 0},
                                    {At(2026, 3, 29, 3, 5), 4, 0}});
  now = At(2026, 3, 30);
  const Report hours = Make(Range(QDate(2026, 3, 29), QDate(2026, 3, 29), Grouping::kHour));
  ASSERT_EQ(hours.groups.size(), 24u);
  EXPECT_EQ(hours.groups[1].down, 1u);
  EXPECT_EQ(hours.groups[2].records, 0);
  EXPECT_EQ(hours.groups[3].down, 6u);
  EXPECT_EQ(hours.totals.down, 7u);
  EXPECT_EQ(ReportText::IsoTime(hours.groups[1].start), "2026-03-29T01:00:00+01:00");
  EXPECT_EQ(ReportText::IsoTime(hours.groups[3].start), "2026-03-29T03:00:00+02:00");
  EXPECT_EQ(ReportText::IsoTime(hours.groups[2].start), "2026-03-29T02:00:00+01:00");
}

TEST_F(ReportModelTest, QuotaMonthsThatStartOnADayAMonthLacks) {
  test::WriteRecords(*store.store, {{At(2027, 1, 30, 12), 700000000, 0},
                                    {At(2027, 1, 31, 10), 500000000, 1000},
                                    {At(2027, 2, 1, 10), 1000000000, 0}});
  now = At(2027, 2, 20, 12);
  ReportProfile p;
  p.period.kind = PeriodKind::kToday;
  p.quota = Quota{2000000000, 31, QuotaCounts::kDown};
  Report r = Make(p);
  ASSERT_TRUE(r.quota);
  EXPECT_EQ(r.quota->monthStart, L(2027, 1, 31));
  EXPECT_EQ(r.quota->monthEnd, L(2027, 2, 28));
  EXPECT_EQ(r.quota->used, 1500000000u);
  // 20.5 of 28 days gone.
  EXPECT_EQ(r.quota->projected, static_cast<uint64_t>(std::llround(1.5e9 * 28 / 20.5)));
  EXPECT_FALSE(r.quota->complete);

  p.quota->counts = QuotaCounts::kUp;
  EXPECT_EQ(Make(p).quota->used, 1000u);
  // Last month's report: the quota month of its last day, complete by now.
  now = At(2027, 4, 2);
  p.period.kind = PeriodKind::kLastMonth;
  p.quota = Quota{1, 1, QuotaCounts::kTotal};
  r = Make(p);
  EXPECT_EQ(r.quota->monthStart, L(2027, 3, 1));
  EXPECT_TRUE(r.quota->complete);
  EXPECT_EQ(r.quota->projected, r.quota->used);
}

// By program: each record's rows summed over the period; "not attributed"
// closes the gap (also where a record's programs outran its count), and
// records without rows are a row of their own.
TEST_F(ReportModelTest, ProgramRowsAddUpToTheTotal) {
  const QString curl = QStringLiteral("/usr/bin/cu\"rl, 8");
  const auto with = [](QDateTime at, uint64_t down, uint64_t up, std::vector<ProgramVolume> rows) {
    test::RecordSpec r{at, down, up};
    r.programs = std::move(rows);
    return r;
  };
  test::WriteRecords(
      *store.store,
      {with(At(2026, 12, 8, 8, 0), 1000, 100,
            {{curl, 600, 50},
             {"/opt/fox", 300, 20},
             {"other users", 50, 0},
             {"not attributed", 50, 30}}),
       with(At(2026, 12, 8, 8, 5), 500, 50,
            {{curl, 200, 10}, {"other", 100, 0}, {"not attributed", 200, 40}}),
       with(At(2026, 12, 8, 8, 10), 100, 10, {{"/opt/fox", 150, 10}, {"not attributed", 0, 0}}),
       {At(2026, 12, 8, 8, 15), 70, 7}});
  ReportProfile p = Range(QDate(2026, 12, 8), QDate(2026, 12, 8), Grouping::kProgram);
  const Report r = Make(p);
  ASSERT_EQ(r.groups.size(), 1u);
  EXPECT_EQ(r.totals.down, 1670u);
  EXPECT_EQ(r.totals.up, 167u);
  const std::vector<std::tuple<QString, uint64_t, uint64_t>> expected{
      {curl, 800, 60},        {"/opt/fox", 450, 30},       {"other", 100, 0},
      {"other users", 50, 0}, {"not attributed", 200, 70}, {"not recorded by program", 70, 7}};
  ASSERT_EQ(r.programs.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(std::tie(r.programs[i].program, r.programs[i].down, r.programs[i].up), expected[i]);
  }
  const QJsonObject json = QJsonDocument::fromJson(WriteJson(r)).object();
  EXPECT_EQ(json["grouping"].toString(), "program");
  EXPECT_EQ(json["programs"][0].toObject(),
            (QJsonObject{{"program", curl}, {"down", 800}, {"up", 60}, {"total", 860}}));
  p.values = kDownVolume;
  const QStringList csv = QString::fromUtf8(WriteCsv(Make(p))).split('\n');
  EXPECT_EQ(csv.mid(0, 3),
            (QStringList{"program,down_bytes", "\"/usr/bin/cu\"\"rl, 8\",800", "/opt/fox,450"}));
}

TEST(ReportTextTest, NamesAndLabelsAreEscapedForEachFormat) {
  Report report;
  report.title = "<b>\"Tom's\" & co</b>";
  report.profile.formats = kAllFormats;
  const QString html = QString::fromUtf8(WriteHtml(report));
  EXPECT_TRUE(html.contains("&lt;b&gt;&quot;Tom&#39;s&quot; &amp; co&lt;/b&gt;"));
  EXPECT_FALSE(html.contains("<b>"));
  EXPECT_FALSE(html.contains("<script"));
  EXPECT_EQ(QJsonDocument::fromJson(WriteJson(report)).object()["profile"].toString(),
            report.title);
  EXPECT_EQ(ReportText::Html(QString("a\x01"
                                     "b")),
            QString("a\uFFFD"
                    "b"));

  EXPECT_EQ(ReportText::CsvField(u"a,b"), "\"a,b\"");
  EXPECT_EQ(ReportText::CsvField(u"say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(ReportText::CsvField(u"line\nbreak"), "\"line\nbreak\"");
  EXPECT_EQ(ReportText::CsvField(u"=SUM(A1)"), "'=SUM(A1)");
  EXPECT_EQ(ReportText::CsvField(u"@cmd"), "'@cmd");
  EXPECT_EQ(ReportText::CsvField(u"-5"), "-5");

  EXPECT_EQ(ReportText::Bytes(999), "999 B");
  EXPECT_EQ(ReportText::Bytes(999995), "1.00 MB") << "rounds up into the next unit";
  EXPECT_EQ(ReportText::Bytes(123456789), "123.46 MB");
  EXPECT_EQ(ReportText::Speed(125000, 0), "1.00 Mbit/s");
  EXPECT_EQ(ReportText::Speed(128, 1), "1.00 kbit/s");
  EXPECT_EQ(ReportText::Duration(3 * 3600000 + 5 * 60000), "3 h 05 min");
}

}  // namespace
}  // namespace velmar
