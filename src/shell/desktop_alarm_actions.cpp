#include "shell/desktop_alarm_actions.h"

#include "platform/user_interface.h"

namespace velmar {

void DesktopAlarmActions::Beep() {
  if (systemBeep_) {
    UserInterface::Get().Beep();
  } else {
    notifier_.Notify(AlarmEvaluator::kSubject, QString(), DesktopNotifier::kBellSound);
  }
}

void DesktopAlarmActions::Notify(const QString& message) {
  notifier_.Notify(AlarmEvaluator::kSubject, message);
}

}  // namespace velmar
