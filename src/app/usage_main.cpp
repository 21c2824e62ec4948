// The period's use of the command line:
//   velmar --usage              as text
//   velmar --usage --json       as JSON (docs/usage.schema.json)
#include "app/usage_main.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QTextStream>

#include "config/settings_list.h"
#include "history/plan_settings.h"
#include "history/plan_state.h"
#include "interfaces/interface_table.h"
#include "platform/key_store.h"

namespace velmar {

int RunUsage() {
  QTextStream out(stdout);
  QTextStream err(stderr);
  QStringList args = QCoreApplication::arguments().mid(1);
  args.removeAll(QStringLiteral("--usage"));
  const bool json = args.removeAll(QStringLiteral("--json")) > 0;
  if (!args.isEmpty()) {
    err << "velmar: --usage takes only --json, not '" << args.first() << "'\n";
    return 2;
  }
  try {
    SettingsList settings;
    if (!settings.LoadComplete(SettingsList::FilePath())) {
      settings.SetLines(SettingsList::DefaultLines());
    }
    const std::optional<DataPlan> plan = PlanSettings::Read(settings);
    if (!plan && !settings.Line(SettingsLine::kPlanLimit).trimmed().isEmpty()) {
      err << "velmar: the data plan's settings lines hold no plan; shown without one\n";
    }
    KeyStore store(KeyStore::DefaultPath());
    DayKeyDates dates;
    UsageKeeper keeper(&store, dates);
    keeper.SetPlan(plan);
    // "All" is what the meter's edge selection takes on this computer.
    UsageKeeper::Selection all = [](const QString& name) { return name != QLatin1String("lo"); };
    try {
      InterfaceTable table;
      table.Refresh(InterfaceTable::kInterfaces);
      all = MeterSelection(&table, 0, {});
    } catch (const std::exception& e) {
      err << "velmar: " << e.what() << "; \"All\" is every interface but the loopback\n";
    }
    // A first look starts the count: from here on, what passes is known
    // (a later start of the meter takes this as its last snapshot).
    if (!keeper.HasSnapshot()) {
      try {
        keeper.Keep();
      } catch (const std::exception& e) {
        err << "velmar: " << e.what() << '\n';
      }
    }
    const QDateTime now = QDateTime::currentDateTime();
    const UsageState state = UsageState::Of(keeper, plan, all, now, true);
    if (json) {
      out << QJsonDocument(state.Json(now)).toJson(QJsonDocument::Indented);
    } else {
      out << state.Text();
    }
    return 0;
  } catch (const std::exception& e) {
    err << "velmar: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace velmar
