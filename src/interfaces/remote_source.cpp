#include "interfaces/remote_source.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "config/product.h"
#include "config/settings_list.h"
#include "platform/app_paths.h"
#include "platform/key_store.h"

namespace velmar {

namespace {

void Wipe(std::string& s) {
  std::fill(s.begin(), s.end(), '\0');
  s.clear();
}

QString OrDefault(const QString& text, const char* fallback) {
  const QString trimmed = text.trimmed();
  return trimmed.isEmpty() ? QString::fromLatin1(fallback) : trimmed;
}

}  // namespace

const QString RemoteSource::kSecretsKey = kProductKey + QStringLiteral("\\RemoteSource");

RemoteSource::Storage::~Storage() {
  Wipe(community);
  Wipe(authPass);
  Wipe(privPass);
}

bool RemoteSource::Chosen(const SettingsList& settings) {
  return settings.Line(SettingsLine::kSourceKind).trimmed() == QLatin1String(kKindDevice);
}

RemoteSource RemoteSource::FromSettings(const SettingsList& settings) {
  RemoteSource source;
  source.host = settings.Line(SettingsLine::kDeviceHost).trimmed();
  // A hand-edited port that is no port means the usual one, not whatever
  // it wraps to in 16 bits.
  const int port = settings.LineNumber(SettingsLine::kDevicePort, 161);
  source.port = port >= 1 && port <= 65535 ? static_cast<uint16_t>(port) : 161;
  source.version =
      settings.Line(SettingsLine::kDeviceVersion).trimmed() == QLatin1String("3") ? 3 : 2;
  source.user = settings.Line(SettingsLine::kDeviceUser).trimmed();
  source.authProtocol = OrDefault(settings.Line(SettingsLine::kDeviceAuthProtocol), "SHA");
  source.privProtocol = OrDefault(settings.Line(SettingsLine::kDevicePrivProtocol), "AES");
  source.securityLevel = OrDefault(settings.Line(SettingsLine::kDeviceSecurityLevel), "authPriv");
  return source;
}

void RemoteSource::CheckComplete() const {
  if (version == 3 && user.isEmpty()) {
    throw Exception(QStringLiteral("SNMPv3 needs a user name."));
  }
}

void RemoteSource::ToSettings(SettingsList& settings) const {
  settings.SetLineExtending(SettingsLine::kSourceKind, QString::fromLatin1(kKindDevice));
  settings.SetLineExtending(SettingsLine::kDeviceHost, host);
  settings.SetLineExtending(SettingsLine::kDevicePort, QString::number(port));
  settings.SetLineExtending(SettingsLine::kDeviceVersion,
                            version == 3 ? QStringLiteral("3") : QStringLiteral("2c"));
  settings.SetLineExtending(SettingsLine::kDeviceUser, user);
  settings.SetLineExtending(SettingsLine::kDeviceAuthProtocol, authProtocol);
  settings.SetLineExtending(SettingsLine::kDevicePrivProtocol, privProtocol);
  settings.SetLineExtending(SettingsLine::kDeviceSecurityLevel, securityLevel);
}

void RemoteSource::ChooseLocal(SettingsList& settings) {
  settings.SetLineExtending(SettingsLine::kSourceKind, QStringLiteral("local"));
}

void RemoteSource::SetAddress(const QString& text) {
  const QString t = text.trimmed();
  QString name = t;
  int number = 161;
  const auto bad = [&t] {
    return Exception(QStringLiteral("Not a device address: '%1' (use HOST or HOST:PORT)").arg(t));
  };
  if (t.startsWith(QLatin1Char('['))) {
    const int close = t.indexOf(QLatin1Char(']'));
    if (close < 0) {
      throw bad();
    }
    name = t.mid(1, close - 1);
    const QString rest = t.mid(close + 1);
    if (!rest.isEmpty()) {
      bool ok = false;
      number = rest.startsWith(QLatin1Char(':')) ? rest.mid(1).toInt(&ok) : 0;
      if (!ok) {
        throw bad();
      }
    }
  } else if (t.count(QLatin1Char(':')) == 1) {
    bool ok = false;
    name = t.section(QLatin1Char(':'), 0, 0);
    number = t.section(QLatin1Char(':'), 1).toInt(&ok);
    if (!ok) {
      throw bad();
    }
  }
  // Several colons without brackets: a bare IPv6 address.
  if (name.isEmpty() || number < 1 || number > 65535 || name.contains(QLatin1Char(' '))) {
    throw bad();
  }
  host = name;
  port = static_cast<uint16_t>(number);
}

QString RemoteSource::Address() const {
  return (host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host) +
         QStringLiteral(":") + QString::number(port);
}

void RemoteSource::SetVersion(const QString& text) {
  const QString t = text.trimmed().toLower();
  if (t == QLatin1String("2c") || t == QLatin1String("2")) {
    version = 2;
  } else if (t == QLatin1String("3")) {
    version = 3;
  } else {
    throw Exception(QStringLiteral("Unknown SNMP version '%1' (use 2c or 3)").arg(text));
  }
}

void RemoteSource::LoadSecrets(KeyStore& store) {
  const auto key = store.OpenKey(KeyRoot::kUser, kSecretsKey, false);
  if (!key) {
    return;
  }
  const auto text = [&](const char* name) {
    const auto value = store.ReadValue(*key, QString::fromLatin1(name));
    return value && value->type == ValueKind::kText ? value->text : QString();
  };
  community = text("Community");
  authPassphrase = text("AuthPassphrase");
  privPassphrase = text("PrivPassphrase");
}

void RemoteSource::SaveSecrets(KeyStore& store) const {
  // Owner-only before a secret goes in: SQLite gives its journal the
  // database file's mode.
  if (!QFile::setPermissions(store.Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
    throw Exception(
        QStringLiteral("Cannot make %1 readable by its owner alone; the secrets were not stored.")
            .arg(store.Path()));
  }
  const auto key = store.OpenKey(KeyRoot::kUser, kSecretsKey, true);
  if (!key) {
    throw Exception(QStringLiteral("Cannot store the device's secrets in %1.").arg(store.Path()));
  }
  store.WriteValue(*key, QStringLiteral("Community"), StoredValue::String(community));
  store.WriteValue(*key, QStringLiteral("AuthPassphrase"), StoredValue::String(authPassphrase));
  store.WriteValue(*key, QStringLiteral("PrivPassphrase"), StoredValue::String(privPassphrase));
}

void RemoteSource::LoadSecretsFile(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat status {};
  if (::stat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode)) {
    throw Exception(QStringLiteral("Cannot read the secrets file %1.").arg(path));
  }
  if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0 || status.st_uid != ::getuid()) {
    throw Exception(QStringLiteral("The secrets file %1 must be yours and of mode 0600 "
                                   "(chmod 600 %1).")
                        .arg(path));
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024) {
    throw Exception(QStringLiteral("Cannot read the secrets file %1.").arg(path));
  }
  int lineNumber = 0;
  while (!file.atEnd()) {
    ++lineNumber;
    const QString line =
        QString::fromUtf8(file.readLine()).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#'))) {
      continue;
    }
    const QString field = line.section(QLatin1Char('='), 0, 0).trimmed();
    const QString value = line.section(QLatin1Char('='), 1);
    if (field == QLatin1String("community")) {
      community = value;
    } else if (field == QLatin1String("auth")) {
      authPassphrase = value;
    } else if (field == QLatin1String("priv")) {
      privPassphrase = value;
    } else {
      // The line's text may be a secret: only its number is told.
      throw Exception(QStringLiteral("Line %1 of the secrets file %2 is not community=, auth= "
                                     "or priv=.")
                          .arg(lineNumber)
                          .arg(path));
    }
  }
}

QString RemoteSource::LibraryPath() {
  const QString over = qEnvironmentVariable("VELMAR_REMOTE_AGENT_LIBRARY");
  return over.isEmpty() ? AgentLibraryPath(QStringLiteral("libmib2remote.so")) : over;
}

SnmpRemoteSource RemoteSource::ToAbi(Storage& storage, uint32_t pollIntervalMs,
                                     uint32_t tableWaitMs) const {
  storage.host = host.toStdString();
  storage.community = community.toStdString();
  storage.user = user.toStdString();
  storage.level = securityLevel.toStdString();
  storage.auth = authProtocol.toStdString();
  storage.authPass = authPassphrase.toStdString();
  storage.priv = privProtocol.toStdString();
  storage.privPass = privPassphrase.toStdString();
  SnmpRemoteSource abi{};
  abi.host = storage.host.c_str();
  abi.port = port;
  abi.version = static_cast<uint8_t>(version);
  abi.community = storage.community.c_str();
  abi.user = storage.user.c_str();
  abi.securityLevel = storage.level.c_str();
  abi.authProtocol = storage.auth.c_str();
  abi.authPassphrase = storage.authPass.c_str();
  abi.privProtocol = storage.priv.c_str();
  abi.privPassphrase = storage.privPass.c_str();
  abi.pollIntervalMs = pollIntervalMs;
  abi.timeoutMs = timeoutMs;
  abi.tableWaitMs = tableWaitMs;
  return abi;
}

}  // namespace velmar
