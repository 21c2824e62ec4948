#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "platform/exception.h"
#include "platform/snmp_abi.h"

namespace velmar {

class KeyStore;
class SettingsList;

// A device on the network the meter reads instead of this computer: where
// it is, how to speak SNMP to it, and the secrets for that. The settings
// file holds all but the secrets (the lines from SettingsLine::kSourceKind to
// kDeviceSecurityLevel); the secrets live in the key store, whose file is then kept readable by its
// owner alone, or in a file of mode 0600 the user names.
class RemoteSource {
 public:
  // What the source-kind line says for a device.
  static constexpr const char* kKindDevice = "snmp";
  // The key under KeyRoot::kUser holding the secrets.
  static const QString kSecretsKey;

  QString host;
  uint16_t port = 161;
  int version = 2;  // 2 = v2c, 3 = v3
  QString user;
  QString securityLevel = QStringLiteral("authPriv");
  QString authProtocol = QStringLiteral("SHA");
  QString privProtocol = QStringLiteral("AES");
  // Secrets: never printed, logged or written to the settings file.
  QString community;
  QString authPassphrase;
  QString privPassphrase;
  // One request's wait for an answer. A slow device takes most of a
  // second per answer, and may hold one of ours while it answers another
  // (a table fetch, a first reading); tables wait three times as long.
  uint32_t timeoutMs = 2000;

  // True when the settings choose a device.
  static bool Chosen(const SettingsList& settings);
  static RemoteSource FromSettings(const SettingsList& settings);
  // Raises when a device so described cannot be asked at all (a v3
  // source without a user), before anything is stored.
  void CheckComplete() const;
  // Chooses this device in the settings (secrets excepted).
  void ToSettings(SettingsList& settings) const;
  // Chooses this computer again; the device's lines stay for next time.
  static void ChooseLocal(SettingsList& settings);

  // HOST, HOST:PORT, [V6ADDRESS]:PORT or a bare IPv6 address; raises
  // Exception for anything else.
  void SetAddress(const QString& text);
  // "HOST:PORT", with brackets around an IPv6 address.
  QString Address() const;
  // "2c" / "3" into version; raises for anything else.
  void SetVersion(const QString& text);

  // The secrets from the key store (absent ones stay empty).
  void LoadSecrets(KeyStore& store);
  // Stores the secrets and makes the store's file readable by its owner
  // alone; raises when that cannot be done.
  void SaveSecrets(KeyStore& store) const;
  // Secrets from a file of "community=", "auth=", "priv=" lines. Refuses
  // (raises) a file that others than its owner may read or write.
  void LoadSecretsFile(const QString& path);

  // $VELMAR_REMOTE_AGENT_LIBRARY, else libmib2remote.so where the meter
  // keeps its agent libraries.
  static QString LibraryPath();

  // The record the agent library is configured with; it points into
  // `storage`, which must outlive its use.
  struct Storage {
    std::string host, community, user, level, auth, authPass, priv, privPass;
    ~Storage();
  };
  SnmpRemoteSource ToAbi(Storage& storage, uint32_t pollIntervalMs, uint32_t tableWaitMs = 0) const;
};

}  // namespace velmar
