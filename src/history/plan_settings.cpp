#include "history/plan_settings.h"

#include "config/settings_line.h"
#include "config/settings_list.h"

namespace velmar {

namespace {

constexpr SettingsLine kLines[] = {SettingsLine::kPlanLimit, SettingsLine::kPlanPeriod,
                                   SettingsLine::kPlanCounts, SettingsLine::kPlanInterfaces,
                                   SettingsLine::kPlanWarnAt};

}  // namespace

std::optional<DataPlan> PlanSettings::Read(const SettingsList& settings) {
  const QString limitText = settings.Line(SettingsLine::kPlanLimit).trimmed();
  if (limitText.isEmpty()) {
    return std::nullopt;
  }
  const std::optional<uint64_t> limit = DataPlan::ParseSize(limitText);
  if (!limit || *limit == 0) {
    return std::nullopt;
  }
  // The lines become the plan's one-line form, whose reading checks them.
  QString periodText = settings.Line(SettingsLine::kPlanPeriod).simplified();
  if (periodText.isEmpty()) {
    periodText = QStringLiteral("monthly 1");
  }
  QStringList period = periodText.split(QLatin1Char(' '));
  if (period.size() == 1 && period[0] == QLatin1String("daily")) {
    period << QStringLiteral("1");
  }
  while (period.size() < 3) {
    period << QString();
  }
  if (period.size() > 3 || period[0].isEmpty()) {
    return std::nullopt;
  }
  const QString counts = settings.Line(SettingsLine::kPlanCounts).trimmed();
  QString interfaces = settings.Line(SettingsLine::kPlanInterfaces).simplified();
  interfaces.remove(QLatin1Char(' '));
  if (interfaces.compare(QLatin1String("All"), Qt::CaseInsensitive) == 0) {
    interfaces.clear();
  }
  QString warnAt = settings.Line(SettingsLine::kPlanWarnAt).simplified();
  warnAt.remove(QLatin1Char(' '));
  return DataPlan::FromText(QStringList{QString::number(*limit), period[0], period[1], period[2],
                                        counts.isEmpty() ? QStringLiteral("both") : counts,
                                        interfaces,
                                        warnAt.isEmpty() ? QStringLiteral("80,100") : warnAt}
                                .join(QLatin1Char('\t')));
}

QString PlanSettings::LimitText(uint64_t bytes) {
  // A limit set in GiB reads back in GiB when it is a few digits there.
  const QString gib =
      QString::number(static_cast<double>(bytes) / double(uint64_t{1} << 30), 'f', 2);
  QString shortGib = gib;
  while (shortGib.endsWith(QLatin1Char('0'))) {
    shortGib.chop(1);
  }
  if (shortGib.endsWith(QLatin1Char('.'))) {
    shortGib.chop(1);
  }
  if (DataPlan::ParseSize(shortGib + QStringLiteral(" GiB")) == bytes) {
    return shortGib + QStringLiteral(" GiB");
  }
  return QString::number(static_cast<double>(bytes) / 1e9, 'g', 15) + QStringLiteral(" GB");
}

QString PlanSettings::PeriodText(const DataPlan& plan) {
  switch (plan.period) {
    case DataPlan::Period::Weekly:
      return QStringLiteral("weekly ") + QString::number(plan.resetDay);
    case DataPlan::Period::Daily:
      return QStringLiteral("daily");
    case DataPlan::Period::Days:
      return QStringLiteral("days %1 %2").arg(plan.days).arg(plan.anchor.toString(Qt::ISODate));
    case DataPlan::Period::Monthly:
      break;
  }
  return QStringLiteral("monthly ") + QString::number(plan.resetDay);
}

void PlanSettings::Write(const DataPlan& plan, SettingsList& settings) {
  const QStringList fields = plan.ToText().split(QLatin1Char('\t'));
  settings.SetLineExtending(SettingsLine::kPlanLimit, LimitText(plan.limitBytes));
  settings.SetLineExtending(SettingsLine::kPlanPeriod, PeriodText(plan));
  settings.SetLineExtending(SettingsLine::kPlanCounts, fields[4]);
  settings.SetLineExtending(SettingsLine::kPlanInterfaces,
                            plan.interfaces.isEmpty() ? QStringLiteral("All") : fields[5]);
  settings.SetLineExtending(SettingsLine::kPlanWarnAt, fields[6]);
  settings.SetLineExtending(SettingsLine::kPlanWarned, settings.Line(SettingsLine::kPlanWarned));
}

void PlanSettings::Clear(SettingsList& settings) {
  for (SettingsLine line : kLines) {
    settings.SetLineExtending(line, QString());
  }
  settings.SetLineExtending(SettingsLine::kPlanWarned, QString());
}

PlanWarnings PlanSettings::Warned(const SettingsList& settings) {
  return PlanWarnings::FromText(settings.Line(SettingsLine::kPlanWarned));
}

void PlanSettings::SetWarned(const PlanWarnings& warned, SettingsList& settings) {
  settings.SetLineExtending(SettingsLine::kPlanWarned, warned.ToText());
}

}  // namespace velmar
