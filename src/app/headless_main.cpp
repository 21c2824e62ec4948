// velmar-headless: the meter without a window, on Qt Core (and Qt Network
// for the metrics endpoint) alone. `velmar --headless ...` runs this.
//   velmar --headless [--adapter K] [--format text|json] [--metrics [ADDR:]PORT]
//                     [--metrics-include REGEX] [--metrics-exclude REGEX] [--devices FILE]
//                     [--snmp HOST[:PORT] [--snmp-version 2c|3] ...]
//   velmar --list-adapters      print the adapter list
//   velmar --history            print the recorded history
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <QThreadPool>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include <unistd.h>

#include "alarms/alarm_evaluator.h"
#include "alarms/console_alarm_actions.h"
#include "app/command_line.h"
#include "app/remote_options.h"
#include "app/report_main.h"
#include "config/product.h"
#include "config/settings_list.h"
#include "history/day_key_dates.h"
#include "history/history_report.h"
#include "measure/headless_meter.h"
#include "measure/interface_table.h"
#ifdef VELMAR_DEVICE_METRICS
#include "metrics/device_interfaces.h"
#include "metrics/device_list.h"
#endif
#include "metrics/interface_filter.h"
#include "metrics/listen_address.h"
#include "metrics/metrics_exporter.h"
#include "platform/key_store.h"
#include "platform/unix_signal_watcher.h"

using namespace velmar;

namespace {

// A device with this many interfaces or more is told to be waited for.
constexpr int64_t kManyInterfaces = 500;
#ifdef VELMAR_DEVICE_METRICS
// Devices polled for the metrics at once, at most.
constexpr int kParallelPolls = 8;
#endif

// The alarm evaluation of the settings, with the actions a meter without a
// window can take; alarms are also logged to the key store as the window
// does.
struct HeadlessAlarms {
  HeadlessAlarms(MeasurementState& state, SettingsList& settings, QTextStream& err)
      : evaluator(state, settings, actions, nullptr, dates) {
    try {
      evaluator.SetStore(&KeyStore::Default());
    } catch (const std::exception& e) {
      err << "Error: " << e.what() << Qt::endl;  // alarms still act, unlogged
    }
  }
  ConsoleAlarmActions actions;
  DayKeyDates dates;
  AlarmEvaluator evaluator;
};

}  // namespace

int main(int argc, char* argv[]) {
  // Qt's own event dispatcher instead of GLib's: the meter needs nothing
  // of GLib's loop, which costs a quarter of a megabyte resident here.
  if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
    qputenv("QT_NO_GLIB", "1");
  }
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(kApplicationTitle);
  QTextStream out(stdout);
  QTextStream err(stderr);

  // The report has options of its own.
  if (QCoreApplication::arguments().contains(QStringLiteral("--report"))) {
    return RunReport();
  }
  CommandLine options;
  if (!options.Parse(QCoreApplication::arguments(), err)) {
    return CommandLine::kUsageStatus;
  }
  QCommandLineParser& parser = options.Parser();
  if (parser.isSet(QStringLiteral("help"))) {
    out << parser.helpText();
    return 0;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    out << "velmar " << kVersionText << Qt::endl;
    return 0;
  }

  SettingsList settings;
  if (!settings.LoadComplete(SettingsList::FilePath())) {
    settings.SetLines(SettingsList::DefaultLines());
  }

  if (parser.isSet(QStringLiteral("history"))) {
    try {
      for (const QString& line : HistoryReport(KeyStore::Default(), settings.KilobitMode())) {
        out << line << Qt::endl;
      }
    } catch (const std::exception& e) {
      err << "Error: " << e.what() << Qt::endl;
      return 1;
    }
    return 0;
  }

  MeasurementState state;
  state.AdapterIndex = settings.AdapterIndex();
  state.AveragingMode = settings.AveragingMode();
  // The interface chosen by name: --adapter NAME, else the settings' name.
  QString adapterName =
      state.AdapterIndex > 0 ? settings.Line(SettingsLine::kAdapterName) : QString();
  if (parser.isSet(QStringLiteral("adapter"))) {
    const QString value = parser.value(QStringLiteral("adapter"));
    bool number = false;
    const int k = value.toInt(&number);
    if (value.isEmpty() || (number && (k < 0 || k > 32767))) {
      return CommandLine::UsageError(
          err, QStringLiteral("--adapter needs a number from 0 up or an adapter's name"));
    }
    state.AdapterIndex = number ? static_cast<int16_t>(k) : int16_t{1};
    adapterName = number ? QString() : value;
  }
  const QString format = parser.value(QStringLiteral("format"));
  if (format != QLatin1String("text") && format != QLatin1String("json")) {
    return CommandLine::UsageError(err, QStringLiteral("--format is text or json"));
  }
  ListenAddress metricsAddress;
  InterfaceFilter metricsFilter;
  const bool serveMetrics = parser.isSet(QStringLiteral("metrics"));
  if (serveMetrics) {
    try {
      metricsAddress = ListenAddress::Parse(parser.value(QStringLiteral("metrics")));
    } catch (const std::exception& e) {
      return CommandLine::UsageError(
          err, QStringLiteral("--metrics: %1").arg(QString::fromUtf8(e.what())));
    }
  }
  try {
    // The options, else the window's line; either option replaces the line.
    metricsFilter =
        options.IsSet("metrics-include") || options.IsSet("metrics-exclude")
            ? InterfaceFilter(options.Value("metrics-include"), options.Value("metrics-exclude"))
            : InterfaceFilter::FromLine(settings.Line(SettingsLine::kMetricsInterfaceFilter));
  } catch (const std::exception& e) {
    return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
  }
  if (options.IsSet("devices") && !serveMetrics) {
    return CommandLine::UsageError(err, QStringLiteral("--devices needs --metrics"));
  }

  // A device on the network, when --snmp or the settings choose one.
  RemoteOptions remote;
  for (const char* name : {"snmp", "snmp-version", "snmp-user", "snmp-level", "snmp-auth",
                           "snmp-priv", "snmp-secrets"}) {
    if (options.IsSet(name)) {
      remote.Take(QString::fromLatin1(name), options.Value(name));
    }
  }
  std::optional<RemoteSource> device;
  try {
    device = remote.Resolve(settings);
  } catch (const std::exception& e) {
    return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
  }
#ifdef VELMAR_DEVICE_METRICS
  // The devices served at /snmp?target=NAME.
  std::vector<DeviceEntry> fleet;
  if (options.IsSet("devices")) {
    try {
      fleet = ReadDeviceList(options.Value("devices"));
    } catch (const std::exception& e) {
      return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
    }
  }
#else
  // Devices' metrics poll with net-snmp, which a meter of this computer
  // alone has no need to map (2 MB of it and its crypto library): the
  // sibling built with them serves those.
  if (serveMetrics && (device || options.IsSet("devices"))) {
    const QByteArray sibling =
        QFile::encodeName(QCoreApplication::applicationDirPath() + "/velmar-devices");
    execv(sibling.constData(), argv);
    err << "velmar: cannot run " << QFile::decodeName(sibling) << ": " << std::strerror(errno)
        << Qt::endl;
    return 1;
  }
#endif

  // Without an agent the meter still runs: every tick publishes zero rates.
  // A device that cannot be asked as set up (no community, a protocol or
  // security level it refuses) ends the run: zeros forever would hide it.
  std::unique_ptr<InterfaceTable> table;
  try {
    // A one-shot listing waits for tables however long a device takes.
    const bool listing = parser.isSet(QStringLiteral("list-adapters"));
    table = device
                ? std::make_unique<InterfaceTable>(*device, nullptr, SystemClock(),
                                                   listing ? 0 : InterfaceTable::kRemoteTableWaitMs)
                : std::make_unique<InterfaceTable>();
  } catch (const std::exception& e) {
    if (device) {
      err << "velmar: " << e.what() << Qt::endl;
      return 1;
    }
    err << "Error: " << e.what() << Qt::endl;
  }
  if (device && table) {
    err << "velmar: measuring the device at " << device->Address() << Qt::endl;
    // A device of thousands of interfaces needs long for its tables.
    try {
      const int64_t interfaces = table->ReadCounters({}).marks.ifNumber;
      if (interfaces >= kManyInterfaces) {
        err << "velmar: the device at " << device->Address() << " has " << interfaces
            << " interfaces: waiting for its first answer (its interface tables)" << Qt::endl;
      }
    } catch (const std::exception&) {
      // A device still away: the readings say so.
    }
  }

  state.KilobitMode = settings.KilobitMode();
  HeadlessMeter meter(state, table.get(), settings, out, err);
  meter.WriteLinesTo(STDOUT_FILENO);
  meter.SetFormat(format == QLatin1String("json") ? HeadlessMeter::Format::kJson
                                                  : HeadlessMeter::Format::kText);
  meter.Sampler().OnSourceStatus = [&err](const QString& failure) {
    err << "velmar: " << (failure.isEmpty() ? QStringLiteral("readings resumed") : failure)
        << Qt::endl;
  };

  meter.Sampler().SelectAdapterByName(adapterName);
  if (parser.isSet(QStringLiteral("adapter"))) {
    std::vector<CounterSampler::Adapter> adapters;
    try {
      adapters = meter.Sampler().ListAdapters();
    } catch (const std::exception& e) {
      if (!device) {
        err << "Error: " << e.what() << Qt::endl;
      }
    }
    const bool known = adapterName.isEmpty()
                           ? state.AdapterIndex <= static_cast<int>(adapters.size())
                           : std::any_of(adapters.begin(), adapters.end(), [&](const auto& a) {
                               return a.name == adapterName || a.Shown() == adapterName;
                             });
    // A device still away cannot say yet whether it has that adapter.
    if (!known && !(device && adapters.empty())) {
      return CommandLine::UsageError(
          err, (adapterName.isEmpty()
                    ? QStringLiteral("adapter %1 is not in the list (0 to %2)")
                          .arg(state.AdapterIndex)
                          .arg(adapters.size())
                    : QStringLiteral("--adapter \"%1\": no adapter of that name is in the list")
                          .arg(adapterName)) +
                   QStringLiteral("; 'velmar --list-adapters' shows it"));
    }
    for (const auto& a : adapters) {
      if (a.Shown() == adapterName) {
        meter.Sampler().SelectAdapterByName(a.name);
      }
    }
  }

  if (parser.isSet(QStringLiteral("list-adapters"))) {
    try {
      // A trailing " *" marks the interfaces "All" counts; which rule chose
      // them goes to stderr, so the list stays as scripts read it.
      const auto adapters = meter.Sampler().ListAdapters();
      if (table) {
        err << "velmar: \"All\" (*) counts " << EdgeSelection::RuleText(meter.Sampler().AllRule())
            << Qt::endl;
      }
      out << "0: All" << Qt::endl;
      int k = 0;
      for (const CounterSampler::Adapter& adapter : adapters) {
        out << ++k << ": " << adapter.Shown() << (adapter.countsInAll ? " *" : "") << Qt::endl;
      }
    } catch (const std::exception& e) {
      err << (device ? "velmar: " : "Error: ") << e.what() << Qt::endl;
      return 1;
    }
    return 0;
  }

  const QStringList alarmConditions = AlarmEvaluator::ConfiguredConditions(settings);
  std::unique_ptr<HeadlessAlarms> alarms;
  if (!alarmConditions.isEmpty()) {
    alarms = std::make_unique<HeadlessAlarms>(state, settings, err);
    meter.Publisher().EvaluateAlarms = [&alarms](float up, float down) {
      alarms->evaluator.EvaluateAlarms(up, down);
    };
  }

#ifdef VELMAR_DEVICE_METRICS
  // Devices polled at once at most; the rest wait their turn within their
  // time-out.
  QThreadPool devicePolls;
  devicePolls.setMaxThreadCount(kParallelPolls);
  std::vector<std::unique_ptr<DeviceInterfaces>> fleetSources;
#endif
  std::unique_ptr<MetricsExporter> exporter;
  if (serveMetrics) {
    exporter = std::make_unique<MetricsExporter>(state, meter.Sampler());
    meter.Sampler().SetReadEveryInterface(true);  // the endpoint shows them all
    try {
      exporter->Listen(metricsAddress);
    } catch (const std::exception& e) {
      err << "velmar: " << e.what() << Qt::endl;
      return 1;
    }
    exporter->Server().SetInterfaceFilter(metricsFilter);
#ifdef VELMAR_DEVICE_METRICS
    if (device) {
      // The device's own counters, named by its address.
      exporter->UseInterfaceSource(
          std::make_unique<DeviceInterfaces>(SettingsOf(*device), devicePolls), device->Address());
    }
    std::map<QString, InterfaceSource*> targets;
    for (const DeviceEntry& entry : fleet) {
      fleetSources.push_back(std::make_unique<DeviceInterfaces>(entry.settings, devicePolls));
      targets[entry.name] = fleetSources.back().get();
    }
    exporter->Server().SetTargets(std::move(targets));
#endif
    exporter->SetAlarmConditions(alarmConditions);
    meter.Sampler().OnPublished = [&exporter](double up, double down) {
      exporter->Publish(up, down);
    };
    if (alarms) {
      alarms->evaluator.OnAlarm = [&exporter](int32_t code) { exporter->CountAlarm(code); };
    }
    err << "velmar: serving metrics at http://" << exporter->Where() << "/metrics" << Qt::endl;
#ifdef VELMAR_DEVICE_METRICS
    if (!fleet.empty()) {
      err << "velmar: serving " << fleet.size() << " devices at http://" << exporter->Where()
          << "/snmp?target=NAME" << Qt::endl;
    }
#endif
  }

  UnixSignalWatcher signalWatcher([&](int) {
    meter.Stop();
    QCoreApplication::quit();
  });
  meter.Start();
  return QCoreApplication::exec();
}
