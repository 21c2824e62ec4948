// velmar-headless: the meter without a window, on Qt Core (and Qt Network
// for the metrics endpoint) alone. `velmar --headless ...` runs this.
//   velmar --headless [--adapter K] [--format text|json] [--metrics [ADDR:]PORT]
//                     [--metrics-include REGEX] [--metrics-exclude REGEX] [--devices FILE]
//                     [--web-config FILE] [--programs] [--programs-top N]
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
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include <unistd.h>

#include "alarms/alarm_evaluator.h"
#include "alarms/console_alarm_actions.h"
#include "app/command_line.h"
#include "app/headless_programs.h"
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
#ifdef VELMAR_DEVICE_METRICS
#include "metrics/web_security.h"
#endif
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
};

// An exit status when the run ends at that step; nullopt to go on.
using Status = std::optional<int>;

int PrintHistory(const SettingsList& settings, QTextStream& out, QTextStream& err) {
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

// --adapter K or NAME, over the settings' choice.
Status ReadAdapterOption(const CommandLine& options, const SettingsList& settings,
                         HeadlessOptions& chosen, QTextStream& err) {
  chosen.adapterIndex = settings.AdapterIndex();
  chosen.adapterName =
      chosen.adapterIndex > 0 ? settings.Line(SettingsLine::kAdapterName) : QString();
  chosen.adapterGiven = options.IsSet("adapter");
  if (!chosen.adapterGiven) {
    return std::nullopt;
  }
  const QString value = options.Value("adapter");
  bool number = false;
  const int k = value.toInt(&number);
  if (value.isEmpty() || (number && (k < 0 || k > 32767))) {
    return CommandLine::UsageError(
        err, QStringLiteral("--adapter needs a number from 0 up or an adapter's name"));
  }
  chosen.adapterIndex = number ? static_cast<int16_t>(k) : int16_t{1};
  chosen.adapterName = number ? QString() : value;
  return std::nullopt;
}

// --format, --metrics and the interfaces it serves.
Status ReadOutputOptions(const CommandLine& options, const SettingsList& settings,
                         HeadlessOptions& chosen, QTextStream& err) {
  const QString format = options.Value("format");
  if (format != QLatin1String("text") && format != QLatin1String("json")) {
    return CommandLine::UsageError(err, QStringLiteral("--format is text or json"));
  }
  chosen.format =
      format == QLatin1String("json") ? HeadlessMeter::Format::kJson : HeadlessMeter::Format::kText;
  chosen.serveMetrics = options.IsSet("metrics");
  if (chosen.serveMetrics) {
    try {
      chosen.metricsAddress = ListenAddress::Parse(options.Value("metrics"));
    } catch (const std::exception& e) {
      return CommandLine::UsageError(
          err, QStringLiteral("--metrics: %1").arg(QString::fromUtf8(e.what())));
    }
  }
  try {
    // The options, else the window's line; either option replaces the line.
    chosen.metricsFilter =
        options.IsSet("metrics-include") || options.IsSet("metrics-exclude")
            ? InterfaceFilter(options.Value("metrics-include"), options.Value("metrics-exclude"))
            : InterfaceFilter::FromLine(settings.Line(SettingsLine::kMetricsInterfaceFilter));
  } catch (const std::exception& e) {
    return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
  }
  chosen.devicesGiven = options.IsSet("devices");
  if (chosen.devicesGiven && !chosen.serveMetrics) {
    return CommandLine::UsageError(err, QStringLiteral("--devices needs --metrics"));
  }
  chosen.webConfigGiven = options.IsSet("web-config");
  if (chosen.webConfigGiven && !chosen.serveMetrics) {
    return CommandLine::UsageError(err, QStringLiteral("--web-config needs --metrics"));
  }
#ifdef VELMAR_DEVICE_METRICS
  if (chosen.webConfigGiven) {
    try {
      chosen.security = LoadWebSecurity(options.Value("web-config"));
    } catch (const std::exception& e) {
      return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
    }
  }
#endif
  return std::nullopt;
}

// --snmp and its company, else the settings' device; --devices FILE.
Status ReadDeviceOptions(const CommandLine& options, const SettingsList& settings,
                         HeadlessOptions& chosen, QTextStream& err) {
  RemoteOptions remote;
  for (const char* name : {"snmp", "snmp-version", "snmp-user", "snmp-level", "snmp-auth",
                           "snmp-priv", "snmp-secrets"}) {
    if (options.IsSet(name)) {
      remote.Take(QString::fromLatin1(name), options.Value(name));
    }
  }
  try {
    chosen.device = remote.Resolve(settings);
  } catch (const std::exception& e) {
    return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
  }
#ifdef VELMAR_DEVICE_METRICS
  if (chosen.devicesGiven) {
    try {
      chosen.fleet = ReadDeviceList(options.Value("devices"));
    } catch (const std::exception& e) {
      return CommandLine::UsageError(err, QString::fromUtf8(e.what()));
    }
  }
#endif
  return std::nullopt;
}

// The options in the order their mistakes are reported.
Status ReadOptions(const CommandLine& options, const SettingsList& settings,
                   HeadlessOptions& chosen, QTextStream& err) {
  chosen.listAdapters = options.IsSet("list-adapters");
  if (Status status = ReadAdapterOption(options, settings, chosen, err)) {
    return status;
  }
  if (Status status = ReadOutputOptions(options, settings, chosen, err)) {
    return status;
  }
  if (options.IsSet("programs") || options.IsSet("programs-top")) {
    HeadlessPrograms::Options programs;
    programs.print = options.IsSet("programs");
    programs.json = chosen.format == HeadlessMeter::Format::kJson;
    const QString top = options.IsSet("programs-top") ? options.Value("programs-top")
                                                      : settings.Line(SettingsLine::kProgramsTop);
    bool number = top.isEmpty();
    programs.top = top.isEmpty() ? 20 : top.toUInt(&number);
    if (!number || programs.top == 0 || programs.top > 1000) {
      return CommandLine::UsageError(err,
                                     QStringLiteral("--programs-top is a number from 1 to 1000"));
    }
    programs.helper = QString::fromStdString(
        programs::FindCaptureHelper(QCoreApplication::applicationDirPath().toStdString()));
    chosen.programs = programs;
  }
  return ReadDeviceOptions(options, settings, chosen, err);
}

#ifndef VELMAR_DEVICE_METRICS
// Devices' metrics poll with net-snmp, which a meter of this computer
// alone has no need to map (2 MB of it and its crypto library): the
// sibling built with them serves those, with the same arguments. The
// sibling also serves a web configuration (TLS, YAML, bcrypt).
int RunDeviceMeter(char* argv[], QTextStream& err) {
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
Status OpenInterfaceTable(const HeadlessOptions& chosen, std::unique_ptr<InterfaceTable>& table,
                          QTextStream& err) {
  const std::optional<RemoteSource>& device = chosen.device;
  try {
    // A one-shot listing waits for tables however long a device takes.
    table = device ? std::make_unique<InterfaceTable>(
                         *device, nullptr, SystemClock(),
                         chosen.listAdapters ? 0 : InterfaceTable::kRemoteTableWaitMs)
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
  return std::nullopt;
}

MeasurementState InitialState(const SettingsList& settings, const HeadlessOptions& chosen) {
  MeasurementState state;
  state.AdapterIndex = chosen.adapterIndex;
  state.AveragingMode = settings.AveragingMode();
  state.KilobitMode = settings.KilobitMode();
  return state;
}

// The meter of one run and what it serves besides its lines: the alarms
// and the metrics endpoint. Members go in reverse order: the endpoint and
// the devices' sources before the pool they poll on, all before the meter.
class HeadlessRun {
 public:
  HeadlessRun(const HeadlessOptions& chosen, SettingsList& settings,
              std::unique_ptr<InterfaceTable> table, QTextStream& out, QTextStream& err);

  // Lists the adapters, or measures until a signal ends the run.
  int Run();

 private:
  Status CheckAdapter();
  Status CheckAdapterIn(const std::vector<CounterSampler::Adapter>& adapters);
  int ListAdapters();
  void SetUpAlarms();
  Status ServeMetrics();
#ifdef VELMAR_DEVICE_METRICS
  void ServeDevices();
#endif

  const HeadlessOptions& chosen_;
  SettingsList& settings_;
  QTextStream& out_;
  QTextStream& err_;
  MeasurementState state_;
  std::unique_ptr<InterfaceTable> table_;
  HeadlessMeter meter_;
  QStringList alarmConditions_;
  std::unique_ptr<HeadlessAlarms> alarms_;
#ifdef VELMAR_DEVICE_METRICS
  // Devices polled at once at most; the rest wait their turn within their
  // time-out.
  QThreadPool devicePolls_;
  std::vector<std::unique_ptr<DeviceInterfaces>> fleetSources_;
#endif
  std::unique_ptr<MetricsExporter> exporter_;
  std::unique_ptr<HeadlessPrograms> programs_;
};

HeadlessRun::HeadlessRun(const HeadlessOptions& chosen, SettingsList& settings,
                         std::unique_ptr<InterfaceTable> table, QTextStream& out, QTextStream& err)
    : chosen_(chosen),
      settings_(settings),
      out_(out),
      err_(err),
      state_(InitialState(settings, chosen)),
      table_(std::move(table)),
      meter_(state_, table_.get(), settings, out, err) {
  meter_.WriteLinesTo(STDOUT_FILENO);
  meter_.SetFormat(chosen.format);
  meter_.Sampler().OnSourceStatus = [&err](const QString& failure) {
    err << "velmar: " << (failure.isEmpty() ? QStringLiteral("readings resumed") : failure)
        << Qt::endl;
  };
#ifdef VELMAR_DEVICE_METRICS
  devicePolls_.setMaxThreadCount(kParallelPolls);
#endif
}

int HeadlessRun::Run() {
  meter_.Sampler().SelectAdapterByName(chosen_.adapterName);
  if (chosen_.adapterGiven) {
    if (const Status status = CheckAdapter()) {
      return *status;
    }
  }
  if (chosen_.listAdapters) {
    return ListAdapters();
  }
  SetUpAlarms();
  if (chosen_.serveMetrics) {
    if (const Status status = ServeMetrics()) {
      return *status;
    }
  }
  if (chosen_.programs) {
    programs_ = std::make_unique<HeadlessPrograms>(state_, *chosen_.programs, out_, err_);
    programs_->ServeTo(exporter_.get());
    meter_.Sampler().OnPublished = [this, published = meter_.Sampler().OnPublished](double up,
                                                                                    double down) {
      if (published) {
        published(up, down);
      }
      programs_->Tick();
    };
  }
  UnixSignalWatcher signalWatcher([this](int) {
    meter_.Stop();
    QCoreApplication::quit();
  });
  // Lines alone need no event loop between ticks: no endpoint to serve, no
  // alarm action to wait on.
  if (!chosen_.serveMetrics && !alarms_) {
    if (meter_.MeasureOnOwnBeat(UnixSignalWatcher::PendingDescriptor())) {
      return 0;
    }
    // The tick ended its beat: wait for the signal as a timed run would.
    return QCoreApplication::exec();
  }
  meter_.Start();
  return QCoreApplication::exec();
}

// The adapter --adapter names must be in the list.
Status HeadlessRun::CheckAdapter() {
  std::vector<CounterSampler::Adapter> adapters;
  try {
    adapters = meter_.Sampler().ListAdapters();
  } catch (const std::exception& e) {
    if (!chosen_.device) {
      err_ << "Error: " << e.what() << Qt::endl;
    }
  }
  // A device away, or still sending a table of hundreds of rows, cannot
  // say yet whether it has that adapter: the check waits for its list.
  if (chosen_.device && adapters.empty()) {
    meter_.Sampler().AwaitAdapters();
    meter_.Sampler().OnAdaptersFound = [this] {
      meter_.Sampler().OnAdaptersFound = nullptr;
      if (const Status status = CheckAdapterIn(meter_.Sampler().Adapters())) {
        // Within a tick, maybe on the meter's own beat with no event loop
        // to return to: the lines went out unbuffered, the message flushed.
        err_.flush();
        std::_Exit(*status);
      }
    };
    return std::nullopt;
  }
  return CheckAdapterIn(adapters);
}

Status HeadlessRun::CheckAdapterIn(const std::vector<CounterSampler::Adapter>& adapters) {
  const QString& adapterName = chosen_.adapterName;
  // The name as listed (with its alias or not), or a device's long
  // description where the list shows its short name.
  const auto named = [&](const CounterSampler::Adapter& a) {
    return a.name == adapterName || a.Shown() == adapterName ||
           (!a.description.isEmpty() && a.description == adapterName);
  };
  const bool known = adapterName.isEmpty()
                         ? state_.AdapterIndex <= static_cast<int>(adapters.size())
                         : std::any_of(adapters.begin(), adapters.end(), named);
  if (!known) {
    return CommandLine::UsageError(
        err_, (adapterName.isEmpty()
                   ? QStringLiteral("adapter %1 is not in the list (0 to %2)")
                         .arg(state_.AdapterIndex)
                         .arg(adapters.size())
                   : QStringLiteral("--adapter \"%1\": no adapter of that name is in the list")
                         .arg(adapterName)) +
                  QStringLiteral("; 'velmar --list-adapters' shows it"));
  }
  if (!adapterName.isEmpty()) {
    const auto it = std::find_if(adapters.begin(), adapters.end(), named);
    if (it->name != adapterName) {
      meter_.Sampler().SelectAdapterByName(it->name);
    }
  }
  return std::nullopt;
}

int HeadlessRun::ListAdapters() {
  try {
    // A trailing " *" marks the interfaces "All" counts; which rule chose
    // them goes to stderr, so the list stays as scripts read it.
    const auto adapters = meter_.Sampler().ListAdapters();
    if (table_) {
      const EdgeSelection::Choice& all = meter_.Sampler().AllChoice();
      err_ << "velmar: \"All\" (*) counts " << EdgeSelection::RuleText(all.rule);
      // Said where it matters: more than one interface counted, or names
      // that decided.
      if (all.stack == EdgeSelection::Stack::kNames ||
          (all.stack == EdgeSelection::Stack::kUnknown &&
           std::count(all.counted.begin(), all.counted.end(), true) > 1)) {
        err_ << " (" << EdgeSelection::StackText(all) << ")";
      }
      err_ << Qt::endl;
    }
    out_ << "0: All" << Qt::endl;
    int k = 0;
    for (const CounterSampler::Adapter& adapter : adapters) {
      out_ << ++k << ": " << adapter.Shown() << (adapter.countsInAll ? " *" : "") << Qt::endl;
    }
  } catch (const std::exception& e) {
    err_ << (chosen_.device ? "velmar: " : "Error: ") << e.what() << Qt::endl;
    return 1;
  }
  return 0;
}

void HeadlessRun::SetUpAlarms() {
  alarmConditions_ = AlarmEvaluator::ConfiguredConditions(settings_);
  if (alarmConditions_.isEmpty()) {
    return;
  }
  alarms_ = std::make_unique<HeadlessAlarms>(state_, settings_, err_);
  meter_.Publisher().EvaluateAlarms = [this](float up, float down) {
    alarms_->evaluator.EvaluateAlarms(up, down);
  };
  alarms_->evaluator.OnActionFailed = [this](const QString& failure) {
    err_ << "Alarm: " << failure << Qt::endl;
  };
}

Status HeadlessRun::ServeMetrics() {
  exporter_ = std::make_unique<MetricsExporter>(state_, meter_.Sampler());
  // The endpoint shows every interface: this computer's come with the
  // tick's reading, cheaply; a device's are polled when a scrape asks,
  // so the tick asks the device only for what it shows.
  if (!chosen_.device) {
    meter_.Sampler().SetReadEveryInterface(true);
  }
  try {
    exporter_->Listen(chosen_.metricsAddress);
  } catch (const std::exception& e) {
    err_ << "velmar: " << e.what() << Qt::endl;
    return 1;
  }
  exporter_->Server().SetInterfaceFilter(chosen_.metricsFilter);
  QString scheme = QStringLiteral("http");
#ifdef VELMAR_DEVICE_METRICS
  ServeDevices();
  if (chosen_.security) {
    exporter_->Server().SetSecurity(chosen_.security);
    scheme = exporter_->Server().Secure() ? QStringLiteral("https") : scheme;
  }
#endif
  exporter_->SetAlarmConditions(alarmConditions_);
  meter_.Sampler().OnPublished = [this](double up, double down) { exporter_->Publish(up, down); };
  if (alarms_) {
    alarms_->evaluator.OnAlarm = [this](int32_t code) { exporter_->CountAlarm(code); };
  }
  err_ << "velmar: serving metrics at " << scheme << "://" << exporter_->Where() << "/metrics"
       << Qt::endl;
#ifdef VELMAR_DEVICE_METRICS
  if (!chosen_.fleet.empty()) {
    err_ << "velmar: serving " << chosen_.fleet.size() << " devices at " << scheme << "://"
         << exporter_->Where() << "/snmp?target=NAME" << Qt::endl;
  }
#endif
  return std::nullopt;
}

#ifdef VELMAR_DEVICE_METRICS
void HeadlessRun::ServeDevices() {
  if (chosen_.device) {
    // The device's own counters, named by its address.
    exporter_->UseInterfaceSource(
        std::make_unique<DeviceInterfaces>(SettingsOf(*chosen_.device), devicePolls_),
        chosen_.device->Address());
  }
  std::map<QString, InterfaceSource*> targets;
  for (const DeviceEntry& entry : chosen_.fleet) {
    fleetSources_.push_back(std::make_unique<DeviceInterfaces>(entry.settings, devicePolls_));
    targets[entry.name] = fleetSources_.back().get();
  }
  exporter_->Server().SetTargets(std::move(targets));
}
#endif

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
  if (options.IsSet("help")) {
    out << options.Parser().helpText();
    return 0;
  }
  if (options.IsSet("version")) {
    out << "velmar " << kVersionText << Qt::endl;
    return 0;
  }

  SettingsList settings;
  if (!settings.LoadComplete(SettingsList::FilePath())) {
    settings.SetLines(SettingsList::DefaultLines());
  }
  if (options.IsSet("history")) {
    return PrintHistory(settings, out, err);
  }

  HeadlessOptions chosen;
  if (const Status status = ReadOptions(options, settings, chosen, err)) {
    return *status;
  }
#ifndef VELMAR_DEVICE_METRICS
  if (chosen.serveMetrics && (chosen.device || chosen.devicesGiven || chosen.webConfigGiven)) {
    return RunDeviceMeter(argv, err);
  }
#endif
  std::unique_ptr<InterfaceTable> table;
  if (const Status status = OpenInterfaceTable(chosen, table, err)) {
    return *status;
  }
  HeadlessRun run(chosen, settings, std::move(table), out, err);
  return run.Run();
}
