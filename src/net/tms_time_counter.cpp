#include "tms_time_counter.h"

namespace velmar {

TmsTimeCounter::TmsTimeCounter(QObject* owner) : QObject(owner), timer_(this, false) {
  timer_.SetInterval(1000);
  timer_.OnTimer = [this](TmsTimer&) { Tick(); };
}

void TmsTimeCounter::StartCounting() {
  remaining_ = timeOut_;
  timer_.SetEnabled(true);
}

void TmsTimeCounter::StopCounting() {
  timer_.SetEnabled(false);
}

void TmsTimeCounter::RestartCounting() {
  remaining_ = timeOut_;
  timedOut_ = false;
  timer_.SetEnabled(true);
}

void TmsTimeCounter::Tick() {
  --remaining_;
  if (remaining_ <= 0) {
    timedOut_ = true;
  }
}

}  // namespace velmar
