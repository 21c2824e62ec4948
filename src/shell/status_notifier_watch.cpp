#include "shell/status_notifier_watch.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>

namespace velmar {

namespace {
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
constexpr int kReplyTimeoutMs = 1000;
}  // namespace

const QString StatusNotifierWatch::kWatcherService =
    QStringLiteral("org.kde.StatusNotifierWatcher");

StatusNotifierWatch::StatusNotifierWatch(QDBusConnection bus)
    : bus_(std::move(bus)),
      services_(kWatcherService, bus_, QDBusServiceWatcher::WatchForOwnerChange) {
  if (!bus_.isConnected()) {
    return;  // no session bus: no D-Bus tray, ever
  }
  connect(&services_, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) {
            if (newOwner.isEmpty()) {
              Set(false);
            } else {
              Check();
            }
          });
  hostSignal_.setSingleShot(true);
  hostSignal_.setInterval(0);
  connect(&hostSignal_, &QTimer::timeout, this, [this] { Check(); });
  for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
    bus_.connect(kWatcherService, kWatcherPath, kWatcherService, QString::fromLatin1(signal),
                 &hostSignal_, SLOT(start()));
  }
  Check();
}

void StatusNotifierWatch::Check() {
  QDBusMessage get = QDBusMessage::createMethodCall(
      kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  get << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusReply<QDBusVariant> reply = bus_.call(get, QDBus::Block, kReplyTimeoutMs);
  // No watcher, or one that cannot say, shows no icon.
  Set(reply.isValid() && reply.value().variant().toBool());
}

void StatusNotifierWatch::Set(bool present) {
  if (present == present_) {
    return;
  }
  present_ = present;
  Q_EMIT HostChanged(present);
}

}  // namespace velmar
