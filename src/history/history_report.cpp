#include "history/history_report.h"

#include <QDateTime>
#include <QtEndian>
#include <cmath>
#include <cstring>
#include <set>

#include "history/history_recorder.h"
#include "platform/registry.h"

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

// The n of "Timestamp_n", "AvgDownSpeed_n" or "AvgUpSpeed_n"; 0 for other names.
int RecordNumber(const QString& name) {
  for (const QString& prefix :
       {HistoryRecorder::TimestampName(0).chopped(1), HistoryRecorder::AvgDownName(0).chopped(1),
        HistoryRecorder::AvgUpName(0).chopped(1)}) {
    if (name.startsWith(prefix, Qt::CaseInsensitive)) {
      bool ok = false;
      const int n = name.mid(prefix.size()).toInt(&ok);
      return ok ? n : 0;
    }
  }
  return 0;
}

}  // namespace

QStringList HistoryReport(KeyStore& store, int kilobitMode) {
  QStringList out;
  Registry reg(store);
  reg.SetRootKey(KeyRoot::kMachine);
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
    // The records present, by number: a damaged HighWater (up to
    // 2147483647) costs nothing, only the values stored do.
    std::set<int> numbers;
    for (const QString& name : reg.GetValueNames()) {
      const int n = RecordNumber(name);
      if (n >= 1 && n <= last) {
        numbers.insert(n);
      }
    }
    for (const int n : numbers) {
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
