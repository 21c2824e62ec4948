#include "tms_timer.h"

#include <QTimerEvent>

#include "ems_error.h"

namespace velmar {

TmsTimer::TmsTimer(QObject* owner, bool enabled) : QObject(owner) {
  SetEnabled(enabled);
}

TmsTimer::~TmsTimer() {
  SetEnabled(false);
}

void TmsTimer::SetInterval(int milliseconds) {
  interval_ = milliseconds;
  if (Enabled()) {
    SetEnabled(false);
    SetEnabled(true);
  }
}

void TmsTimer::SetEnabled(bool enabled) {
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
    throw EmsError("Not enough timers");
  }
}

void TmsTimer::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timerId_) {
    return;
  }
  if (OnTimer) {
    OnTimer(*this);
  }
}

}  // namespace velmar
