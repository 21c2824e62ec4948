#pragma once

#include "alarms/common_alarm_actions.h"
#include "platform/desktop_notifier.h"

namespace velmar {

// The alarm actions of the meter in its window: the notification is a
// desktop bubble, and the beep the system's bell. Where the window system
// has no bell (Wayland), a beep's alarm is a bubble that plays the bell's
// sound and says why it came.
class DesktopAlarmActions : public CommonAlarmActions {
 public:
  explicit DesktopAlarmActions(bool systemBeep) : systemBeep_(systemBeep) {}

  void Beep() override;
  bool CanBeep() const override { return systemBeep_; }
  void NotifyInsteadOfBeep(const QString& body) override;
  void Notify(const QString& message) override;

 private:
  bool systemBeep_;
  DesktopNotifier notifier_;
};

}  // namespace velmar
