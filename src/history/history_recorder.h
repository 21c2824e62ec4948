#pragma once

#include <QString>

#include "day_key_dates.h"
#include "measurement_state.h"

namespace velmar {

class KeyStore;

// Every five minutes of measurement: one record of the two averages under
// the day's key of the history.
class HistoryRecorder {
 public:
  static const QString kHistoryKey;  // \Software\Tollera Works\Velmar2000\History
  static constexpr int kIntervalMs = 300000;

  HistoryRecorder(MeasurementState& state, KeyStore* store, DayKeyDates& dates)
      : state_(state), store_(store), dates_(dates) {}

  void SetStore(KeyStore* store) { store_ = store; }

  // The tick handler. Registry failures propagate (the error report shows
  // them with section 44); the key is closed on every path.
  void HistIntervalTimerTimer();

  // The stored form of an average: bytes per second, halves to even.
  static qint32 Rounded(float bytesPerSecond);

 private:
  MeasurementState& state_;
  KeyStore* store_;
  DayKeyDates& dates_;
};

}  // namespace velmar
