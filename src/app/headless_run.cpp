#include "app/headless_run.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <algorithm>
#include <map>

#include "metrics/metrics_exporter.h"
#ifdef VELMAR_DEVICE_METRICS
#include "metrics/device_interfaces.h"
#endif
#include "platform/key_store.h"
#include "platform/unix_signal_watcher.h"

namespace velmar {

namespace {
// A device with this many interfaces or more is told to be waited for.
constexpr int64_t kManyInterfaces = 500;
// Devices polled for the metrics at once, at most.
[[maybe_unused]] constexpr int kParallelPolls = 8;
}  // namespace

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

HeadlessRun::HeadlessRun(const HeadlessOptions& chosen, SettingsList& settings,
                         std::unique_ptr<InterfaceTable> table, QTextStream& out, QTextStream& err)
    : chosen_(chosen),
      settings_(settings),
      out_(out),
      err_(err),
      table_(std::move(table)),
      meter_(table_.get(), settings, out, err),
      core_(meter_.Core()) {
  meter_.WriteLinesTo(STDOUT_FILENO);
  meter_.SetFormat(chosen.format);
  core_.SetModes(settings.AveragingMode(), settings.KilobitMode());
  core_.SelectAdapter(chosen.adapterIndex, chosen.adapterName);
  QObject::connect(&core_, &MeterCore::sourceStatusChanged, &core_, [&err](const QString& failure) {
    err << "velmar: " << (failure.isEmpty() ? QStringLiteral("readings resumed") : failure)
        << Qt::endl;
  });
#ifdef VELMAR_DEVICE_METRICS
  // Devices polled at once at most; the rest wait their turn within their
  // time-out.
  core_.DevicePolls().setMaxThreadCount(kParallelPolls);
#endif
}

int HeadlessRun::Run() {
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
    programs_ = std::make_unique<HeadlessPrograms>(core_.State(), *chosen_.programs, out_, err_);
    programs_->ServeTo(core_.Metrics());
    QObject::connect(&core_, &MeterCore::published, &core_, [this] { programs_->Tick(); });
  }
  if (chosen_.recordHistory) {
    try {
      history_ =
          std::make_unique<HeadlessHistory>(core_.SharedState(), KeyStore::Default(),
                                            programs_ ? &programs_->History() : nullptr, err_);
    } catch (const std::exception& e) {
      err_ << "velmar: " << e.what() << Qt::endl;
      return 1;
    }
    QObject::connect(&core_, &MeterCore::published, &core_, [this] { history_->Tick(); });
  }
  const auto lastRecord = qScopeGuard([this] {
    if (history_) {
      history_->Stop();
    }
  });
  UnixSignalWatcher signalWatcher([this](int) {
    meter_.Stop();
    QCoreApplication::quit();
  });
  // Lines alone need no event loop between ticks: no endpoint to serve, no
  // alarm action to wait on.
  if (!chosen_.serveMetrics && !alarms_) {
    if (meter_.MeasureOnOwnBeat(UnixSignalWatcher::PendingDescriptor())) {
      return failed_.value_or(0);
    }
    // The tick ended its beat: wait for the signal as a timed run would.
    return QCoreApplication::exec();
  }
  meter_.Start();
  const int status = QCoreApplication::exec();
  return failed_.value_or(status);
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
    QObject::connect(
        &core_, &MeterCore::adaptersChanged, &core_,
        [this] {
          // Within a tick: the meter stops, and the run ends with the
          // status once the tick is over (on its own beat, or in the loop).
          failed_ = CheckAdapterIn(meter_.Sampler().Adapters());
          if (failed_) {
            meter_.Stop();
            QCoreApplication::exit(*failed_);
          }
        },
        Qt::SingleShotConnection);
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
                         ? core_.State().AdapterIndex <= static_cast<int>(adapters.size())
                         : std::any_of(adapters.begin(), adapters.end(), named);
  if (!known) {
    return CommandLine::UsageError(
        err_, (adapterName.isEmpty()
                   ? QStringLiteral("adapter %1 is not in the list (0 to %2)")
                         .arg(core_.State().AdapterIndex)
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
  alarms_ = std::make_unique<HeadlessAlarms>(core_.SharedState(), settings_, err_);
  core_.UseAlarms(alarms_->evaluator);
  QObject::connect(&core_, &MeterCore::alarmActionFailed, &core_,
                   [this](const QString& failure) { err_ << "Alarm: " << failure << Qt::endl; });
}

Status HeadlessRun::ServeMetrics() {
  MeterCore::MetricsOptions metrics;
  metrics.where = chosen_.metricsAddress;
  metrics.filter = chosen_.metricsFilter;
  metrics.alarmConditions = alarmConditions_;
  // The endpoint shows every interface: this computer's come with the
  // tick's reading, cheaply; a device's are polled when a scrape asks,
  // so the tick asks the device only for what it shows.
  metrics.readEveryInterface = !chosen_.device;
#ifdef VELMAR_DEVICE_METRICS
  metrics.security = chosen_.security;
#endif
  MetricsExporter* exporter = nullptr;
  try {
    exporter = &core_.ServeMetrics(metrics);
  } catch (const std::exception& e) {
    err_ << "velmar: " << e.what() << Qt::endl;
    return 1;
  }
  const QString scheme =
      exporter->Server().Secure() ? QStringLiteral("https") : QStringLiteral("http");
#ifdef VELMAR_DEVICE_METRICS
  ServeDevices();
#endif
  err_ << "velmar: serving metrics at " << scheme << "://" << exporter->Where() << "/metrics"
       << Qt::endl;
#ifdef VELMAR_DEVICE_METRICS
  if (!chosen_.fleet.empty()) {
    err_ << "velmar: serving " << chosen_.fleet.size() << " devices at " << scheme << "://"
         << exporter->Where() << "/snmp?target=NAME" << Qt::endl;
  }
#endif
  return std::nullopt;
}

#ifdef VELMAR_DEVICE_METRICS
void HeadlessRun::ServeDevices() {
  if (chosen_.device) {
    // The device's own counters, named by its address.
    core_.ShowInterfacesOf(
        std::make_unique<DeviceInterfaces>(SettingsOf(*chosen_.device), core_.DevicePolls()),
        chosen_.device->Address());
  }
  std::map<QString, std::unique_ptr<InterfaceSource>> targets;
  for (const DeviceEntry& entry : chosen_.fleet) {
    targets[entry.name] = std::make_unique<DeviceInterfaces>(entry.settings, core_.DevicePolls());
  }
  core_.ServeTargets(std::move(targets));
}
#endif

}  // namespace velmar
