#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace velmar {

// The kernel's interface counters at one moment, tied to the boot that
// counted them: stored at every history record and at stop, so the next
// start can tell what passed while the meter was not running.
struct CounterSnapshot {
  struct Interface {
    int index = 0;
    QString name;
    uint64_t received = 0;
    uint64_t transmitted = 0;
  };
  QString bootId;
  QDateTime at;
  std::vector<Interface> interfaces;

  // A stored form of its own, versioned; nullopt for anything damaged.
  QByteArray ToBytes() const;
  static std::optional<CounterSnapshot> FromBytes(const QByteArray& bytes);
};

// /proc/sys/kernel/random/boot_id, or empty when it cannot be read.
QString ReadBootId(const QString& path = QStringLiteral("/proc/sys/kernel/random/boot_id"));

// What passed between a stored snapshot and one taken now.
struct OfflineTraffic {
  // The machine started again in between: what it carried before the
  // restart is unknown, and never guessed.
  bool gap = false;
  QDateTime from;
  QDateTime to;
  uint64_t received = 0;
  uint64_t transmitted = 0;
};

// Counts only interfaces that are the same in both snapshots (same index
// and name) and whose counters did not go back: an interface removed and
// made again, or reset, adds nothing rather than a false volume. `counts`
// says which interfaces the meter's selection takes.
OfflineTraffic TrafficBetween(const CounterSnapshot& before, const CounterSnapshot& now,
                              const std::function<bool(const QString& name)>& counts);

}  // namespace velmar
