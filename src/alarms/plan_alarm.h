#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "alarms/alarm_evaluator.h"
#include "history/plan_state.h"

namespace velmar {

class SettingsList;

// The data plan's warnings: each percentage of the limit once per period,
// through the alarm action the settings choose (line 36: a notification,
// a mail, a program or address; a beep where that is all). Which went out
// is kept on line 61, so a restart does not warn again.
class PlanAlarm : public QObject {
  Q_OBJECT

 public:
  PlanAlarm(SettingsList& settings, AlarmActions& actions)
      : settings_(settings), actions_(actions) {}

  // Sends the warnings `state` makes due and returns their percentages;
  // line 61 then holds them (the caller saves the file).
  QList<int> Check(const UsageState& state);

  // A warning's text: "Data plan: 80 % of 50.0 GB used (40.2 GB), ...".
  static QString Message(int percent, const UsageState& state);
  static const QString kSubject;

 signals:
  // An action that could not be taken (no mail system, no notification
  // server): the warning still counts as given.
  void actionFailed(const QString& failure);

 private:
  void Send(const QString& message);

  SettingsList& settings_;
  AlarmActions& actions_;
};

}  // namespace velmar
