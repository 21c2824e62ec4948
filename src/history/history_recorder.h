#pragma once

#include <QString>

#include "day_key_dates.h"
#include "measurement_state.h"
#include "product.h"

namespace velmar {

class KeyStore;

// Every five minutes of measurement: one record of the two averages under
// the day's key of the history.
class HistoryRecorder {
 public:
  static const QString kHistoryKey;  // \Software\Tollera Works\Velmar2000\History
  // The values of a day's record n: "HighWater" holds the last n.
  static const QString kHighWater;
  static QString TimestampName(int n) { return QStringLiteral("Timestamp_") + QString::number(n); }
  static QString AvgDownName(int n) { return QStringLiteral("AvgDownSpeed_") + QString::number(n); }
  static QString AvgUpName(int n) { return QStringLiteral("AvgUpSpeed_") + QString::number(n); }
  // The key of the day named `name`, and of its alarm log.
  static QString DayKey(const QString& name) { return kHistoryKey + QLatin1Char('\\') + name; }
  static QString AlarmsKey(const QString& name) {
    return DayKey(name) + QStringLiteral("\\Alarms");
  }
  static constexpr int kIntervalMs = 300000;

  HistoryRecorder(MeasurementState& state, KeyStore* store, DayKeyDates& dates)
      : state_(state), store_(store), dates_(dates) {}

  void SetStore(KeyStore* store) { store_ = store; }

  // The tick handler. Registry failures propagate (the error report shows
  // them with section 44); the key is closed on every path.
  void RecordTick();

  // The stored form of an average: bytes per second, halves to even.
  static qint32 Rounded(float bytesPerSecond);

 private:
  MeasurementState& state_;
  KeyStore* store_;
  DayKeyDates& dates_;
};

}  // namespace velmar
