#include "platform/desktop_notifier.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

#include "platform/app_paths.h"
#include "platform/install_layout.h"

namespace velmar {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kApplicationName = QStringLiteral("Velmar 2000");
}  // namespace

const QString DesktopNotifier::kBellSound = QStringLiteral("bell");

DesktopNotifier::DesktopNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}

QString DesktopNotifier::IconReference() {
  const QString name = QString::fromLatin1(install_layout::kIconName);
  const QString themeDir = IconThemeDir();
  const QString file =
      themeDir + QStringLiteral("/hicolor/scalable/apps/") + name + QStringLiteral(".svg");
  if (!themeDir.isEmpty() && QFileInfo::exists(file)) {
    return QUrl::fromLocalFile(file).toString();
  }
  return name;
}

void DesktopNotifier::Notify(const QString& summary, const QString& body, const QString& sound) {
  if (!bus_.isConnected()) {
    throw NotificationError(QStringLiteral("there is no session bus"));
  }
  QVariantMap hints;
  // Lets the server group the bubbles under the meter's menu entry.
  hints.insert(QStringLiteral("desktop-entry"),
               QString::fromLatin1(install_layout::kApplicationId));
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
  if (!sound.isEmpty()) {
    hints.insert(QStringLiteral("sound-name"), sound);
  }
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
  call << kApplicationName << lastId_ << IconReference() << summary << body << QStringList()
       << hints << int32_t{-1};
  const QDBusReply<uint32_t> reply = bus_.call(call, QDBus::Block, kReplyTimeoutMs);
  if (!reply.isValid()) {
    throw NotificationError(reply.error().message());
  }
  lastId_ = reply.value();
}

}  // namespace velmar
