// Apart from snmp_poller.cpp: the C interface's header and net-snmp's
// headers define the same ASN names.
#include "agent/snmp_poller.h"
#include "platform/snmp_abi.h"

namespace velmar::agent {

RemoteSettings RemoteSettings::From(const SnmpRemoteSource& source) {
  const auto text = [](const char* t, const char* otherwise = "") {
    return std::string(t != nullptr && *t != '\0' ? t : otherwise);
  };
  RemoteSettings settings;
  settings.host = text(source.host);
  settings.port = source.port == 0 ? 161 : source.port;
  settings.version = source.version;
  settings.community = text(source.community);
  settings.user = text(source.user);
  settings.securityLevel = text(source.securityLevel, "authPriv");
  settings.authProtocol = text(source.authProtocol, "SHA");
  settings.authPassphrase = text(source.authPassphrase);
  settings.privProtocol = text(source.privProtocol, "AES");
  settings.privPassphrase = text(source.privPassphrase);
  settings.timeoutMs = source.timeoutMs == 0 ? 1000 : source.timeoutMs;
  settings.tableWaitMs = source.tableWaitMs;
  return settings;
}

}  // namespace velmar::agent
