#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "history/history_reader.h"
#include "report/report_profile.h"

namespace velmar {

// The figures of one group (or of the whole period). Volumes are the bytes
// the meter counted; for older records without counted volumes, the
// estimate average x five minutes, and such records are counted in
// `estimatedRecords`.
struct GroupFigures {
  qint64 start = 0;  // DayKeyDates::LocalMs; the end is excluded
  qint64 end = 0;
  int records = 0;
  int estimatedRecords = 0;
  uint64_t down = 0;
  uint64_t up = 0;
  // The time measured (the meter ACTIVE), as the records cover it.
  qint64 activeMs = 0;
  // The highest five-minute average of a record, bytes per second.
  double peakDown = 0;
  double peakUp = 0;
  int alarms = 0;
  // Of the volumes, what passed while the meter was not running (from the
  // kernel's counters at the next start), and in how many records.
  int notRunningRecords = 0;
  uint64_t notRunningDown = 0;
  uint64_t notRunningUp = 0;

  uint64_t Total() const { return down + up; }
  // Bytes per second over the time measured; 0 without any.
  double AverageDown() const { return activeMs > 0 ? down * 1000.0 / activeMs : 0; }
  double AverageUp() const { return activeMs > 0 ? up * 1000.0 / activeMs : 0; }
  bool Estimated() const { return estimatedRecords > 0; }
  void Add(const GroupFigures& other);
};

// One row of a report grouped by program: what a program moved over the
// period, or one of the rows that are none.
struct ProgramRow {
  QString program;  // the executable's path, or one of the names below
  uint64_t down = 0;
  uint64_t up = 0;
  uint64_t Total() const { return down + up; }

  // Beside the programs: the programs beyond each record's top N, other
  // users' sockets, what the interfaces counted beyond every socket, and
  // the volume of records kept without rows per program (older records,
  // a meter that did not read the programs, while it was not running).
  static const QString kOther;
  static const QString kOtherUsers;
  static const QString kNotAttributed;
  static const QString kNotByProgram;
};

struct ReportAlarm {
  qint64 at = 0;
  qint32 code = 0;
  QStringList conditions;  // what the code stands for
};

// Usage against a monthly quota: the quota month that holds the report's
// last day (today at the latest).
struct QuotaFigures {
  Quota quota;
  qint64 monthStart = 0;
  qint64 monthEnd = 0;
  uint64_t used = 0;       // in the quota month up to now
  uint64_t projected = 0;  // at the same pace to the month's end
  bool complete = false;   // the month is over: projected == used
  bool estimated = false;  // some of `used` is estimated

  double UsedShare() const { return quota.bytes ? double(used) / double(quota.bytes) : 0; }
  double ProjectedShare() const {
    return quota.bytes ? double(projected) / double(quota.bytes) : 0;
  }
};

// A report, ready for its writers.
struct Report {
  QString title;  // the profile's name, or "" for a report made from options
  ReportProfile profile;
  QDateTime generated;
  qint64 start = 0;  // the period, DayKeyDates::LocalMs
  qint64 end = 0;
  std::vector<GroupFigures> groups;
  GroupFigures totals;
  std::vector<ReportAlarm> alarms;
  std::optional<QuotaFigures> quota;
  // Grouped by program: the programs by volume, then "other", "other
  // users", "not attributed" and "not recorded by program" (the last only
  // when there is such volume); they add up to `totals`.
  std::vector<ProgramRow> programs;
  // Spans the history knows nothing of (the machine restarted while the
  // meter was not running), those ending in the period.
  std::vector<HistoryGap> gaps;
  int incompleteRecords = 0;
  int unreadableAlarms = 0;
  // For the speeds a person reads: 0 a kilobit of 1000 bits, 1 of 1024.
  int kilobitMode = 0;

  bool Shows(ReportValue value) const { return (profile.values & value) != 0; }
};

// What a report made at `now` needs to read: its period and, with a
// quota, the quota month. [start, end) in DayKeyDates::LocalMs.
std::pair<qint64, qint64> ReadSpan(const ReportProfile& profile, const QDateTime& now);

// The report of `history` (read over ReadSpan) for `profile` at `now`.
// Groups run from the period's start to its end, but not beyond now; a
// group without records shows zeros and 0 records.
Report BuildReport(const QString& title, const ReportProfile& profile,
                   const HistoryExtract& history, const QDateTime& now, int kilobitMode);

}  // namespace velmar
