#include "measure/meter_core.h"

#include "metrics/device_loader.h"
#include "metrics/metrics_exporter.h"

namespace velmar {

MeterCore::MeterCore(TickDriver& driver, ResultDisplays& displays, SettingsList& settings,
                     const TickClock& clock, QObject* parent)
    : QObject(parent),
      driver_(driver),
      engine_(state_, &driver),
      sampler_(state_, nullptr, *this, clock),
      publisher_(state_, engine_, displays, settings, &driver) {
  connect(&sampler_, &CounterSampler::adaptersChanged, this, &MeterCore::adaptersChanged);
  connect(&sampler_, &CounterSampler::adapterFound, this, [this](int row, const QString& name) {
    SetAdapterIndex(static_cast<int16_t>(row));
    emit adapterFound(row, name);
  });
  connect(&sampler_, &CounterSampler::adapterLost, this, &MeterCore::adapterLost);
  connect(&sampler_, &CounterSampler::sourceStatusChanged, this, &MeterCore::sourceStatusChanged);
}

MeterCore::~MeterCore() = default;

void MeterCore::StartMeasuring() {
  ClearForStart();
  SetAnalysisActive(true);
}

void MeterCore::StopMeasuring() {
  SetAnalysisActive(false);
  StampAnew();
}

void MeterCore::SetAnalysisActive(bool active) {
  state_.AnalysisActive = active;
}

void MeterCore::ClearForStart() {
  state_.ResetForStart();
}

void MeterCore::StampAnew() {
  state_.LastTickMs = 0;
}

void MeterCore::SetGenerateMode(bool generate) {
  state_.GenerateMode = generate;
}

void MeterCore::RestartAlarmToggle() {
  state_.AlarmToggle = false;
}

void MeterCore::SetAverageLock(bool locked) {
  state_.AverageLock = locked;
}

void MeterCore::ClearTotal() {
  state_.TotalTraffic = 0;
}

void MeterCore::SelectAdapter(int16_t index, const QString& name) {
  state_.AdapterIndex = index;
  sampler_.SelectAdapterByName(name);
}

void MeterCore::SetAdapterIndex(int16_t index) {
  state_.AdapterIndex = index;
}

void MeterCore::ResetForSettings() {
  state_.AnalysisActive = false;
  state_.EmailLatch = false;
  state_.GenerateMode = false;
  state_.ResetForStart();
  state_.AverageLock = true;
  state_.AdapterIndex = 0;
  state_.HttpBusy = false;
  state_.TotalTraffic = 0;
}

void MeterCore::AddToTotal(uint64_t bytes) {
  state_.TotalTraffic += bytes;
}

void MeterCore::SetDownloadBusy(bool busy) {
  state_.HttpBusy = busy;
}

void MeterCore::ActionsLatched() {
  state_.EmailLatch = true;
}

void MeterCore::ResetIdleTimes() {
  state_.UpIdleMs = 0;
  state_.DownIdleMs = 0;
}

void MeterCore::SetModes(uint8_t averagingMode, uint8_t kilobitMode) {
  state_.AveragingMode = averagingMode;
  state_.KilobitMode = kilobitMode;
}

void MeterCore::UseAlarms(AlarmEvaluator& evaluator) {
  publisher_.SetAlarms(&evaluator);
  evaluator.SetListener(this);
}

void MeterCore::AlarmFound(int32_t code) {
  if (metrics_) {
    metrics_->CountAlarm(code);
  }
  emit alarm(code);
}

MetricsExporter& MeterCore::ServeMetrics(const MetricsOptions& options) {
  auto exporter = std::make_unique<MetricsExporter>(state_, sampler_);
  exporter->Server().SetInterfaceFilter(options.filter);
  // Security first: plain HTTP must never answer where it should guard.
  if (options.security) {
    exporter->Server().SetSecurity(options.security);
  }
  exporter->Listen(options.where);
  exporter->SetAlarmConditions(options.alarmConditions);
  if (options.readEveryInterface) {
    sampler_.SetReadEveryInterface(true);
  }
  metrics_ = std::move(exporter);
  return *metrics_;
}

void MeterCore::ShowInterfacesOf(const RemoteSource* device) {
  if (!metrics_) {
    return;
  }
  if (device == nullptr) {
    metrics_->UseInterfaceSource(nullptr);
    return;
  }
  // The device's own IF-MIB table, polled at each scrape, rather than this
  // computer's interfaces under its figures.
  // Without the library, this computer's at least, and the failure told.
  std::unique_ptr<InterfaceSource> polled;
  try {
    polled = LoadDeviceInterfaces(*device, devicePolls_);
  } catch (const std::exception&) {
    metrics_->UseInterfaceSource(nullptr);
    throw;
  }
  metrics_->UseInterfaceSource(std::move(polled), device->Address());
}

void MeterCore::ShowInterfacesOf(std::unique_ptr<InterfaceSource> source, const QString& device) {
  if (metrics_) {
    metrics_->UseInterfaceSource(std::move(source), device);
  }
}

void MeterCore::ServeTargets(std::map<QString, std::unique_ptr<InterfaceSource>> targets) {
  std::map<QString, InterfaceSource*> served;
  for (auto& [name, source] : targets) {
    served[name] = source.get();
    targets_.push_back(std::move(source));
  }
  if (metrics_) {
    metrics_->Server().SetTargets(std::move(served));
  }
}

void MeterCore::PublishResults(double upstream, double downstream) {
  publisher_.PublishResults(upstream, downstream);
  if (metrics_) {
    metrics_->Publish(upstream, downstream);
  }
  emit published(upstream, downstream);
}

}  // namespace velmar
