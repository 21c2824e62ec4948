#pragma once

#include "alarms/common_alarm_actions.h"

namespace velmar {

// The alarm actions of the meter without a window: the beep is the
// terminal's bell (when standard error is a terminal), the notification a
// line on standard error.
class ConsoleAlarmActions : public CommonAlarmActions {
 public:
  void Beep() override;
  void Notify(const QString& message) override;
};

}  // namespace velmar
