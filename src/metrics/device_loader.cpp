#include "metrics/device_loader.h"

#include "interfaces/remote_source.h"
#include "platform/app_paths.h"
#include "platform/dynamic_library.h"

namespace velmar {

QString DeviceLibraryPath() {
  const QString over = qEnvironmentVariable("VELMAR_DEVICES_LIBRARY");
  return over.isEmpty() ? AgentLibraryPath(QStringLiteral("libmib2devices.so")) : over;
}

std::unique_ptr<InterfaceSource> LoadDeviceInterfaces(const RemoteSource& device,
                                                      QThreadPool& pool) {
  // Never unloaded: a pool thread or net-snmp's state may still refer to it.
  static DynamicLibrary* library = new DynamicLibrary;
  static DeviceInterfacesNew create = nullptr;
  if (create == nullptr) {
    const QString path = DeviceLibraryPath();
    if (!library->Load(path.toStdString())) {
      throw MetricsError(QStringLiteral("The device polling library %1 cannot be loaded: %2")
                             .arg(path, QString::fromStdString(library->LastError())));
    }
    create =
        reinterpret_cast<DeviceInterfacesNew>(library->Symbol(VELMAR_DEVICE_INTERFACES_NEW_NAME));
    if (create == nullptr) {
      library->Unload();
      throw MetricsError(QStringLiteral("%1 has no %2 entry.")
                             .arg(path, QStringLiteral(VELMAR_DEVICE_INTERFACES_NEW_NAME)));
    }
  }
  RemoteSource::Storage storage;
  const SnmpRemoteSource abi = device.ToAbi(storage, 0);
  return std::unique_ptr<InterfaceSource>(create(&abi, &pool));
}

}  // namespace velmar
