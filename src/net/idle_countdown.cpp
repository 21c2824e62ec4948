#include "net/idle_countdown.h"

namespace velmar {

IdleCountdown::IdleCountdown(QObject* owner) : QObject(owner), timer_(this, false) {
  timer_.SetInterval(1000);
  connect(&timer_, &IntervalTimer::timeout, this, [this] { Tick(); });
}

void IdleCountdown::StartCounting() {
  remaining_ = timeOut_;
  timer_.SetEnabled(true);
}

void IdleCountdown::StopCounting() {
  timer_.SetEnabled(false);
}

void IdleCountdown::RestartCounting() {
  remaining_ = timeOut_;
  timedOut_ = false;
  timer_.SetEnabled(true);
}

void IdleCountdown::Tick() {
  --remaining_;
  if (remaining_ <= 0) {
    timedOut_ = true;
  }
}

}  // namespace velmar
