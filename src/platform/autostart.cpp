#include "platform/autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/atomic_file.h"
#include "platform/data_locations.h"
#include "platform/install_layout.h"
#include "platform/registry.h"

namespace velmar {

const QString Autostart::kRunKey =
    QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString Autostart::kValueName = QStringLiteral("Velmar2000");

Autostart::Autostart(KeyStore* store, QString desktopEntryPath)
    : store_(store), desktopEntryPath_(std::move(desktopEntryPath)) {}

QString Autostart::DefaultDesktopEntryPath() {
  return DataLocations::ConfigHome() + QStringLiteral("/autostart/velmar.desktop");
}

QString Autostart::DesktopEntry(const QString& executablePath) {
  // Exec quoting of the desktop entry format: a quoted argument escapes ",
  // `, $ and \ with a backslash.
  QString quoted = executablePath;
  for (const char c : {'\\', '"', '`', '$'}) {
    quoted.replace(QChar(c), QStringLiteral("\\") + QChar(c));
  }
  return QStringLiteral(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=Velmar 2000\n"
             "Comment=Bandwidth meter\n"
             "Exec=\"%1\"\n"
             "Icon=%2\n"
             "Terminal=false\n"
             "X-GNOME-Autostart-enabled=true\n")
      .arg(quoted, QString::fromLatin1(install_layout::kIconName));
}

bool Autostart::Apply(bool enabled, const QString& executablePath) {
  if (store_ == nullptr) {
    return false;
  }
  Registry reg(*store_);
  reg.SetRootKey(KeyRoot::kMachine);
  if (!reg.OpenKey(kRunKey, true)) {
    return false;
  }
  if (enabled) {
    reg.WriteString(kValueName, executablePath);
    // Every start applies the setting: an entry already in place is not
    // written (and synced) again.
    const QByteArray entry = DesktopEntry(executablePath).toUtf8();
    QFile current(desktopEntryPath_);
    if (!current.open(QIODevice::ReadOnly) || current.readAll() != entry) {
      QDir().mkpath(QFileInfo(desktopEntryPath_).absolutePath());
      WriteFileAtomically(desktopEntryPath_, entry);
    }
  } else {
    reg.DeleteValue(kValueName);
    if (QFileInfo::exists(desktopEntryPath_) && !QFile::remove(desktopEntryPath_)) {
      throw Exception(QStringLiteral("Cannot remove %1").arg(desktopEntryPath_));
    }
  }
  reg.CloseKey();
  return true;
}

}  // namespace velmar

namespace velmar {

void Autostart::Write(bool enabled, const QString& executablePath) {
  if (!enabled) {
    try {
      Apply(false, executablePath);
    } catch (const Exception&) {
      // Not being able to remove it is not reported.
    }
    return;
  }
  if (!Apply(true, executablePath)) {
    throw RegistryError(QStringLiteral("Failed to set data for '%1'").arg(kValueName));
  }
}

}  // namespace velmar
