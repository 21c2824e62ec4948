#pragma once

#include <QObject>
#include <QString>

#include "alarms/plan_alarm.h"
#include "history/plan_state.h"
#include "history/usage_keeper.h"

namespace velmar {

class MetricsExporter;
class SettingsList;

// The data plan while the meter runs: at the start of measuring and at
// every history record, where the plan stands; its warnings; the figures
// the metrics endpoint shows; the line the window and the tray tip show.
class PlanWatch : public QObject {
  Q_OBJECT

 public:
  PlanWatch(UsageKeeper& keeper, SettingsList& settings, AlarmActions& actions)
      : keeper_(keeper), settings_(settings), alarm_(settings, actions) {}

  // The settings were (re)loaded: the plan from its lines.
  void Reload();
  // Where the plan stands now; `all` is what "All" takes. Sends the
  // warnings due, hands `metrics` (if any) the plan's figures.
  void Update(const UsageKeeper::Selection& all, MetricsExporter* metrics);

  const UsageState& State() const { return state_; }
  PlanAlarm& Alarm() { return alarm_; }

 signals:
  // The plan's line changed (empty: no plan).
  void lineChanged(const QString& line);
  // A warning went out: line 61 is to be saved.
  void warned();

 private:
  UsageKeeper& keeper_;
  SettingsList& settings_;
  PlanAlarm alarm_;
  std::optional<DataPlan> plan_;
  UsageState state_;
};

}  // namespace velmar
