#include "shell/meter_session.h"

#include <QAbstractEventDispatcher>

#include "config/program_section.h"

#include <QCoreApplication>

#include "config/product.h"
#include "interfaces/remote_source.h"
#include "metrics/device_loader.h"
#include "metrics/interface_filter.h"
#include "metrics/listen_address.h"
#include "metrics/security_loader.h"
#include "platform/autostart.h"
#include "platform/data_locations.h"
#include "platform/key_store.h"
#include "platform/metered_devices.h"
#include "shell/plan_setup.h"

namespace velmar {

MeterSession::MeterSession(Environment environment, const MeterView& view)
    : env_(std::move(environment)),
      view_(view),
      core_(*this, view.displays, settings_, *env_.clock),
      generator_(state_, *env_.clock),
      analysis_(core_, settings_, view.analysis),
      loader_(settings_, view.settings, nullptr, env_.settingsFile, env_.executablePath,
              env_.autostartEntry),
      placement_(nullptr),
      dates_(env_.dates),
      recorder_(state_, nullptr, dates_),
      usage_(nullptr, dates_),
      maintenance_(nullptr, dates_),
      alarmActions_(env_.systemBeep),
      evaluator_(state_, settings_, alarmActions_, nullptr, dates_),
      plan_(usage_, settings_, alarmActions_) {
  if (env_.counters) {
    usage_.Take = env_.counters;
  }
  if (env_.downloadTimeout > 0) {
    generator_.HTTPCli().SetTimeOut(env_.downloadTimeout);
  }
  calcTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&calcTimer_, &QTimer::timeout, &calcTimer_, [this] {
    // A queue run inside the tick (the averaging) must not start the
    // download there: it would hold this handler, and Qt delivers no
    // further ticks of a timer whose handler still runs.
    TrafficGenerator::TickScope scope(generator_);
    core_.Tick();
  });
  // Direct: the next tick and StartDownload read the flag at once.
  QObject::connect(&generator_, &TrafficGenerator::BusyChanged, &core_, &MeterCore::SetDownloadBusy,
                   Qt::DirectConnection);
  QObject::connect(&historyTimer_, &QTimer::timeout, &historyTimer_, [this] { RecordTick(); });
  ConnectCore();
  QObject::connect(&plan_, &PlanWatch::warned, &plan_, [this] {
    Guarded([this] { loader_.SaveOwnLines({SettingsLine::kPlanWarned}); });
  });
  QObject::connect(&plan_.Alarm(), &PlanAlarm::actionFailed, &plan_,
                   [this](const QString& failure) {
                     view_.analysis.SetStatusText(QStringLiteral("Data plan: ") + failure);
                   });
  usage_.Counts = [this] {
    return MeterSelection(table_.get(), state_.AdapterIndex,
                          settings_.Line(SettingsLine::kAdapterName));
  };
  // Generate mode says in the status bar when its downloads fail, and when
  // they work again; it goes on trying meanwhile.
  QObject::connect(
      &generator_, &TrafficGenerator::DownloadFailed, &generator_,
      [this](const QString& error, int pauseSeconds) {
        view_.analysis.SetStatusText(analysis_.StatusText(" - Download failed: ") + error +
                                     QStringLiteral("; next try in %1 s").arg(pauseSeconds));
      });
  QObject::connect(&generator_, &TrafficGenerator::DownloadsRecovered, &generator_, [this] {
    view_.analysis.SetStatusText(analysis_.StatusText(" - Downloading again in GENERATE MODE"));
  });
}

void MeterSession::ConnectCore() {
  core_.UseAlarms(evaluator_);
  // A device on the network that stops answering is told in the status
  // bar while the window goes on ticking.
  QObject::connect(&core_, &MeterCore::sourceStatusChanged, &core_, [this](const QString& failure) {
    view_.analysis.SetStatusText(failure.isEmpty() ? QStringLiteral("Readings resumed.") : failure);
  });
  // The chosen interface found by name (at a new row, or named for the
  // first time): the settings keep both, the caption shows it.
  QObject::connect(&core_, &MeterCore::adapterFound, &core_, [this](int row, const QString& name) {
    settings_.SetLine(SettingsLine::kAdapterIndex, QString::number(row));
    settings_.SetLineExtending(SettingsLine::kAdapterName, name);
    Guarded([this] {
      loader_.SaveOwnLines({SettingsLine::kAdapterIndex, SettingsLine::kAdapterName});
    });
    view_.settings.SetAdapterLabel(SettingsLoader::AdapterCaption(adapters_, row));
  });
  // A device that was away when the list was built: its interfaces are
  // listed once it answers, after the tick (the listing reads the table
  // again, and the tick is still reading it).
  QObject::connect(&core_, &MeterCore::adaptersChanged, &calcTimer_, [this] {
    QTimer::singleShot(0, &calcTimer_, [this] { Guarded([this] { RebuildAdapterList(); }); });
  });
  // A mail or notification that cannot go out is told once a stretch in the
  // status bar; a dialog at every evaluation would stop the user's work.
  QObject::connect(&core_, &MeterCore::alarmActionFailed, &core_, [this](const QString& failure) {
    view_.analysis.SetStatusText(QStringLiteral("Alarm: ") + failure);
  });
}

MeterSession::~MeterSession() {
  calcTimer_.stop();
  historyTimer_.stop();
}

void MeterSession::Report(const std::exception& error) {
  view_.window.ReportError(error);
}

void MeterSession::Guarded(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& e) {
    Report(e);
  }
}

void MeterSession::Start() {
  SectionScope here(state_.ProgramSection, section::kStart);
  Guarded([this] {
    // The settings are applied later; which agent to load is known first.
    SettingsList file;
    file.LoadFromFile(env_.settingsFile);
    UseSource(file);
  });
  core_.UseTable(table_.get());
  Guarded([this] { store_ = &KeyStore::Default(); });
  // The window uses the store at its start, every five minutes and on the
  // user's commands: SQLite stays mapped only until the loop waits again.
  if (auto* loop = QAbstractEventDispatcher::instance(); loop != nullptr && store_ != nullptr) {
    QObject::connect(loop, &QAbstractEventDispatcher::aboutToBlock, &calcTimer_,
                     [this] { store_->Unload(); });
  }
  here.Step(section::kStart);
  loader_.SetStore(store_);
  recorder_.SetStore(store_);
  usage_.SetStore(store_);
  maintenance_.SetStore(store_);
  evaluator_.SetStore(store_);
  placement_ = PlacementStore(store_);
  placement_.root = KeyRoot::kMachine;
  placement_.SetKey(kProductKey);
  placement_.enabled = env_.windowPositions;
  placement_.Load(view_.placement);
  ResetForStart();
  ReloadSettings();
}

void MeterSession::RecordPrograms() {
  // A device's counts are not this computer's sockets'.
  const bool wanted = settings_.Flag(SettingsLine::kProgramHistory) && !MeasuresDevice();
  if (wanted == (programs_ != nullptr)) {
    return;
  }
  if (!wanted) {
    QObject::disconnect(programsTick_);
    recorder_.SetProgramSource(nullptr);
    programs_.reset();
    return;
  }
  bool number = false;
  const uint top = settings_.Line(SettingsLine::kProgramsTop).toUInt(&number);
  programs::ProgramFeed::Options options;
  options.helper =
      programs::FindCaptureHelper(QCoreApplication::applicationDirPath().toStdString());
  programs_ = std::make_unique<programs::ProgramRecording>(
      number && top > 0 && top <= 1000 ? top : 20, std::move(options));
  recorder_.SetProgramSource(&programs_->Source());
  programsTick_ = QObject::connect(&core_, &MeterCore::published, &core_, [this] {
    Guarded([this] { programs_->Tick(state_.CountedDownBytes, state_.CountedUpBytes); });
  });
}

void MeterSession::UpdatePlan() {
  plan_.Reload();
  Guarded([this] { plan_.Update(MeterSelection(table_.get(), 0, {}), core_.Metrics()); });
}

void MeterSession::SetUpPlan() {
  QStringList names;
  for (const auto& adapter : core_.Sampler().Adapters()) {
    names << adapter.name;
  }
  if (PlanSetup(settings_, names, MeteredDevices().Interfaces()).Run()) {
    Guarded([this] {
      loader_.SaveOwnLines({SettingsLine::kPlanLimit, SettingsLine::kPlanPeriod,
                            SettingsLine::kPlanCounts, SettingsLine::kPlanInterfaces,
                            SettingsLine::kPlanWarnAt, SettingsLine::kPlanWarned});
    });
    UpdatePlan();
  }
}

void MeterSession::ResetForStart() {
  SectionScope here(state_.ProgramSection, section::kResetForStart);
  view_.window.ResetForStart();
  calcTimer_.stop();
  calcTimer_.setInterval(kCalcTimerIntervalMs);
  historyTimer_.stop();
  historyTimer_.setInterval(recorder_.PeriodMs());
  core_.ResetForSettings();
  view_.analysis.ShowLockPicture(true);
  view_.analysis.SetTotalDisplay(int64_t{0});
  settings_.Clear();
  adapters_.clear();
}

void MeterSession::ApplyStartModes() {
  SectionScope here(state_.ProgramSection, section::kFirstShow);
  Guarded([this] {
    analysis_.PressGenerate(settings_.Line(SettingsLine::kStartGenerating) != QLatin1String("0"));
  });
  Guarded([this] { analysis_.PressActive(settings_.Flag(SettingsLine::kStartActive)); });
}

void MeterSession::Shutdown() {
  if (shutDown_) {
    return;
  }
  shutDown_ = true;
  calcTimer_.stop();
  historyTimer_.stop();
  generator_.CancelDownload();
  if (state_.AnalysisActive) {
    Guarded([this] { analysis_.PressActive(false); });
  }
  core_.UseTable(nullptr);
  table_.reset();
  view_.window.CloseForShutdown();
  placement_.enabled = env_.windowPositions;
  placement_.Save(view_.placement);
}

void MeterSession::SaveSettings(bool generateMode) {
  settings_.SetFlag(SettingsLine::kStartGenerating, generateMode);
  // An older file gains the source's lines, at their defaults.
  settings_.SetLineExtending(SettingsLine::kDeviceSecurityLevel,
                             settings_.Line(SettingsLine::kDeviceSecurityLevel));
  loader_.SaveSettings();
}

void MeterSession::ReloadSettings() {
  Guarded([this] { loader_.LoadSettings(true); });
  plan_.Reload();
  SelectAdapterFromSettings();
  RecordPrograms();
}

void MeterSession::SelectAdapterFromSettings() {
  core_.Sampler().SelectAdapterByName(
      state_.AdapterIndex > 0 ? settings_.Line(SettingsLine::kAdapterName) : QString());
}

void MeterSession::UseSource(const SettingsList& settings) {
  core_.UseTable(nullptr);
  table_.reset();
  device_.reset();
  if (RemoteSource::Chosen(settings)) {
    device_ = RemoteSource::FromSettings(settings);
    device_->LoadSecrets(KeyStore::Default());
    table_ = std::make_unique<InterfaceTable>(*device_, nullptr, *env_.clock);
  } else {
    table_ = std::make_unique<InterfaceTable>(nullptr, env_.agentLibrary, *env_.clock);
  }
  core_.UseTable(table_.get());
  ShowSourceInterfaces();
}

void MeterSession::ChangeSource() {
  // Another source has other interfaces: the choice goes back to "All".
  core_.SelectAdapter(0, QString());
  settings_.SetLine(SettingsLine::kAdapterIndex, QStringLiteral("0"));
  settings_.SetLineExtending(SettingsLine::kAdapterName, QString());
  view_.settings.SetAdapterLabel(SettingsLoader::AdapterCaption(QStringLiteral("All")));
  Guarded([this] { UseSource(settings_); });
  Guarded([this] { SetAdapterList(core_.Sampler().BuildAdapterList()); });
  RecordPrograms();
}

HistoryCommands MeterSession::History() {
  return HistoryCommands(maintenance_, dates_, DataLocations::Current());
}

void MeterSession::ShowSourceInterfaces() {
  Guarded([this] { core_.ShowInterfacesOf(device_ ? &*device_ : nullptr); });
}

void MeterSession::RebuildAdapterList() {
  SetAdapterList(core_.Sampler().BuildAdapterList());
  view_.settings.SetAdapterLabel(SettingsLoader::AdapterCaption(adapters_, state_.AdapterIndex));
}

void MeterSession::ServeMetrics() {
  const QString where = settings_.Line(SettingsLine::kMetricsAddress).trimmed();
  if (where.isEmpty()) {
    return;
  }
  Guarded([this, &where] {
    MeterCore::MetricsOptions metrics;
    metrics.where = ListenAddress::Parse(where);
    // A filter that does not compile is told, and nothing is served.
    metrics.filter =
        InterfaceFilter::FromLine(settings_.Line(SettingsLine::kMetricsInterfaceFilter));
    // A web configuration that cannot be used is told, and nothing is
    // served: plain HTTP in its place would expose what it should guard.
    const QString webConfig = settings_.Line(SettingsLine::kMetricsWebConfig).trimmed();
    if (!webConfig.isEmpty()) {
      metrics.security = LoadEndpointSecurity(webConfig);
    }
    metrics.alarmConditions = AlarmEvaluator::ConfiguredConditions(settings_);
    core_.ServeMetrics(metrics);
    ShowSourceInterfaces();  // the source UseSource chose, secrets loaded
  });
}

void MeterSession::WriteAutostart(bool enabled) {
  Autostart(store_, env_.autostartEntry).Write(enabled, env_.executablePath);
}

void MeterSession::RecordTick() {
  Guarded([this] {
    recorder_.RecordTick();
    if (state_.AnalysisActive) {
      usage_.Keep();
    }
  });
  UpdatePlan();
}

void MeterSession::SetCalcTimerEnabled(bool enabled) {
  if (enabled) {
    calcTimer_.start();
  } else {
    calcTimer_.stop();
  }
}

void MeterSession::SetTimersEnabled(bool enabled) {
  SetCalcTimerEnabled(enabled);
  if (enabled) {
    // The total includes what passed while the meter did not run.
    Guarded([this] {
      if (const auto offline = usage_.Started()) {
        core_.AddToTotal(offline->received + offline->transmitted);
      }
    });
    UpdatePlan();
    recorder_.MeasuringStarted();
    historyTimer_.start();
  } else {
    historyTimer_.stop();
    Guarded([this] {
      recorder_.RecordStop();
      usage_.Keep();
    });
  }
}

}  // namespace velmar
