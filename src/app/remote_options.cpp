#include "app/remote_options.h"

#include "config/settings_list.h"
#include "platform/key_store.h"

namespace velmar {

bool RemoteOptions::Take(const QString& option, const QString& value) {
  QString* field = option == QLatin1String("snmp")           ? &address
                   : option == QLatin1String("snmp-version") ? &version
                   : option == QLatin1String("snmp-user")    ? &user
                   : option == QLatin1String("snmp-level")   ? &level
                   : option == QLatin1String("snmp-auth")    ? &auth
                   : option == QLatin1String("snmp-priv")    ? &priv
                   : option == QLatin1String("snmp-secrets") ? &secrets
                                                             : nullptr;
  if (field == nullptr) {
    return false;
  }
  *field = value;
  return true;
}

std::optional<RemoteSource> RemoteOptions::Resolve(const SettingsList& settings) const {
  RemoteSource source;
  if (address.isEmpty()) {
    if (!RemoteSource::Chosen(settings)) {
      if (!(version + user + level + auth + priv + secrets).isEmpty()) {
        throw Exception(QStringLiteral("the --snmp-... options need --snmp HOST[:PORT]"));
      }
      return std::nullopt;
    }
    source = RemoteSource::FromSettings(settings);
  } else {
    source.SetAddress(address);
  }
  if (!version.isEmpty()) {
    source.SetVersion(version);
  }
  if (!user.isEmpty()) {
    source.user = user;
  }
  if (!level.isEmpty()) {
    source.securityLevel = level;
  }
  if (!auth.isEmpty()) {
    source.authProtocol = auth;
  }
  if (!priv.isEmpty()) {
    source.privProtocol = priv;
  }
  if (!secrets.isEmpty()) {
    source.LoadSecretsFile(secrets);
  } else {
    source.LoadSecrets(KeyStore::Default());
  }
  return source;
}

}  // namespace velmar
