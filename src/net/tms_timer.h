#pragma once

#include <QObject>
#include <functional>

namespace velmar {

// A plain interval timer on the GUI thread's event loop.
class TmsTimer : public QObject {
 public:
  explicit TmsTimer(QObject* owner = nullptr, bool enabled = true);
  ~TmsTimer() override;

  int Interval() const { return interval_; }
  // Takes effect at once on a running timer.
  void SetInterval(int milliseconds);
  bool Enabled() const { return timerId_ != 0; }
  // Raises EmsError "Not enough timers" when the event loop refuses one.
  void SetEnabled(bool enabled);

  std::function<void(TmsTimer& sender)> OnTimer;

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  int interval_ = 1000;
  int timerId_ = 0;
};

}  // namespace velmar
