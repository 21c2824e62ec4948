#pragma once

#include <QObject>

namespace velmar {

// A plain interval timer on the GUI thread's event loop.
class IntervalTimer : public QObject {
  Q_OBJECT

 public:
  explicit IntervalTimer(QObject* owner = nullptr, bool enabled = true);
  ~IntervalTimer() override;

  int Interval() const { return interval_; }
  // Takes effect at once on a running timer.
  void SetInterval(int milliseconds);
  bool Enabled() const { return timerId_ != 0; }
  // Raises SocketError "Not enough timers" when the event loop refuses one.
  void SetEnabled(bool enabled);

 signals:
  void timeout(velmar::IntervalTimer& sender);

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  int interval_ = 1000;
  int timerId_ = 0;
};

}  // namespace velmar
