#include "history/data_plan.h"

#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace velmar {

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// The first day of the monthly period starting on `resetDay` in the month
// of `year`/`month`.
QDate MonthlyStart(int year, int month, int resetDay) {
  const QDate firstOfMonth(year, month, 1);
  return QDate(year, month, std::min(resetDay, firstOfMonth.daysInMonth()));
}

const char* PeriodName(DataPlan::Period p) {
  switch (p) {
    case DataPlan::Period::Weekly:
      return "weekly";
    case DataPlan::Period::Daily:
      return "daily";
    case DataPlan::Period::Days:
      return "days";
    case DataPlan::Period::Monthly:
      break;
  }
  return "monthly";
}

}  // namespace

const char* CountsName(DataPlan::Counts c) {
  switch (c) {
    case DataPlan::Counts::Down:
      return "down";
    case DataPlan::Counts::Up:
      return "up";
    case DataPlan::Counts::Both:
      break;
  }
  return "both";
}

std::optional<uint64_t> DataPlan::ParseSize(const QString& text) {
  static const QRegularExpression kSize(
      QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*(B|KB|MB|GB|TB|KiB|MiB|GiB|TiB)\\s*$"));
  const auto match = kSize.match(text);
  if (!match.hasMatch()) {
    return std::nullopt;
  }
  const QString unit = match.captured(2);
  const bool binary = unit.contains(QLatin1Char('i'));
  static const QString kPrefixes = QStringLiteral("BKMGT");
  const int power = static_cast<int>(kPrefixes.indexOf(unit.at(0)));
  const double bytes = match.captured(1).toDouble() * std::pow(binary ? 1024.0 : 1000.0, power);
  if (!(bytes < 1.8e19)) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(std::llround(bytes));
}

QString DataPlan::ToText() const {
  QStringList warn;
  for (int w : warnAt) {
    warn << QString::number(w);
  }
  return QStringList{QString::number(limitBytes),
                     QString::fromLatin1(PeriodName(period)),
                     QString::number(period == Period::Days ? days : resetDay),
                     anchor.isValid() ? anchor.toString(kDateFormat) : QString(),
                     QString::fromLatin1(CountsName(counts)),
                     interfaces.join(QLatin1Char(',')),
                     warn.join(QLatin1Char(','))}
      .join(QLatin1Char('\t'));
}

std::optional<DataPlan> DataPlan::FromText(const QString& text) {
  const QStringList f = text.split(QLatin1Char('\t'));
  if (f.size() != 7) {
    return std::nullopt;
  }
  DataPlan plan;
  bool ok = false;
  plan.limitBytes = f[0].toULongLong(&ok);
  if (!ok || plan.limitBytes == 0) {
    return std::nullopt;
  }
  const QString period = f[1];
  const int number = f[2].toInt(&ok);
  if (!ok) {
    return std::nullopt;
  }
  if (period == QLatin1String("monthly") && number >= 1 && number <= 31) {
    plan.period = Period::Monthly;
    plan.resetDay = number;
  } else if (period == QLatin1String("weekly") && number >= 1 && number <= 7) {
    plan.period = Period::Weekly;
    plan.resetDay = number;
  } else if (period == QLatin1String("daily")) {
    plan.period = Period::Daily;
  } else if (period == QLatin1String("days") && number >= 1 && number <= 3660) {
    plan.period = Period::Days;
    plan.days = number;
    plan.anchor = QDate::fromString(f[3], kDateFormat);
    if (!plan.anchor.isValid()) {
      return std::nullopt;
    }
  } else {
    return std::nullopt;
  }
  if (f[4] == QLatin1String("down")) {
    plan.counts = Counts::Down;
  } else if (f[4] == QLatin1String("up")) {
    plan.counts = Counts::Up;
  } else if (f[4] != QLatin1String("both")) {
    return std::nullopt;
  }
  plan.interfaces = f[5].split(QLatin1Char(','), Qt::SkipEmptyParts);
  plan.warnAt.clear();
  for (const QString& w : f[6].split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    const int percent = w.toInt(&ok);
    if (!ok || percent < 1 || percent > 1000) {
      return std::nullopt;
    }
    plan.warnAt << percent;
  }
  std::sort(plan.warnAt.begin(), plan.warnAt.end());
  plan.warnAt.erase(std::unique(plan.warnAt.begin(), plan.warnAt.end()), plan.warnAt.end());
  return plan;
}

PlanPeriod PeriodHolding(const DataPlan& plan, QDate day) {
  switch (plan.period) {
    case DataPlan::Period::Daily:
      return {day, day.addDays(1)};
    case DataPlan::Period::Weekly: {
      const int back = (day.dayOfWeek() - plan.resetDay + 7) % 7;
      const QDate first = day.addDays(-back);
      return {first, first.addDays(7)};
    }
    case DataPlan::Period::Days: {
      const qint64 since = plan.anchor.daysTo(day);
      // Periods run both ways from the anchor; floor division for days
      // before it.
      const qint64 index = since >= 0 ? since / plan.days : -((-since + plan.days - 1) / plan.days);
      const QDate first = plan.anchor.addDays(index * plan.days);
      return {first, first.addDays(plan.days)};
    }
    case DataPlan::Period::Monthly:
      break;
  }
  QDate first = MonthlyStart(day.year(), day.month(), plan.resetDay);
  if (day < first) {
    const QDate before = QDate(day.year(), day.month(), 1).addMonths(-1);
    first = MonthlyStart(before.year(), before.month(), plan.resetDay);
  }
  const QDate after = QDate(first.year(), first.month(), 1).addMonths(1);
  return {first, MonthlyStart(after.year(), after.month(), plan.resetDay)};
}

PlanStatus StatusOf(const DataPlan& plan, uint64_t used, const QDateTime& now) {
  PlanStatus status;
  status.period = PeriodHolding(plan, now.date());
  status.used = used;
  status.left = used < plan.limitBytes ? plan.limitBytes - used : 0;
  const QDateTime start(status.period.first, QTime(0, 0), now.timeZone());
  status.end = QDateTime(status.period.next, QTime(0, 0), now.timeZone());
  const qint64 elapsedMs = start.msecsTo(now);
  const qint64 lengthMs = start.msecsTo(status.end);
  status.daysLeft = static_cast<double>(now.msecsTo(status.end)) / 86400000.0;
  if (elapsedMs >= 3600000 && lengthMs > 0) {
    status.forecast = static_cast<uint64_t>(
        std::llround(static_cast<double>(used) * static_cast<double>(lengthMs) / elapsedMs));
  }
  return status;
}

QList<int> PlanWarnings::Due(const DataPlan& plan, const PlanPeriod& period, uint64_t used) {
  if (period.first != periodFirst_) {
    periodFirst_ = period.first;
    warned_.clear();
  }
  QList<int> due;
  for (int percent : plan.warnAt) {
    const long double threshold = static_cast<long double>(plan.limitBytes) * percent / 100;
    if (static_cast<long double>(used) >= threshold && !warned_.contains(percent)) {
      due << percent;
      warned_ << percent;
    }
  }
  return due;
}

QString PlanWarnings::ToText() const {
  QStringList warned;
  for (int w : warned_) {
    warned << QString::number(w);
  }
  return periodFirst_.toString(kDateFormat) + QLatin1Char(':') + warned.join(QLatin1Char(','));
}

PlanWarnings PlanWarnings::FromText(const QString& text) {
  PlanWarnings warnings;
  const qsizetype colon = text.indexOf(QLatin1Char(':'));
  if (colon < 0) {
    return warnings;
  }
  warnings.periodFirst_ = QDate::fromString(text.left(colon), kDateFormat);
  for (const QString& w : text.mid(colon + 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    bool ok = false;
    const int percent = w.toInt(&ok);
    if (ok) {
      warnings.warned_ << percent;
    }
  }
  return warnings;
}

}  // namespace velmar
