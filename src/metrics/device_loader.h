#pragma once

#include <QString>
#include <QThreadPool>
#include <memory>

#include "metrics/metrics_server.h"
#include "platform/snmp_abi.h"

namespace velmar {

class RemoteSource;

// The one entry of libmib2devices.so: a new poller of a device's
// interfaces for the endpoint, owned by the caller, polling on `pool`.
#define VELMAR_DEVICE_INTERFACES_NEW_NAME "VelmarDeviceInterfacesNew"
using DeviceInterfacesNew = InterfaceSource* (*)(const SnmpRemoteSource* source, QThreadPool* pool);

// A measured device's interfaces for the window's endpoint. The polling
// needs net-snmp and the crypto library under it, so it lives in
// libmib2devices.so ($VELMAR_DEVICES_LIBRARY, else beside the agent
// libraries), loaded the first time a device is measured: the window of
// this computer alone maps neither. Once loaded it stays for the process's
// life, as net-snmp's global state does. Raises MetricsError when the
// library cannot be loaded.
std::unique_ptr<InterfaceSource> LoadDeviceInterfaces(const RemoteSource& device,
                                                      QThreadPool& pool);
QString DeviceLibraryPath();

}  // namespace velmar
