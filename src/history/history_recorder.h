#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <optional>

#include "config/product.h"
#include "history/day_key_dates.h"
#include "history/program_volumes.h"
#include "measure/measurement_state.h"

namespace velmar {

class KeyStore;

// Every five minutes of measurement: one record of the two averages, and
// of the bytes counted in each direction since the record before, under the
// day's key of the history.
class HistoryRecorder {
 public:
  static const QString kHistoryKey;  // \Software\Tollera Works\Velmar2000\History
  // The values of a day's record n: "HighWater" holds the last n.
  static const QString kHighWater;
  static QString TimestampName(int n) { return QStringLiteral("Timestamp_") + QString::number(n); }
  static QString AvgDownName(int n) { return QStringLiteral("AvgDownSpeed_") + QString::number(n); }
  static QString AvgUpName(int n) { return QStringLiteral("AvgUpSpeed_") + QString::number(n); }
  // Beside them, from this version on: the bytes counted downstream and
  // upstream since the previous record (or since measuring started), as
  // 8-byte little-endian binaries, and the milliseconds those bytes took.
  // Readers that do not know them keep working; records without them are
  // older ones.
  static QString CountedDownName(int n) {
    return QStringLiteral("CountedDown_") + QString::number(n);
  }
  static QString CountedUpName(int n) { return QStringLiteral("CountedUp_") + QString::number(n); }
  static QString CountedMsName(int n) { return QStringLiteral("CountedMs_") + QString::number(n); }
  // And, while a source of per-program volumes is set, the record's rows
  // per program (EncodeProgramVolumes).
  static QString ProgramsName(int n) { return QStringLiteral("Programs_") + QString::number(n); }
  // The key of the day named `name`, and of its alarm log.
  static QString DayKey(const QString& name) { return kHistoryKey + QLatin1Char('\\') + name; }
  static QString AlarmsKey(const QString& name) {
    return DayKey(name) + QStringLiteral("\\Alarms");
  }
  // The period of the records: five minutes.
  static constexpr int kIntervalMs = 300000;
  // $VELMAR_HISTORY_PERIOD_MS when it holds a number of 100 and more (for
  // tests and trial runs), else kIntervalMs.
  static int DefaultPeriodMs();

  HistoryRecorder(MeasurementState& state, KeyStore* store, DayKeyDates& dates,
                  int periodMs = DefaultPeriodMs())
      : state_(state), store_(store), dates_(dates), periodMs_(periodMs) {}

  void SetStore(KeyStore* store) { store_ = store; }
  // Where each record's per-program volumes come from; null for none.
  void SetProgramSource(ProgramVolumeSource* source) { programs_ = source; }
  // How often the owner calls RecordTick.
  int PeriodMs() const { return periodMs_; }

  // Measuring starts: the next record's volumes count from here.
  void MeasuringStarted();

  // The tick handler. Registry failures propagate (the error report shows
  // them with section 44); the key is closed on every path.
  void RecordTick();
  // Measuring stopped: the bytes since the last record go into one more,
  // shorter record, so what follows ("while not running") starts here.
  // Once per start.
  void RecordStop();

  // The stored form of an average: bytes per second, halves to even.
  static qint32 Rounded(float bytesPerSecond);
  // The stored form of a byte count, and back (nullopt: not 8 bytes).
  static QByteArray Quad(uint64_t value);
  static std::optional<uint64_t> FromQuad(const QByteArray& bytes);

 private:
  void Write();

  MeasurementState& state_;
  KeyStore* store_;
  DayKeyDates& dates_;
  int periodMs_;
  ProgramVolumeSource* programs_ = nullptr;
  // The counted totals as the previous record (or the start) left them,
  // and the time since then.
  uint64_t recordedDown_ = 0;
  uint64_t recordedUp_ = 0;
  QElapsedTimer sinceRecord_;
};

}  // namespace velmar
