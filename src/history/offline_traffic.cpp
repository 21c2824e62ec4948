#include "history/offline_traffic.h"

#include <QDataStream>
#include <QFile>
#include <QIODevice>

namespace velmar {

namespace {
constexpr quint32 kMagic = 0x56435331;  // "VCS1"
}

QByteArray CounterSnapshot::ToBytes() const {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out.setVersion(QDataStream::Qt_6_4);
  out << kMagic << bootId << at.toMSecsSinceEpoch() << static_cast<quint32>(interfaces.size());
  for (const Interface& i : interfaces) {
    out << static_cast<qint32>(i.index) << i.name << static_cast<quint64>(i.received)
        << static_cast<quint64>(i.transmitted);
  }
  return bytes;
}

std::optional<CounterSnapshot> CounterSnapshot::FromBytes(const QByteArray& bytes) {
  QDataStream in(bytes);
  in.setVersion(QDataStream::Qt_6_4);
  quint32 magic = 0;
  qint64 ms = 0;
  quint32 count = 0;
  CounterSnapshot s;
  in >> magic >> s.bootId >> ms >> count;
  // Each interface takes at least 24 bytes: a count past what the bytes
  // can hold is damage, not a reason to reserve gigabytes.
  if (in.status() != QDataStream::Ok || magic != kMagic || count > bytes.size() / 24) {
    return std::nullopt;
  }
  s.at = QDateTime::fromMSecsSinceEpoch(ms);
  for (quint32 n = 0; n < count; ++n) {
    qint32 index = 0;
    quint64 received = 0;
    quint64 transmitted = 0;
    Interface i;
    in >> index >> i.name >> received >> transmitted;
    i.index = index;
    i.received = received;
    i.transmitted = transmitted;
    s.interfaces.push_back(i);
  }
  if (in.status() != QDataStream::Ok || !in.atEnd()) {
    return std::nullopt;
  }
  return s;
}

QString ReadBootId(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return QString::fromLatin1(file.readAll()).trimmed();
}

OfflineTraffic TrafficBetween(const CounterSnapshot& before, const CounterSnapshot& now,
                              const std::function<bool(const QString& name)>& counts) {
  OfflineTraffic traffic;
  traffic.from = before.at;
  traffic.to = now.at;
  if (before.bootId.isEmpty() || before.bootId != now.bootId) {
    traffic.gap = true;
    return traffic;
  }
  for (const auto& current : now.interfaces) {
    if (!counts(current.name)) {
      continue;
    }
    for (const auto& old : before.interfaces) {
      if (old.index == current.index && old.name == current.name &&
          current.received >= old.received && current.transmitted >= old.transmitted) {
        traffic.received += current.received - old.received;
        traffic.transmitted += current.transmitted - old.transmitted;
        break;
      }
    }
  }
  return traffic;
}

}  // namespace velmar
