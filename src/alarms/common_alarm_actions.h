#pragma once

#include "alarms/alarm_evaluator.h"
#include "alarms/mail_sender.h"

namespace velmar {

// The alarm actions that work alike with a window and without one: the
// mail through the system's sendmail, and the opening of a program or an
// address. What a beep and a notification are depends on where the meter
// runs, so those stay with the kinds below.
class CommonAlarmActions : public AlarmActions {
 public:
  // Raises MailUnavailableError without a mail system. A mail program that
  // fails is not raised: the alarm has been evaluated and logged, and the
  // measurement goes on.
  void SendMail(const QString& recipient, const QString& message) override;
  void Open(const QString& text) override;

 private:
  MailSender mail_;
};

}  // namespace velmar
