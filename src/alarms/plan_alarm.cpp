#include "alarms/plan_alarm.h"

#include "config/settings_line.h"
#include "config/settings_list.h"
#include "history/plan_settings.h"
#include "platform/exception.h"

namespace velmar {

const QString PlanAlarm::kSubject = QStringLiteral("Velmar 2000 data plan");

QString PlanAlarm::Message(int percent, const UsageState& state) {
  return QStringLiteral("Data plan: %1 % of the limit reached. %2")
      .arg(percent)
      .arg(state.PlanLine());
}

QList<int> PlanAlarm::Check(const UsageState& state) {
  if (!state.plan || !state.status) {
    return {};
  }
  PlanWarnings warned = PlanSettings::Warned(settings_);
  const QList<int> due = warned.Due(*state.plan, state.status->period, state.status->used);
  if (due.isEmpty()) {
    return due;
  }
  // Latched before acting: an action that fails is not retried at every
  // record, and the next threshold still goes out.
  PlanSettings::SetWarned(warned, settings_);
  // Two thresholds passed at once (a long time not running): one warning,
  // of the higher.
  Send(Message(due.last(), state));
  return due;
}

void PlanAlarm::Send(const QString& message) {
  try {
    const auto action =
        static_cast<AlarmAction>(settings_.LineNumber(SettingsLine::kAlarmAction, -1));
    const QString target = settings_.Line(SettingsLine::kAlarmTarget).trimmed();
    switch (action) {
      case AlarmAction::kMail:
        actions_.SendMail(target, message);
        break;
      case AlarmAction::kRunProgram:
      case AlarmAction::kOpenUrl:
        actions_.Open((target + QLatin1Char('?') + message).left(AlarmEvaluator::kShellTextLimit));
        break;
      case AlarmAction::kBeep:
        if (actions_.CanBeep()) {
          actions_.Beep();
        }
        [[fallthrough]];
      case AlarmAction::kNotify:
      default:
        // A beep alone does not say the plan runs out: a bubble says it.
        actions_.Notify(message);
        break;
    }
  } catch (const Exception& e) {
    emit actionFailed(e.Message());
  }
}

}  // namespace velmar
