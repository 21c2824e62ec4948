// The entry of libmib2devices.so: the device polling of the metrics
// endpoint, with net-snmp, for a program that loads it only once it
// measures a device (metrics/device_loader.h).
#include "metrics/device_interfaces.h"
#include "metrics/device_loader.h"

extern "C" __attribute__((visibility("default"))) velmar::InterfaceSource*
VelmarDeviceInterfacesNew(const SnmpRemoteSource* source, QThreadPool* pool) {
  if (source == nullptr || pool == nullptr) {
    return nullptr;
  }
  return new velmar::DeviceInterfaces(velmar::agent::RemoteSettings::From(*source), *pool);
}
