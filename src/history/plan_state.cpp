#include "history/plan_state.h"

#include <QJsonArray>
#include <QTimeZone>
#include <cmath>

#include "history/plan_settings.h"

namespace velmar {

namespace {

QString DaysText(double days) {
  return days >= 10 ? QString::number(std::floor(days), 'f', 0) : QString::number(days, 'f', 1);
}

}  // namespace

QString ByteText(uint64_t bytes) {
  static const char* const kUnits[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 999.5 && unit < 6) {
    value /= 1000;
    ++unit;
  }
  if (unit == 0) {
    return QString::number(bytes) + QStringLiteral(" B");
  }
  const int decimals = value < 9.995 ? 2 : value < 99.95 ? 1 : 0;
  return QString::number(value, 'f', decimals) + QLatin1Char(' ') + QLatin1String(kUnits[unit]);
}

UsageState UsageState::Of(const UsageKeeper& keeper, const std::optional<DataPlan>& plan,
                          const UsageKeeper::Selection& all, const QDateTime& now, bool fresh) {
  UsageState state;
  state.plan = plan;
  state.use = keeper.Current(fresh);
  const DataPlan rule = plan.value_or(DataPlan{});  // without a plan: what "All" takes
  for (const InterfaceUse& u : state.use.interfaces) {
    state.counted.push_back(rule.interfaces.isEmpty() ? all(u.name)
                                                      : rule.interfaces.contains(u.name));
  }
  if (plan) {
    state.status = StatusOf(*plan, state.use.Counted(*plan, all), now);
  }
  return state;
}

QString UsageState::Text() const {
  QString text = QStringLiteral("Period %1 to %2\n")
                     .arg(use.period.first.toString(Qt::ISODate),
                          use.period.next.addDays(-1).toString(Qt::ISODate));
  text += QStringLiteral("%1 %2 %3\n")
              .arg(QStringLiteral("Interface"), -16)
              .arg(QStringLiteral("Received"), 12)
              .arg(QStringLiteral("Sent"), 12);
  for (size_t i = 0; i < use.interfaces.size(); ++i) {
    const InterfaceUse& u = use.interfaces[i];
    text += QStringLiteral("%1 %2 %3%4\n")
                .arg(u.name, -16)
                .arg(ByteText(u.received), 12)
                .arg(ByteText(u.transmitted), 12)
                .arg(plan && !counted[i] ? QStringLiteral("  (not in the plan)") : QString());
  }
  if (!plan) {
    return text + QStringLiteral("No data plan is set.\n");
  }
  text += QStringLiteral("Plan: %1 %2, counting %3 on %4\n")
              .arg(ByteText(plan->limitBytes), PlanSettings::PeriodText(*plan),
                   QLatin1String(CountsName(plan->counts)),
                   plan->interfaces.isEmpty() ? QStringLiteral("All")
                                              : plan->interfaces.join(QStringLiteral(", ")));
  return text + PlanLine() + QLatin1Char('\n');
}

QString UsageState::PlanLine() const {
  if (!plan || !status) {
    return {};
  }
  const double percent =
      plan->limitBytes ? 100.0 * static_cast<double>(status->used) / plan->limitBytes : 0;
  QString line = QStringLiteral("%1 of %2 used (%3 %), %4 left, %5 days left")
                     .arg(ByteText(status->used), ByteText(plan->limitBytes))
                     .arg(QString::number(percent, 'f', 0), ByteText(status->left),
                          DaysText(status->daysLeft));
  if (status->forecast) {
    line +=
        QStringLiteral("; at this pace %1 by the period's end").arg(ByteText(*status->forecast));
  }
  return line;
}

QString UsageState::PlanTip() const {
  if (!plan || !status) {
    return {};
  }
  QString second = DaysText(status->daysLeft) + QStringLiteral(" days left");
  if (status->forecast) {
    second += QStringLiteral("; at this pace ") + ByteText(*status->forecast);
  }
  return QStringLiteral("Plan: %1 of %2 used, %3 left\n")
             .arg(ByteText(status->used), ByteText(plan->limitBytes), ByteText(status->left)) +
         second;
}

QString UsageState::PlanBadge() const {
  if (!plan || !status || plan->limitBytes == 0) {
    return {};
  }
  const double percent = 100.0 * static_cast<double>(status->used) / plan->limitBytes;
  return QStringLiteral("Plan %1 %, %2 d")
      .arg(QString::number(percent, 'f', 0), DaysText(status->daysLeft));
}

QJsonObject UsageState::Json(const QDateTime& generated) const {
  QJsonObject o;
  o[QStringLiteral("generated")] =
      generated.toOffsetFromUtc(generated.offsetFromUtc()).toString(Qt::ISODateWithMs);
  o[QStringLiteral("period")] =
      QJsonObject{{QStringLiteral("first_day"), use.period.first.toString(Qt::ISODate)},
                  {QStringLiteral("next_period_day"), use.period.next.toString(Qt::ISODate)}};
  QJsonArray interfaces;
  for (size_t i = 0; i < use.interfaces.size(); ++i) {
    const InterfaceUse& u = use.interfaces[i];
    interfaces.append(QJsonObject{{QStringLiteral("name"), u.name},
                                  {QStringLiteral("received_bytes"), qint64(u.received)},
                                  {QStringLiteral("transmitted_bytes"), qint64(u.transmitted)},
                                  {QStringLiteral("in_plan"), bool(counted[i])}});
  }
  o[QStringLiteral("interfaces")] = interfaces;
  if (!plan || !status) {
    o[QStringLiteral("plan")] = QJsonValue::Null;
    return o;
  }
  QJsonArray warnAt;
  for (int w : plan->warnAt) {
    warnAt.append(w);
  }
  QJsonArray names;
  for (const QString& n : plan->interfaces) {
    names.append(n);
  }
  o[QStringLiteral("plan")] = QJsonObject{
      {QStringLiteral("limit_bytes"), qint64(plan->limitBytes)},
      {QStringLiteral("period"), PlanSettings::PeriodText(*plan)},
      {QStringLiteral("counts"), QLatin1String(CountsName(plan->counts))},
      {QStringLiteral("interfaces"),
       plan->interfaces.isEmpty() ? QJsonValue(QStringLiteral("All")) : QJsonValue(names)},
      {QStringLiteral("warn_at_percent"), warnAt},
      {QStringLiteral("used_bytes"), qint64(status->used)},
      {QStringLiteral("left_bytes"), qint64(status->left)},
      {QStringLiteral("days_left"), std::round(status->daysLeft * 1000) / 1000},
      {QStringLiteral("period_end"),
       status->end.toOffsetFromUtc(status->end.offsetFromUtc()).toString(Qt::ISODate)},
      {QStringLiteral("forecast_bytes"),
       status->forecast ? QJsonValue(qint64(*status->forecast)) : QJsonValue(QJsonValue::Null)}};
  return o;
}

}  // namespace velmar
