#include "net/interval_timer.h"

#include <QTimerEvent>

#include "net/socket_error.h"

namespace velmar {

IntervalTimer::IntervalTimer(QObject* owner, bool enabled) : QObject(owner) {
  SetEnabled(enabled);
}

IntervalTimer::~IntervalTimer() {
  SetEnabled(false);
}

void IntervalTimer::SetInterval(int milliseconds) {
  interval_ = milliseconds;
  if (Enabled()) {
    SetEnabled(false);
    SetEnabled(true);
  }
}

void IntervalTimer::SetEnabled(bool enabled) {
  if (enabled == Enabled()) {
    return;
  }
  if (!enabled) {
    killTimer(timerId_);
    timerId_ = 0;
    return;
  }
  timerId_ = startTimer(interval_);
  if (timerId_ == 0) {
    throw SocketError("Not enough timers");
  }
}

void IntervalTimer::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timerId_) {
    return;
  }
  emit timeout(*this);
}

}  // namespace velmar
