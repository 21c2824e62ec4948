#include "history_report.h"

#include <QDateTime>
#include <QtEndian>
#include <cmath>
#include <cstring>

#include "history_recorder.h"
#include "registry.h"

namespace velmar {

namespace {

QString Moment(const QByteArray& stamp) {
  if (stamp.size() != 8) {
    return QStringLiteral("?");
  }
  const quint64 bits = qFromLittleEndian<quint64>(stamp.constData());
  double ole = 0;
  std::memcpy(&ole, &bits, sizeof ole);
  if (!std::isfinite(ole)) {
    return QStringLiteral("?");
  }
  const double days = std::floor(ole);
  const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
  const QTime time = QTime(0, 0).addMSecs(static_cast<int>(std::lround((ole - days) * 86400000.0)));
  return QDateTime(date, time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

QStringList HistoryReport(KeyStore& store, int kilobitMode) {
  QStringList out;
  TRegistry reg(store);
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg.OpenKey(HistoryRecorder::kHistoryKey, false)) {
    return out;
  }
  const QStringList days = reg.GetKeyNames();
  const double bitsPerKilobit = 1000 + 24 * kilobitMode;
  for (const QString& day : days) {
    if (!reg.OpenKey(HistoryRecorder::kHistoryKey + QLatin1Char('\\') + day, false)) {
      continue;
    }
    out << day;
    int last = 0;
    try {
      last = reg.ReadInteger(QStringLiteral("HighWater"));
    } catch (const Exception&) {
      last = 0;
    }
    for (int n = 1; n <= last; ++n) {
      const QString number = QString::number(n);
      try {
        const QString when = Moment(reg.ReadBinaryData(QStringLiteral("Timestamp_") + number));
        const double down = reg.ReadInteger(QStringLiteral("AvgDownSpeed_") + number);
        const double up = reg.ReadInteger(QStringLiteral("AvgUpSpeed_") + number);
        out << QStringLiteral("  %1  %2  down %3 kbit/s  up %4 kbit/s")
                   .arg(number, 4)
                   .arg(when)
                   .arg(down * 8 / bitsPerKilobit, 0, 'f', 2)
                   .arg(up * 8 / bitsPerKilobit, 0, 'f', 2);
      } catch (const Exception&) {
        out << QStringLiteral("  %1  (incomplete record)").arg(number, 4);
      }
    }
    if (reg.OpenKey(
            HistoryRecorder::kHistoryKey + QLatin1Char('\\') + day + QStringLiteral("\\Alarms"),
            false)) {
      for (const QString& name : reg.GetValueNames()) {
        QString code;
        try {
          code = reg.ReadString(name);
        } catch (const Exception&) {
          code = QStringLiteral("?");
        }
        out << QStringLiteral("  alarm %1  code %2").arg(name, code);
      }
    }
  }
  return out;
}

}  // namespace velmar
