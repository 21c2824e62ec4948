#pragma once

#include <QDBusConnection>
#include <QString>
#include <cstdint>

#include "platform/exception.h"

namespace velmar {

// No notification server answered on the session bus.
class NotificationError : public Exception {
 public:
  explicit NotificationError(const QString& reason)
      : Exception(QStringLiteral("Desktop notifications are not available: ") + reason) {}
};

// The meter's bubbles on the desktop, through org.freedesktop.Notifications
// on the session bus. Each notification replaces the one this notifier
// showed before, so an alarm that fires again leaves one bubble with the
// latest text instead of a pile.
class DesktopNotifier {
 public:
  static constexpr int kReplyTimeoutMs = 3000;
  // The freedesktop sound theme's name for the system bell.
  static const QString kBellSound;

  explicit DesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus());

  // Shows `summary` over `body` with the meter's name and icon; with a
  // `sound` name, the server plays that sound of its sound theme. Raises
  // NotificationError when no server takes it.
  void Notify(const QString& summary, const QString& body, const QString& sound = QString());

  // The server's id of the last notification shown, 0 before the first.
  uint32_t LastId() const { return lastId_; }

  // The icon the notifications carry: the meter's icon file where the
  // installed tree has one, else its name in the desktop's icon theme.
  static QString IconReference();

 private:
  QDBusConnection bus_;
  uint32_t lastId_ = 0;
};

}  // namespace velmar
