#pragma once

#include <QString>
#include <vector>

#include "agent/snmp_poller.h"

namespace velmar {

// The devices of `--devices FILE`: one line each, of fields NAME=VALUE:
//   name=core1 address=192.0.2.1[:161] version=2c|3 [user=U] [level=L]
//   [auth=SHA...] [priv=AES...] secrets=FILE
// The secrets (community=, auth=, priv= lines) live in the file named by
// secrets= (relative to the devices file's folder), which must be its
// owner's alone (mode 0600); never in FILE, never on the command line.
// Blank lines and lines starting with # are skipped.
struct DeviceEntry {
  QString name;
  agent::RemoteSettings settings;
};

// Raises MetricsError naming the file and line of anything wrong: an
// unknown field, a name given twice, an address or version that is no
// address or version, a secrets file others may read.
std::vector<DeviceEntry> ReadDeviceList(const QString& path);

class RemoteSource;
// How the poller speaks to a device so described, secrets included.
agent::RemoteSettings SettingsOf(const RemoteSource& source);

}  // namespace velmar
