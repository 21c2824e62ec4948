#pragma once

#include <QString>
#include <optional>

#include "interfaces/remote_source.h"

namespace velmar {

class SettingsList;

// The command-line options that point `velmar --headless` and `mib2walk`
// at a device on the network. Secrets are never options (a command line
// is visible to every user of the machine): they come from --snmp-secrets
// FILE (mode 0600) or from the key store, where the setup dialog keeps
// them.
struct RemoteOptions {
  QString address;  // --snmp HOST[:PORT]
  QString version;  // --snmp-version 2c|3
  QString user;     // --snmp-user NAME
  QString level;    // --snmp-level noAuthNoPriv|authNoPriv|authPriv
  QString auth;     // --snmp-auth SHA|SHA-224|SHA-256|SHA-384|SHA-512|MD5 (weak)
  QString priv;     // --snmp-priv AES|AES-192|AES-256|DES (weak)
  QString secrets;  // --snmp-secrets FILE

  // "--snmp", "--snmp-version", ...: takes the value of a known option and
  // returns true; false for any other name.
  bool Take(const QString& option, const QString& value);

  // The device the options name, or, without --snmp, the one the settings
  // choose; nullopt for this computer. Raises Exception for an option that
  // cannot be used or a secrets file that cannot be read.
  std::optional<RemoteSource> Resolve(const SettingsList& settings) const;

  static constexpr const char* kUsage =
      "--snmp HOST[:PORT] [--snmp-version 2c|3] [--snmp-user NAME] "
      "[--snmp-level noAuthNoPriv|authNoPriv|authPriv] [--snmp-auth SHA|SHA-256|...] "
      "[--snmp-priv AES|AES-256|...] [--snmp-secrets FILE]";
};

}  // namespace velmar
