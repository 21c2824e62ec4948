#include "shell/desktop_alarm_actions.h"

#include "platform/user_interface.h"

namespace velmar {

void DesktopAlarmActions::Beep() {
  UserInterface::Get().Beep();
}

void DesktopAlarmActions::NotifyInsteadOfBeep(const QString& body) {
  notifier_.Notify(AlarmEvaluator::kSubject, body, DesktopNotifier::kBellSound);
}

void DesktopAlarmActions::Notify(const QString& message) {
  notifier_.Notify(AlarmEvaluator::kSubject, message);
}

}  // namespace velmar
