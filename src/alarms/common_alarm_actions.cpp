#include "alarms/common_alarm_actions.h"

#include "platform/launcher.h"

namespace velmar {

void CommonAlarmActions::SendMail(const QString& recipient, const QString& message) {
  mail_.Clear();
  mail_.Recipient << recipient;
  mail_.Subject = AlarmEvaluator::kSubject;
  mail_.Text = message;
  mail_.SendMail();
}

void CommonAlarmActions::Open(const QString& text) {
  Launcher::OpenOrRun(text);
}

}  // namespace velmar
