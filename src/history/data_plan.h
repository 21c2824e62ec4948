#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace velmar {

// A data plan: how much the line may carry in a period, and when to warn.
struct DataPlan {
  enum class Period { Monthly, Weekly, Daily, Days };
  enum class Counts { Down, Up, Both };

  uint64_t limitBytes = 0;
  Period period = Period::Monthly;
  // Monthly: the day of the month a period starts (1-31; past a short
  // month's end, its last day). Weekly: 1 Monday to 7 Sunday.
  int resetDay = 1;
  // Days: the length of a period and a day on which one starts.
  int days = 30;
  QDate anchor;
  Counts counts = Counts::Both;
  QStringList interfaces;      // empty: "All"
  QList<int> warnAt{80, 100};  // percentages of the limit, ascending

  // The settings file's form, one line of tab-separated fields, and back.
  // A line that does not hold a plan reads as nullopt, never half a plan.
  QString ToText() const;
  static std::optional<DataPlan> FromText(const QString& text);
  // "5 GB", "1.5 GiB": decimal and binary units; nullopt for anything else.
  static std::optional<uint64_t> ParseSize(const QString& text);
};

// One period of a plan, in local calendar days: from the start of `first`
// to the start of `next`, whatever daylight saving does in between.
struct PlanPeriod {
  QDate first;
  QDate next;

  bool operator==(const PlanPeriod&) const = default;
};

PlanPeriod PeriodHolding(const DataPlan& plan, QDate day);

// Where a plan stands at `now` with `used` bytes counted in its period.
struct PlanStatus {
  PlanPeriod period;
  uint64_t used = 0;
  uint64_t left = 0;    // 0 once the limit is reached
  double daysLeft = 0;  // to the period's end, in days of 24 hours
  // The use at the period's end at the pace so far (used / time elapsed x
  // the period's length); none in the period's first hour, when a few
  // minutes' pace says nothing of a month.
  std::optional<uint64_t> forecast;
  QDateTime end;
};

PlanStatus StatusOf(const DataPlan& plan, uint64_t used, const QDateTime& now);

// Which warnings are due: each threshold once per period, kept across
// restarts through its text form.
class PlanWarnings {
 public:
  // The thresholds `used` has reached in `period` and not been warned of;
  // they count as warned from now on.
  QList<int> Due(const DataPlan& plan, const PlanPeriod& period, uint64_t used);

  QString ToText() const;
  static PlanWarnings FromText(const QString& text);

 private:
  QDate periodFirst_;
  QList<int> warned_;
};

// "down", "up" or "both", as the settings line and the JSON write them.
const char* CountsName(DataPlan::Counts counts);

}  // namespace velmar
