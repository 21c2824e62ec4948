#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/exception.h"

namespace velmar {

// A profile or a report request that cannot be used as it is; the message
// says which entry and why.
class ProfileError : public Exception {
 public:
  using Exception::Exception;
};

enum class PeriodKind { kToday, kYesterday, kThisWeek, kLast7Days, kThisMonth, kLastMonth, kRange };

// The time a report covers, relative to the moment it is made (except a
// date range). Weeks start on Monday, as ISO 8601 and the date dialog have
// them; "last 7 days" are today and the six days before it.
struct ReportPeriod {
  PeriodKind kind = PeriodKind::kToday;
  QDate from;  // a range: its first and last day, both whole
  QDate to;

  // [start, end) in DayKeyDates::LocalMs for a report made at `now`.
  std::pair<qint64, qint64> Span(const QDateTime& now) const;

  // "today", "yesterday", "this-week", "last-7-days", "this-month",
  // "last-month", "range".
  static QString Name(PeriodKind kind);
  static std::optional<PeriodKind> KindFromName(const QString& name);
  static const QStringList& Names();
  // The words a person reads: "Last 7 days", "1 Dec 2026 to 31 Dec 2026".
  QString Describe() const;

  bool operator==(const ReportPeriod&) const = default;
};

// kProgram: one row per program over the whole period (the records'
// volumes per program), not groups of time.
enum class Grouping { kFiveMinutes, kHour, kDay, kWeek, kMonth, kProgram };

struct Groupings {
  // "5min", "hour", "day", "week", "month", "program".
  static QString Name(Grouping grouping);
  static std::optional<Grouping> FromName(const QString& name);
  static const QStringList& Names();
  static QString Describe(Grouping grouping);  // "5 minutes", "hour", ...
  // The start of the group that holds `localMs`, and of the group after
  // the one starting at `start` (DayKeyDates::LocalMs).
  static qint64 Start(Grouping grouping, qint64 localMs);
  static qint64 Next(Grouping grouping, qint64 start);
};

// What a report shows, as flags.
enum ReportValue : unsigned {
  kDownVolume = 1u << 0,
  kUpVolume = 1u << 1,
  kTotalVolume = 1u << 2,
  kAverageSpeeds = 1u << 3,
  kPeakSpeeds = 1u << 4,
  kActiveTime = 1u << 5,
  kAlarmEvents = 1u << 6,
  kAllValues = (1u << 7) - 1,
};

enum ReportFormat : unsigned {
  kHtmlFormat = 1u << 0,
  kCsvFormat = 1u << 1,
  kJsonFormat = 1u << 2,
  kAllFormats = (1u << 3) - 1,
};

struct Flags {
  // "down", "up", "total", "average", "peak", "active", "alarms".
  static const QStringList& ValueNames();
  // "html", "csv", "json"; also the file suffixes.
  static const QStringList& FormatNames();
  static QStringList Names(unsigned flags, const QStringList& names);
  // Raises ProfileError naming `what` for an unknown or repeated name.
  static unsigned FromNames(const QStringList& list, const QStringList& names, const QString& what);
};

// Which direction a quota counts.
enum class QuotaCounts { kTotal, kDown, kUp };

// A monthly allowance: the month of the quota starts on `startDay` (a day
// the month lacks means its last day).
struct Quota {
  uint64_t bytes = 0;
  int startDay = 1;
  QuotaCounts counts = QuotaCounts::kTotal;

  static QString CountsName(QuotaCounts counts);  // "total", "down", "up"
  static std::optional<QuotaCounts> CountsFromName(const QString& name);
  // The quota month that holds the day `day`: [first day, first day of the
  // next quota month).
  std::pair<QDate, QDate> MonthOf(const QDate& day) const;
  bool operator==(const Quota&) const = default;
};

// A report profile: what "Generate Report" and `velmar --report NAME` make.
// Kept as profile.json in the profile's folder.
struct ReportProfile {
  ReportPeriod period;
  Grouping grouping = Grouping::kDay;
  unsigned values = kAllValues;
  std::optional<Quota> quota;
  unsigned formats = kHtmlFormat | kCsvFormat | kJsonFormat;

  // The groups a report may have: a year and a few days of five-minute
  // groups, some centuries of days. More would take the memory and time
  // of the machine and give a page nobody reads.
  static constexpr qint64 kMaxGroups = 110000;

  // Raises ProfileError for an end before the start, a range without
  // dates or with more than kMaxGroups groups, no value or format chosen,
  // a quota of 0 bytes or a start day outside 1..31.
  void Validate() const;

  QByteArray ToJson() const;
  // Raises ProfileError saying what is wrong with a file that is not a
  // profile (not JSON, a missing or mistyped entry, an unknown word).
  static ReportProfile FromJson(const QByteArray& json);

  bool operator==(const ReportProfile&) const = default;
};

// A size as a person types it: "50", "50 GB", "1.5TB", "700 MB" (units of
// 1000; a plain number is in `defaultUnit`). Raises ProfileError for
// anything else, for 0 and for sizes beyond 2^63 bytes.
uint64_t ParseSize(const QString& text, const QString& defaultUnit = QStringLiteral("GB"));

}  // namespace velmar
