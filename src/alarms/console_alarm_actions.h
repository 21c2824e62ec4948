#pragma once

#include "alarms/alarm_evaluator.h"
#include "alarms/mail_sender.h"

namespace velmar {

// The alarm actions of the meter without a window: the beep is the
// terminal's bell (when standard error is a terminal), the notification a
// line on standard error, the mail and the opening of a program or address
// work as in the window.
class ConsoleAlarmActions : public AlarmActions {
 public:
  void Beep() override;
  void SendMail(const QString& recipient, const QString& message) override;
  void Open(const QString& text) override;
  void Notify(const QString& message) override;

 private:
  MailSender mail_;
};

}  // namespace velmar
