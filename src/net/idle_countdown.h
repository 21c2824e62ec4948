#pragma once

#include <QObject>

#include "net/interval_timer.h"

namespace velmar {

// A countdown of idle seconds for the socket layer's wait loops, ticking on
// a one-second IntervalTimer. While it runs, the timer also wakes a wait loop at
// least once a second, so a loop never sleeps past its time-out.
class IdleCountdown : public QObject {
 public:
  explicit IdleCountdown(QObject* owner = nullptr);

  int TimeOut() const { return timeOut_; }
  void SetTimeOut(int seconds) { timeOut_ = seconds; }
  int Remaining() const { return remaining_; }
  bool TimedOut() const { return timedOut_; }
  bool Running() const { return timer_.Enabled(); }

  // Loads Remaining and starts the timer; a running timer goes on as it is.
  void StartCounting();
  void StopCounting();
  // Loads Remaining, clears TimedOut and starts the timer if it is off.
  void RestartCounting();

  // One tick of the timer (public so tests can drive the countdown).
  void Tick();

 private:
  IntervalTimer timer_;
  int timeOut_ = 60;
  int remaining_ = 60;
  bool timedOut_ = false;
};

}  // namespace velmar
