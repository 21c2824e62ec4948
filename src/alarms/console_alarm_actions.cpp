#include "alarms/console_alarm_actions.h"

#include <unistd.h>

#include "platform/launcher.h"

namespace velmar {

void ConsoleAlarmActions::Beep() {
  if (isatty(STDERR_FILENO) == 1) {
    const char bell = '\a';
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, &bell, 1);
  }
}

void ConsoleAlarmActions::SendMail(const QString& recipient, const QString& message) {
  mail_.Clear();
  mail_.Recipient << recipient;
  mail_.Subject = AlarmEvaluator::kSubject;
  mail_.Text = message;
  mail_.SendMail();
}

void ConsoleAlarmActions::Open(const QString& text) {
  Launcher::OpenOrRun(text);
}

}  // namespace velmar
