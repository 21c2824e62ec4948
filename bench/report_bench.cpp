// A report of a year of five-minute history (105,120 records, every one
// with counted volumes): reading the key store, the figures, and the three
// files. The history is written once, before the timing.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <bit>
#include <memory>

#include "history/history_reader.h"
#include "history/history_recorder.h"
#include "platform/key_store.h"
#include "platform/registry.h"
#include "report/report_generator.h"

namespace velmar {
namespace {

constexpr int kYear = 2025;

struct YearOfHistory {
  QTemporaryDir dir;
  QString path = dir.filePath(QStringLiteral("registry.db"));
  int records = 0;

  YearOfHistory() {
    KeyStore store(path);
    uint64_t seed = 12345;
    for (QDate day(kYear, 1, 1); day.year() == kYear; day = day.addDays(1)) {
      Registry reg(store);
      reg.SetRootKey(KeyRoot::kMachine);
      reg.OpenKey(HistoryRecorder::DayKey(day.toString(QStringLiteral("yyyy-MM-dd"))), true);
      std::vector<NamedValue> values;
      int n = 0;
      for (int minute = 5; minute <= 24 * 60; minute += 5) {
        ++n;
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        const QDateTime at = QDateTime(day, QTime(0, 0)).addSecs(minute * 60 - 1);
        const quint64 stamp = std::bit_cast<quint64>(DayKeyDates::OleDate(at));
        values.push_back(
            {HistoryRecorder::TimestampName(n), StoredValue::Binary(HistoryRecorder::Quad(stamp))});
        values.push_back({HistoryRecorder::AvgDownName(n), StoredValue::Integer(int(seed >> 44))});
        values.push_back({HistoryRecorder::AvgUpName(n), StoredValue::Integer(int(seed >> 48))});
        values.push_back({HistoryRecorder::CountedDownName(n),
                          StoredValue::Binary(HistoryRecorder::Quad(seed >> 34))});
        values.push_back({HistoryRecorder::CountedUpName(n),
                          StoredValue::Binary(HistoryRecorder::Quad(seed >> 38))});
        values.push_back({HistoryRecorder::CountedMsName(n), StoredValue::Integer(300000)});
      }
      values.push_back({HistoryRecorder::kHighWater, StoredValue::Integer(n)});
      reg.WriteValues(values);
      records += n;
    }
  }
};

}  // namespace

YearOfHistory& History() {
  static YearOfHistory history;
  return history;
}

namespace {

// As Generate Report makes it: from the window's open store. `openStore`
// opens the file each time, as `velmar --report` does (with the store's
// check of the file).
void YearReport(benchmark::State& state, Grouping grouping, unsigned formats,
                bool openStore = false) {
  YearOfHistory& history = History();
  ReportProfile profile;
  profile.period = {PeriodKind::kRange, QDate(kYear, 1, 1), QDate(kYear, 12, 31)};
  profile.grouping = grouping;
  KeyStore store(history.path);
  const ReportSources sources{openStore ? nullptr : &store, history.path,
                              QStringLiteral("yyyy-MM-dd"),
                              QDateTime(QDate(kYear + 1, 1, 2), QTime(12, 0)), 0};
  qint64 bytes = 0;
  for (auto _ : state) {
    const Report report = ReportGenerator::Make(QStringLiteral("Year"), profile, sources);
    for (const ReportFormat format : {kHtmlFormat, kCsvFormat, kJsonFormat}) {
      if (formats & format) {
        bytes = ReportGenerator::Render(report, format).size();
        benchmark::DoNotOptimize(bytes);
      }
    }
    state.counters["records"] = report.totals.records;
    state.counters["groups"] = static_cast<double>(report.groups.size());
  }
  state.counters["last_file_bytes"] = static_cast<double>(bytes);
}

void BM_YearReportByDay(benchmark::State& state) {
  YearReport(state, Grouping::kDay, kAllFormats);
}
void BM_YearReportByDayOpeningTheStore(benchmark::State& state) {
  YearReport(state, Grouping::kDay, kAllFormats, true);
}
void BM_YearReportByFiveMinutesCsv(benchmark::State& state) {
  YearReport(state, Grouping::kFiveMinutes, kCsvFormat);
}
void BM_YearReportByFiveMinutesAll(benchmark::State& state) {
  YearReport(state, Grouping::kFiveMinutes, kAllFormats);
}
void BM_ReadYearOnly(benchmark::State& state) {
  YearOfHistory& history = History();
  DayKeyDates dates;
  dates.Format = [] { return QStringLiteral("yyyy-MM-dd"); };
  KeyStore store(history.path);
  for (auto _ : state) {
    const HistoryExtract extract =
        HistoryReader(store, dates)
            .Read(DayKeyDates::LocalMs(QDateTime(QDate(kYear, 1, 1), QTime(0, 0))),
                  DayKeyDates::LocalMs(QDateTime(QDate(kYear + 1, 1, 1), QTime(0, 0))));
    benchmark::DoNotOptimize(extract.records.size());
  }
}

BENCHMARK(BM_YearReportByDay)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadYearOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YearReportByDayOpeningTheStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YearReportByFiveMinutesCsv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_YearReportByFiveMinutesAll)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmar

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  velmar::History();  // written before anything is timed
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
