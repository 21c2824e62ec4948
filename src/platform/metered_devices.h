#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

namespace velmar {

// The interfaces NetworkManager says are metered (a mobile hotspot, a
// phone's tethering, a capped line): its devices whose Metered property is
// "yes" (1) or "guessed yes" (3). The data plan's setup offers the plan
// for them. Empty where NetworkManager does not answer.
class MeteredDevices {
 public:
  explicit MeteredDevices(QDBusConnection bus = QDBusConnection::systemBus()) : bus_(bus) {}

  QStringList Interfaces() const;

  // NMMetered values that mean the connection is metered.
  static bool IsMetered(uint value) { return value == 1 || value == 3; }

 private:
  QDBusConnection bus_;
};

}  // namespace velmar
