#pragma once

#include <QString>
#include <QTextStream>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/command_line.h"
#include "app/headless_meter.h"
#include "app/headless_programs.h"
#include "config/settings_list.h"
#include "interfaces/remote_source.h"
#include "metrics/interface_filter.h"
#include "metrics/listen_address.h"
#ifdef VELMAR_DEVICE_METRICS
#include "metrics/device_list.h"
#include "metrics/web_security.h"
#endif

namespace velmar {

// The options of a run, read and checked before anything starts.
struct HeadlessOptions {
  int16_t adapterIndex = 0;
  // The interface chosen by name: --adapter NAME, else the settings' name.
  QString adapterName;
  bool adapterGiven = false;  // --adapter
  bool listAdapters = false;  // --list-adapters
  HeadlessMeter::Format format = HeadlessMeter::Format::kText;
  bool serveMetrics = false;  // --metrics
  ListenAddress metricsAddress;
  InterfaceFilter metricsFilter;
  bool devicesGiven = false;    // --devices
  bool webConfigGiven = false;  // --web-config
  // A device on the network, when --snmp or the settings choose one.
  std::optional<RemoteSource> device;
#ifdef VELMAR_DEVICE_METRICS
  std::vector<DeviceEntry> fleet;         // the devices served at /snmp?target=NAME
  std::shared_ptr<WebSecurity> security;  // --web-config
#endif
  // --programs, or --programs-top for the metrics alone.
  std::optional<HeadlessPrograms::Options> programs;
  bool recordHistory = false;  // --record-history
};

// An exit status when the run ends at that step; nullopt to go on.
using Status = std::optional<int>;

// The options in the order their mistakes are reported: --adapter, the
// output and the endpoint, the device and the devices served.
Status ReadOptions(const CommandLine& options, const SettingsList& settings,
                   HeadlessOptions& chosen, QTextStream& err);

}  // namespace velmar
