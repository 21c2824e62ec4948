// The report's command line on arbitrary arguments, then the report it
// asks for over a small synthetic history around its period.
//
// Input: 8 control bytes (the moment the report is made, how many records
// and alarms, where they fall), then the arguments after `velmar --report`,
// one per line. Whatever the arguments, they end in a usage error or a
// valid profile; a report of that profile covers exactly its period, its
// groups follow one another inside it, and every record and alarm is
// counted in the one group whose time holds it and nowhere else: nothing
// from outside the period is mixed in. The quota counts the records of
// its month up to now.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "history/day_key_dates.h"
#include "report/profile_store.h"
#include "report/report_command_line.h"
#include "report/report_model.h"

using namespace velmar;

namespace {

QTemporaryDir* dir = nullptr;
ProfileStore* profiles = nullptr;

void Setup() {
  static int argc = 1;
  static char name[] = "fuzz_report";
  static char* argv[] = {name, nullptr};
  new QCoreApplication(argc, argv);
  dir = new QTemporaryDir;
  profiles = new ProfileStore(dir->filePath(QStringLiteral("Profiles")));
  // A saved profile the arguments may name and change.
  ReportProfile monthly;
  monthly.period.kind = PeriodKind::kThisMonth;
  monthly.grouping = Grouping::kDay;
  monthly.quota = Quota{50000000000ull, 15, QuotaCounts::kDown};
  profiles->Save(QStringLiteral("monthly"), monthly);
  ReportProfile range;
  range.period = ReportPeriod{PeriodKind::kRange, QDate(2026, 11, 30), QDate(2026, 12, 6)};
  range.grouping = Grouping::kHour;
  profiles->Save(QStringLiteral("week"), range);
}

uint64_t Mix(uint64_t& state) {
  uint64_t z = (state += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

template <typename T>
int CountIn(const std::vector<T>& items, qint64 from, qint64 to) {
  return static_cast<int>(std::count_if(
      items.begin(), items.end(), [&](const T& item) { return item.at >= from && item.at < to; }));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (dir == nullptr) {
    Setup();
  }
  if (size < 8) {
    return 0;
  }
  QStringList arguments{QStringLiteral("velmar"), QStringLiteral("--report")};
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char*>(data) + 8, static_cast<qsizetype>(size - 8));
  if (!text.isEmpty()) {
    arguments += text.split(QLatin1Char('\n'));
  }
  ReportRequest request;
  try {
    ReportCommandLine commandLine;
    request = commandLine.Parse(arguments, *profiles);
  } catch (const ReportUsageError&) {
    return 0;
  }
  if (request.help) {
    return 0;
  }
  const ReportProfile& profile = request.profile;
  profile.Validate();  // throws, and so fails, for a profile that is not whole

  // The moment of the report: some day within about ten years of the
  // meter's time, at some moment of it.
  const int days = static_cast<int>((data[0] | data[1] << 8) % 7300) - 3650;
  const int ms = static_cast<int>((data[2] | data[3] << 8 | data[4] << 16) % 86400000u);
  const QDateTime now(QDate(2026, 12, 8).addDays(days), QTime::fromMSecsSinceStartOfDay(ms));
  const qint64 nowMs = DayKeyDates::LocalMs(now);

  // A history over the span the report reads, and two days either side,
  // with records on the very edges of the period and of now.
  const auto [readStart, readEnd] = ReadSpan(profile, now);
  const auto [periodStart, periodEnd] = profile.period.Span(now);
  if (readStart > periodStart || readEnd < periodEnd) {
    abort();
  }
  uint64_t state = data[5] | uint64_t(data[6]) << 8;
  const int count = data[7] % 64;
  const qint64 from = readStart - 2 * DayKeyDates::kMsPerDay;
  const qint64 width = readEnd - readStart + 4 * DayKeyDates::kMsPerDay;
  const qint64 edges[] = {periodStart - 1, periodStart, periodEnd - 1, periodEnd,
                          nowMs,           nowMs + 1,   readStart,     readEnd - 1};
  HistoryExtract history;
  for (int i = 0; i < count; ++i) {
    const uint64_t r = Mix(state);
    const qint64 at = r % 4 == 0 ? edges[(r >> 2) % 8] : from + static_cast<qint64>(r % width);
    HistoryRecord record;
    record.at = at;
    record.counted = (r >> 8) % 3 != 0;
    record.downBytes = (r >> 12) % 100000;
    record.upBytes = (r >> 30) % 100000;
    record.avgDown = static_cast<qint32>((r >> 40) % 1000);
    record.avgUp = static_cast<qint32>((r >> 50) % 1000);
    record.spanMs = 300000;
    history.records.push_back(record);
    if ((r >> 60) % 4 == 0) {
      history.alarms.push_back(AlarmRecord{at, static_cast<qint32>(1 + (r >> 20) % 15), {}});
    }
  }
  const auto byTime = [](const auto& a, const auto& b) { return a.at < b.at; };
  std::stable_sort(history.records.begin(), history.records.end(), byTime);
  std::stable_sort(history.alarms.begin(), history.alarms.end(), byTime);

  const Report report = BuildReport(request.name, profile, history, now, 0);

  if (static_cast<qint64>(report.groups.size()) > ReportProfile::kMaxGroups) {
    abort();
  }
  // Exactly the period asked for.
  if (report.start != periodStart || report.end != periodEnd || report.start >= report.end) {
    abort();
  }
  if (profile.period.kind == PeriodKind::kRange) {
    // Midnights of the history's wall-clock count.
    const qint64 first = DayKeyDates::LocalMs(QDateTime(profile.period.from, QTime(0, 0), Qt::UTC));
    const qint64 last = DayKeyDates::LocalMs(QDateTime(profile.period.to, QTime(0, 0), Qt::UTC));
    if (report.start != first || report.end != last + DayKeyDates::kMsPerDay) {
      abort();
    }
  } else {
    const bool holdsNow = profile.period.kind != PeriodKind::kYesterday &&
                          profile.period.kind != PeriodKind::kLastMonth;
    if (holdsNow != (report.start <= nowMs && nowMs < report.end) ||
        (!holdsNow && report.end > nowMs)) {
      abort();
    }
  }
  // Groups one after the other, inside the period, each with just the
  // records and alarms of its own time.
  qint64 at = report.start;
  int records = 0;
  int alarms = 0;
  for (const GroupFigures& g : report.groups) {
    if (g.start != at || g.end <= g.start || g.end > report.end) {
      abort();
    }
    if (g.records != CountIn(history.records, g.start, g.end) ||
        g.alarms != CountIn(history.alarms, g.start, g.end)) {
      abort();
    }
    records += g.records;
    alarms += g.alarms;
    at = g.end;
  }
  if (records != CountIn(history.records, report.start, report.end) ||
      report.totals.records != records || report.totals.alarms != alarms ||
      static_cast<int>(report.alarms.size()) != alarms) {
    abort();
  }
  for (const ReportAlarm& a : report.alarms) {
    if (a.at < report.start || a.at >= report.end) {
      abort();
    }
  }
  // The groups reach now (or the end of a period that is over).
  if (!report.groups.empty() && report.groups.back().end < std::min(report.end, nowMs + 1)) {
    abort();
  }
  if (profile.quota) {
    if (!report.quota || report.quota->monthStart >= report.quota->monthEnd ||
        report.quota->monthStart < readStart || report.quota->monthEnd > readEnd) {
      abort();
    }
    uint64_t used = 0;
    for (const HistoryRecord& r : history.records) {
      if (r.at >= report.quota->monthStart && r.at < std::min(report.quota->monthEnd, nowMs + 1)) {
        const uint64_t down =
            r.counted ? r.downBytes : static_cast<uint64_t>(std::llround(r.avgDown * 300.0));
        const uint64_t up =
            r.counted ? r.upBytes : static_cast<uint64_t>(std::llround(r.avgUp * 300.0));
        used += profile.quota->counts == QuotaCounts::kDown ? down
                : profile.quota->counts == QuotaCounts::kUp ? up
                                                            : down + up;
      }
    }
    if (used != report.quota->used) {
      abort();
    }
  }
  return 0;
}
