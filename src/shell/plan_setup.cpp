#include "shell/plan_setup.h"

#include "config/settings_list.h"
#include "history/plan_settings.h"
#include "platform/user_interface.h"

namespace velmar {

const QString PlanSetup::kNoPlan = QStringLiteral("No data plan");

bool PlanSetup::Run() {
  UserInterface& ui = UserInterface::Get();
  const std::optional<DataPlan> current = PlanSettings::Read(settings_);
  DataPlan plan = current.value_or(DataPlan{});

  // A metered connection's device is what a plan is usually for.
  bool chosen = false;
  for (const QString& device : metered_) {
    if (ui.Question(QStringLiteral("NetworkManager marks the connection of %1 as metered. Set a "
                                   "data plan for %1?")
                        .arg(device)) == UserInterface::Answer::Yes) {
      plan.interfaces = QStringList{device};
      chosen = true;
      break;
    }
  }
  if (!chosen) {
    const QString all = QStringLiteral("All");
    const auto which = ui.ChooseItem(QStringLiteral("Which interfaces does the plan count?"),
                                     QStringList{all} + interfaces_,
                                     plan.interfaces.isEmpty() ? all : plan.interfaces.first());
    if (!which) {
      return false;
    }
    plan.interfaces = *which == all ? QStringList{} : QStringList{*which};
  }

  QStringList limits{kNoPlan};
  for (const char* size : {"1 GB", "2 GB", "5 GB", "10 GB", "20 GB", "50 GB", "100 GB", "200 GB",
                           "500 GB", "1000 GB", "1 GiB", "10 GiB", "100 GiB"}) {
    limits << QLatin1String(size);
  }
  const QString currentLimit =
      current ? PlanSettings::LimitText(current->limitBytes) : QStringLiteral("10 GB");
  if (!limits.contains(currentLimit)) {
    limits.insert(1, currentLimit);
  }
  const auto limit = ui.ChooseItem(QStringLiteral("How much may the line carry in a period?"),
                                   limits, currentLimit);
  if (!limit) {
    return false;
  }
  if (*limit == kNoPlan) {
    PlanSettings::Clear(settings_);
    return current.has_value();
  }
  plan.limitBytes = *DataPlan::ParseSize(*limit);

  QStringList periods;
  for (int day = 1; day <= 31; ++day) {
    periods << QStringLiteral("monthly %1").arg(day);
  }
  for (int day = 1; day <= 7; ++day) {
    periods << QStringLiteral("weekly %1").arg(day);
  }
  periods << QStringLiteral("daily");
  const QString currentPeriod = PlanSettings::PeriodText(plan);
  if (!periods.contains(currentPeriod)) {
    periods << currentPeriod;
  }
  const auto period = ui.ChooseItem(
      QStringLiteral("When does a period start? (monthly: on that day of the month; weekly: 1 is "
                     "Monday)"),
      periods, currentPeriod);
  if (!period) {
    return false;
  }
  const auto counts =
      ui.ChooseItem(QStringLiteral("What counts?"),
                    {QStringLiteral("both"), QStringLiteral("down"), QStringLiteral("up")},
                    QStringLiteral("both"));
  if (!counts) {
    return false;
  }
  const auto warnings = ui.ChooseItem(QStringLiteral("Warn at which percentages of the limit?"),
                                      {QStringLiteral("80,100"), QStringLiteral("50,80,100"),
                                       QStringLiteral("90,100"), QStringLiteral("100")},
                                      QStringLiteral("80,100"));
  if (!warnings) {
    return false;
  }
  // The choices as lines, read back as the file would be.
  SettingsList edited = settings_;
  PlanSettings::Write(plan, edited);
  edited.SetLine(static_cast<int>(SettingsLine::kPlanPeriod), *period);
  edited.SetLine(static_cast<int>(SettingsLine::kPlanCounts), *counts);
  edited.SetLine(static_cast<int>(SettingsLine::kPlanWarnAt), *warnings);
  const std::optional<DataPlan> read = PlanSettings::Read(edited);
  if (!read) {
    ui.Message(QStringLiteral("That is no data plan; nothing was changed."));
    return false;
  }
  PlanSettings::Write(*read, settings_);
  return !current || current->ToText() != read->ToText();
}

}  // namespace velmar
