#include "history_recorder.h"

#include <QtEndian>
#include <cmath>
#include <cstring>
#include <limits>

#include "registry.h"

namespace velmar {

const QString HistoryRecorder::kHistoryKey = kProductKey + QStringLiteral("\\History");
const QString HistoryRecorder::kHighWater = QStringLiteral("HighWater");

qint32 HistoryRecorder::Rounded(float bytesPerSecond) {
  const double r = std::nearbyint(static_cast<double>(bytesPerSecond));
  if (!(r >= 0)) {
    return 0;
  }
  return r > std::numeric_limits<qint32>::max() ? std::numeric_limits<qint32>::max()
                                                : static_cast<qint32>(r);
}

void HistoryRecorder::RecordTick() {
  state_.ProgramSection = 44;
  if (state_.AnalysisActive == 0) {
    return;
  }
  if (store_ == nullptr) {
    throw RegistryError("Failed to set data for 'HighWater'");
  }
  Registry reg(*store_);
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  const QDateTime first = dates_.Now();
  const bool opened = reg.OpenKey(DayKey(dates_.Name(first.date())), true);
  // A key that could not be opened makes the first write fail, so nothing
  // of the record is written (Registry writes nothing without an open key).
  (void)opened;
  if (!reg.ValueExists(kHighWater)) {
    reg.WriteInteger(kHighWater, 0);
  }
  // A day holds a few hundred records; a HighWater below 0 or at the top of
  // its range comes from a damaged store and restarts the numbering, as a
  // missing one does, instead of overflowing into negative numbers.
  const qint32 last = reg.ReadInteger(kHighWater);
  const qint32 n = last >= 0 && last < std::numeric_limits<qint32>::max() ? last + 1 : 1;
  reg.WriteInteger(kHighWater, n);

  const double ole = DayKeyDates::OleDate(dates_.Now());
  quint64 bits = 0;
  std::memcpy(&bits, &ole, sizeof bits);
  QByteArray stamp(8, '\0');
  qToLittleEndian(bits, stamp.data());
  reg.WriteBinaryData(TimestampName(n), stamp);
  reg.WriteInteger(AvgDownName(n), Rounded(state_.DownAverage));
  reg.WriteInteger(AvgUpName(n), Rounded(state_.UpAverage));
  reg.CloseKey();
}

}  // namespace velmar
