#include "report/report_model.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "alarms/alarm_evaluator.h"
#include "history/day_key_dates.h"

namespace velmar {

namespace {

struct Volume {
  uint64_t down = 0;
  uint64_t up = 0;
  bool estimated = false;
};

// What a record contributes: its counted bytes, or for an older record the
// estimate from its averages over the time it stands for.
Volume VolumeOf(const HistoryRecord& r) {
  if (r.counted) {
    return {r.downBytes, r.upBytes, false};
  }
  const double seconds = r.spanMs / 1000.0;
  return {static_cast<uint64_t>(std::llround(r.avgDown * seconds)),
          static_cast<uint64_t>(std::llround(r.avgUp * seconds)), true};
}

std::pair<qint64, qint64> QuotaSpan(const Quota& quota, qint64 periodEnd, const QDateTime& now) {
  // The quota month of the report's last moment, today at the latest.
  const qint64 last = std::min(periodEnd, DayKeyDates::LocalMs(now) + 1) - 1;
  const auto [first, next] = quota.MonthOf(DayKeyDates::FromLocalMs(last).date());
  // Midnights as the period's days have them (no time zone applied).
  return {DayKeyDates::LocalMs(QDateTime(first, QTime(0, 0), Qt::UTC)),
          DayKeyDates::LocalMs(QDateTime(next, QTime(0, 0), Qt::UTC))};
}

template <typename T>
auto FirstAtOrAfter(const std::vector<T>& items, qint64 at) {
  return std::lower_bound(items.begin(), items.end(), at,
                          [](const T& item, qint64 value) { return item.at < value; });
}

}  // namespace

const QString ProgramRow::kOther = QStringLiteral("other");
const QString ProgramRow::kOtherUsers = QStringLiteral("other users");
const QString ProgramRow::kNotAttributed = QStringLiteral("not attributed");
const QString ProgramRow::kNotByProgram = QStringLiteral("not recorded by program");

void GroupFigures::Add(const GroupFigures& other) {
  records += other.records;
  estimatedRecords += other.estimatedRecords;
  down += other.down;
  up += other.up;
  activeMs += other.activeMs;
  peakDown = std::max(peakDown, other.peakDown);
  peakUp = std::max(peakUp, other.peakUp);
  alarms += other.alarms;
  notRunningRecords += other.notRunningRecords;
  notRunningDown += other.notRunningDown;
  notRunningUp += other.notRunningUp;
}

std::pair<qint64, qint64> ReadSpan(const ReportProfile& profile, const QDateTime& now) {
  auto [start, end] = profile.period.Span(now);
  if (profile.quota) {
    const auto [first, next] = QuotaSpan(*profile.quota, end, now);
    start = std::min(start, first);
    end = std::max(end, next);
  }
  return {start, end};
}

namespace {

// The empty groups from the period's start: up to now, and further only
// for records stamped later (a clock that was set back).
void MakeGroups(Report& report, const HistoryExtract& history, const QDateTime& now) {
  const auto firstRecord = FirstAtOrAfter(history.records, report.start);
  const auto pastRecords = FirstAtOrAfter(history.records, report.end);
  qint64 limit = std::min(report.end, DayKeyDates::LocalMs(now) + 1);
  if (pastRecords != firstRecord) {
    limit = std::max(limit, std::prev(pastRecords)->at + 1);
  }
  const Grouping grouping = report.profile.grouping;
  for (qint64 at = report.start; at < limit;) {
    GroupFigures group;
    group.start = at;
    group.end = std::min(Groupings::Next(grouping, Groupings::Start(grouping, at)), report.end);
    report.groups.push_back(group);
    at = group.end;
  }
}

void AddRecords(Report& report, const HistoryExtract& history) {
  auto group = report.groups.begin();
  const auto pastRecords = FirstAtOrAfter(history.records, report.end);
  for (auto r = FirstAtOrAfter(history.records, report.start); r != pastRecords; ++r) {
    while (group->end <= r->at) {
      ++group;
    }
    const Volume v = VolumeOf(*r);
    ++group->records;
    group->estimatedRecords += v.estimated;
    group->down += v.down;
    group->up += v.up;
    if (r->WhileNotRunning()) {
      // Not measured: neither time measured nor a peak of five minutes.
      ++group->notRunningRecords;
      group->notRunningDown += v.down;
      group->notRunningUp += v.up;
      continue;
    }
    group->activeMs += r->spanMs;
    group->peakDown = std::max(group->peakDown, v.down * 1000.0 / r->spanMs);
    group->peakUp = std::max(group->peakUp, v.up * 1000.0 / r->spanMs);
  }
}

void AddAlarms(Report& report, const HistoryExtract& history) {
  auto group = report.groups.begin();
  for (auto a = FirstAtOrAfter(history.alarms, report.start);
       a != history.alarms.end() && a->at < report.end && !report.groups.empty(); ++a) {
    while (group != report.groups.end() && group->end <= a->at) {
      ++group;
    }
    if (group == report.groups.end()) {
      break;  // logged after now: a clock set back; nothing to put it in
    }
    ++group->alarms;
    report.alarms.push_back(ReportAlarm{a->at, a->code, AlarmEvaluator::Conditions(a->code)});
  }
}

// The period's volume per program. "not attributed" closes the gap to the
// counted total, so the rows add up to it even where a record's programs
// outran its count (a reading of the sockets just after the record's).
void AddPrograms(Report& report, const HistoryExtract& history) {
  std::map<QString, ProgramRow> named;
  ProgramRow notByProgram{ProgramRow::kNotByProgram};
  const auto past = FirstAtOrAfter(history.records, report.end);
  for (auto r = FirstAtOrAfter(history.records, report.start); r != past; ++r) {
    if (!r->byProgram) {
      const Volume v = VolumeOf(*r);
      notByProgram.down += v.down;
      notByProgram.up += v.up;
      continue;
    }
    for (const ProgramVolume& p : r->programs) {
      if (p.program != ProgramRow::kNotAttributed) {
        ProgramRow& row = named.try_emplace(p.program, ProgramRow{p.program}).first->second;
        row.down += p.down;
        row.up += p.up;
      }
    }
  }
  const auto special = [](const QString& name) {
    return name == ProgramRow::kOther || name == ProgramRow::kOtherUsers;
  };
  uint64_t down = notByProgram.down;
  uint64_t up = notByProgram.up;
  for (const auto& [name, row] : named) {
    if (!special(name)) {
      report.programs.push_back(row);
    }
    down += row.down;
    up += row.up;
  }
  std::stable_sort(report.programs.begin(), report.programs.end(),
                   [](const ProgramRow& a, const ProgramRow& b) { return a.Total() > b.Total(); });
  for (const QString& name : {ProgramRow::kOther, ProgramRow::kOtherUsers}) {
    if (const auto it = named.find(name); it != named.end()) {
      report.programs.push_back(it->second);
    }
  }
  const GroupFigures& t = report.totals;
  report.programs.push_back(ProgramRow{
      ProgramRow::kNotAttributed, t.down > down ? t.down - down : 0, t.up > up ? t.up - up : 0});
  if (notByProgram.Total() > 0) {
    report.programs.push_back(notByProgram);
  }
}

// The quota month's use so far and where it is heading.
QuotaFigures QuotaOf(const Quota& quota, qint64 periodEnd, const HistoryExtract& history,
                     const QDateTime& now) {
  QuotaFigures q;
  q.quota = quota;
  std::tie(q.monthStart, q.monthEnd) = QuotaSpan(quota, periodEnd, now);
  const qint64 nowMs = DayKeyDates::LocalMs(now);
  const auto past = FirstAtOrAfter(history.records, std::min(q.monthEnd, nowMs + 1));
  for (auto r = FirstAtOrAfter(history.records, q.monthStart); r < past; ++r) {
    const Volume v = VolumeOf(*r);
    q.estimated = q.estimated || v.estimated;
    switch (q.quota.counts) {
      case QuotaCounts::kTotal:
        q.used += v.down + v.up;
        break;
      case QuotaCounts::kDown:
        q.used += v.down;
        break;
      case QuotaCounts::kUp:
        q.used += v.up;
        break;
    }
  }
  q.complete = nowMs >= q.monthEnd;
  const qint64 elapsed = nowMs - q.monthStart;
  q.projected =
      q.complete || elapsed <= 0
          ? q.used
          : static_cast<uint64_t>(std::llround(static_cast<double>(q.used) *
                                               static_cast<double>(q.monthEnd - q.monthStart) /
                                               static_cast<double>(elapsed)));
  return q;
}

}  // namespace

Report BuildReport(const QString& title, const ReportProfile& profile,
                   const HistoryExtract& history, const QDateTime& now, int kilobitMode) {
  Report report;
  report.title = title;
  report.profile = profile;
  report.generated = now;
  report.kilobitMode = kilobitMode;
  report.incompleteRecords = history.incompleteRecords;
  report.unreadableAlarms = history.unreadableAlarms;
  for (const HistoryGap& gap : history.gaps) {
    if (gap.to >= profile.period.Span(now).first && gap.to < profile.period.Span(now).second) {
      report.gaps.push_back(gap);
    }
  }
  const auto [start, end] = profile.period.Span(now);
  report.start = start;
  report.end = end;
  report.totals.start = start;
  report.totals.end = end;

  MakeGroups(report, history, now);
  AddRecords(report, history);
  AddAlarms(report, history);
  for (const GroupFigures& g : report.groups) {
    report.totals.Add(g);
  }
  if (profile.grouping == Grouping::kProgram) {
    AddPrograms(report, history);
  }
  if (profile.quota) {
    report.quota = QuotaOf(*profile.quota, end, history, now);
  }
  return report;
}

}  // namespace velmar
