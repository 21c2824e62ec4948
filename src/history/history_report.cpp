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
  const QDateTime moment = DayKeyDates::FromOleDate(ole);
  if (!moment.isValid()) {
    return QStringLiteral("?");
  }
  return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

QStringList HistoryReport(KeyStore& store, int kilobitMode) {
  QStringList out;
  Registry reg(store);
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!reg.OpenKey(HistoryRecorder::kHistoryKey, false)) {
    return out;
  }
  const QStringList days = reg.GetKeyNames();
  for (const QString& day : days) {
    if (!reg.OpenKey(HistoryRecorder::DayKey(day), false)) {
      continue;
    }
    out << day;
    int last = 0;
    try {
      last = reg.ReadInteger(HistoryRecorder::kHighWater);
    } catch (const Exception&) {
      last = 0;
    }
    for (int n = 1; n <= last; ++n) {
      const QString number = QString::number(n);
      try {
        const QString when = Moment(reg.ReadBinaryData(HistoryRecorder::TimestampName(n)));
        const double down = reg.ReadInteger(HistoryRecorder::AvgDownName(n));
        const double up = reg.ReadInteger(HistoryRecorder::AvgUpName(n));
        out << QStringLiteral("  %1  %2  down %3 kbit/s  up %4 kbit/s")
                   .arg(number, 4)
                   .arg(when)
                   .arg(Kbps(down, kilobitMode), 0, 'f', 2)
                   .arg(Kbps(up, kilobitMode), 0, 'f', 2);
      } catch (const Exception&) {
        out << QStringLiteral("  %1  (incomplete record)").arg(number, 4);
      }
    }
    if (reg.OpenKey(HistoryRecorder::AlarmsKey(day), false)) {
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
