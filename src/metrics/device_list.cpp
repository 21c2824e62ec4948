#include "metrics/device_list.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <set>

#include "interfaces/remote_source.h"
#include "metrics/metrics_server.h"

namespace velmar {

agent::RemoteSettings SettingsOf(const RemoteSource& s) {
  // The same conversion, and defaults, as the device source of the window.
  RemoteSource::Storage storage;
  return agent::RemoteSettings::From(s.ToAbi(storage, 0));
}

namespace {

DeviceEntry ParseLine(const QString& line, const QDir& folder) {
  DeviceEntry entry;
  RemoteSource source;
  QString secrets;
  for (const QString& field : line.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    const qsizetype equals = field.indexOf(QLatin1Char('='));
    const QString key = field.left(equals);
    const QString value = equals < 0 ? QString() : field.mid(equals + 1);
    if (equals <= 0 || value.isEmpty()) {
      throw Exception(QStringLiteral("\"%1\" is no NAME=VALUE field").arg(field));
    }
    if (key == QLatin1String("name")) {
      entry.name = value;
    } else if (key == QLatin1String("address")) {
      source.SetAddress(value);
    } else if (key == QLatin1String("version")) {
      source.SetVersion(value);
    } else if (key == QLatin1String("user")) {
      source.user = value;
    } else if (key == QLatin1String("level")) {
      source.securityLevel = value;
    } else if (key == QLatin1String("auth")) {
      source.authProtocol = value;
    } else if (key == QLatin1String("priv")) {
      source.privProtocol = value;
    } else if (key == QLatin1String("secrets")) {
      secrets = folder.absoluteFilePath(value);
    } else if (key == QLatin1String("community")) {
      throw Exception(
          QStringLiteral("secrets do not belong in the devices file: put "
                         "community= in the file secrets= names (mode 0600)"));
    } else {
      throw Exception(QStringLiteral("unknown field \"%1\"").arg(key));
    }
  }
  if (entry.name.isEmpty() || source.host.isEmpty()) {
    throw Exception(QStringLiteral("a device needs name= and address="));
  }
  if (secrets.isEmpty()) {
    throw Exception(QStringLiteral("a device needs secrets=FILE (mode 0600)"));
  }
  source.CheckComplete();
  source.LoadSecretsFile(secrets);
  entry.settings = SettingsOf(source);
  return entry;
}

}  // namespace

std::vector<DeviceEntry> ReadDeviceList(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    throw MetricsError(
        QStringLiteral("Cannot read the devices file %1: %2").arg(path, file.errorString()));
  }
  const QDir folder = QFileInfo(path).absoluteDir();
  std::vector<DeviceEntry> devices;
  std::set<QString> names;
  int number = 0;
  while (!file.atEnd()) {
    ++number;
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
      continue;
    }
    try {
      devices.push_back(ParseLine(line, folder));
      if (!names.insert(devices.back().name).second) {
        throw Exception(QStringLiteral("the name %1 is given twice").arg(devices.back().name));
      }
    } catch (const std::exception& e) {
      throw MetricsError(
          QStringLiteral("%1, line %2: %3").arg(path).arg(number).arg(QString::fromUtf8(e.what())));
    }
  }
  if (devices.empty()) {
    throw MetricsError(QStringLiteral("The devices file %1 names no device.").arg(path));
  }
  return devices;
}

}  // namespace velmar
