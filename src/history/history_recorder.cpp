#include "history/history_recorder.h"

#include "config/program_section.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/registry.h"

namespace velmar {

const QString HistoryRecorder::kHistoryKey = kProductKey + QStringLiteral("\\History");
const QString HistoryRecorder::kHighWater = QStringLiteral("HighWater");

int HistoryRecorder::DefaultPeriodMs() {
  bool ok = false;
  const int ms = qEnvironmentVariableIntValue("VELMAR_HISTORY_PERIOD_MS", &ok);
  return ok && ms >= 100 ? ms : kIntervalMs;
}

qint32 HistoryRecorder::Rounded(float bytesPerSecond) {
  const double r = std::nearbyint(static_cast<double>(bytesPerSecond));
  if (!(r >= 0)) {
    return 0;
  }
  return r > std::numeric_limits<qint32>::max() ? std::numeric_limits<qint32>::max()
                                                : static_cast<qint32>(r);
}

QByteArray HistoryRecorder::Quad(uint64_t value) {
  QByteArray bytes(8, '\0');
  qToLittleEndian<quint64>(value, bytes.data());
  return bytes;
}

std::optional<uint64_t> HistoryRecorder::FromQuad(const QByteArray& bytes) {
  if (bytes.size() != 8) {
    return std::nullopt;
  }
  return qFromLittleEndian<quint64>(bytes.constData());
}

void HistoryRecorder::MeasuringStarted() {
  recordedDown_ = state_.CountedDownBytes;
  recordedUp_ = state_.CountedUpBytes;
  sinceRecord_.start();
  if (programs_ != nullptr) {
    programs_->Restart();
  }
}

void HistoryRecorder::RecordTick() {
  SectionScope here(state_.ProgramSection, section::kRecordHistory);
  if (!state_.AnalysisActive) {
    return;
  }
  Write();
}

void HistoryRecorder::RecordStop() {
  SectionScope here(state_.ProgramSection, section::kRecordHistory);
  if (!sinceRecord_.isValid()) {
    return;
  }
  Write();
  sinceRecord_.invalidate();
}

void HistoryRecorder::Write() {
  if (store_ == nullptr) {
    throw RegistryError("Failed to set data for 'HighWater'");
  }
  Registry reg(*store_);
  reg.SetRootKey(KeyRoot::kMachine);
  const QDateTime first = dates_.Now();
  const bool opened = reg.OpenKey(DayKey(dates_.Name(first.date())), true);
  // A key that could not be opened makes the write fail, so nothing of the
  // record is written (Registry writes nothing without an open key).
  (void)opened;
  // A day holds a few hundred records; a HighWater below 0 or at the top of
  // its range comes from a damaged store and restarts the numbering, as a
  // missing one does, instead of overflowing into negative numbers.
  const qint32 last = reg.ValueExists(kHighWater) ? reg.ReadInteger(kHighWater) : 0;
  const qint32 n = last >= 0 && last < std::numeric_limits<qint32>::max() ? last + 1 : 1;

  const double ole = DayKeyDates::OleDate(dates_.Now());
  quint64 bits = 0;
  std::memcpy(&bits, &ole, sizeof bits);

  // Totals that went down belong to a new run whose start went unseen:
  // all of them are new.
  const uint64_t down = state_.CountedDownBytes;
  const uint64_t up = state_.CountedUpBytes;
  const uint64_t newDown = down >= recordedDown_ ? down - recordedDown_ : down;
  const uint64_t newUp = up >= recordedUp_ ? up - recordedUp_ : up;
  const qint64 span = sinceRecord_.isValid() ? sinceRecord_.elapsed() : periodMs_;
  const qint32 spanMs =
      static_cast<qint32>(std::clamp<qint64>(span, 1, std::numeric_limits<qint32>::max()));

  std::vector<NamedValue> record{
      {kHighWater, StoredValue::Integer(n)},
      {TimestampName(n), StoredValue::Binary(Quad(bits))},
      {AvgDownName(n), StoredValue::Integer(Rounded(state_.DownAverage))},
      {AvgUpName(n), StoredValue::Integer(Rounded(state_.UpAverage))},
      {CountedDownName(n), StoredValue::Binary(Quad(newDown))},
      {CountedUpName(n), StoredValue::Binary(Quad(newUp))},
      {CountedMsName(n), StoredValue::Integer(spanMs)},
  };
  if (programs_ != nullptr) {
    if (const auto rows = programs_->Take(newDown, newUp); !rows.empty()) {
      record.push_back({ProgramsName(n), StoredValue::String(EncodeProgramVolumes(rows))});
    }
  }
  // One transaction: a record is there whole or not at all.
  reg.WriteValues(record);
  reg.CloseKey();
  // Only a record that was written moves the mark: bytes of a failed one
  // go into the next.
  recordedDown_ = down;
  recordedUp_ = up;
  sinceRecord_.start();
}

}  // namespace velmar
