#include "platform/metered_devices.h"

#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

namespace velmar {

namespace {

const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");
constexpr int kTimeoutMs = 2000;

QVariant Property(const QDBusConnection& bus, const QString& path, const QString& name) {
  QDBusMessage get = QDBusMessage::createMethodCall(
      kNetworkManager, path, QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  get << kDevice << name;
  const QDBusMessage reply = bus.call(get, QDBus::Block, kTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    return {};
  }
  return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
}

}  // namespace

QStringList MeteredDevices::Interfaces() const {
  if (!bus_.isConnected()) {
    return {};
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      kNetworkManager, QStringLiteral("/org/freedesktop/NetworkManager"), kNetworkManager,
      QStringLiteral("GetDevices"));
  const QDBusReply<QList<QDBusObjectPath>> devices = bus_.call(call, QDBus::Block, kTimeoutMs);
  if (!devices.isValid()) {
    return {};
  }
  QStringList metered;
  for (const QDBusObjectPath& device : devices.value()) {
    bool ok = false;
    const uint value = Property(bus_, device.path(), QStringLiteral("Metered")).toUInt(&ok);
    if (!ok || !IsMetered(value)) {
      continue;
    }
    const QString name = Property(bus_, device.path(), QStringLiteral("Interface")).toString();
    if (!name.isEmpty()) {
      metered << name;
    }
  }
  return metered;
}

}  // namespace velmar
