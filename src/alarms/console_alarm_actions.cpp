#include "alarms/console_alarm_actions.h"

#include <unistd.h>

#include <cstdio>

namespace velmar {

void ConsoleAlarmActions::Beep() {
  if (isatty(STDERR_FILENO) == 1) {
    const char bell = '\a';
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, &bell, 1);
  }
}

void ConsoleAlarmActions::Notify(const QString& message) {
  // The meter without a window keeps to Qt Core: no desktop bus here.
  std::fprintf(stderr, "%s: %s\n", qUtf8Printable(AlarmEvaluator::kSubject),
               qUtf8Printable(message));
  std::fflush(stderr);
}

}  // namespace velmar
