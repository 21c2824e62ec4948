#include "metrics/metrics_exporter.h"

#include <QDateTime>

#include "alarms/alarm_evaluator.h"
#include "interfaces/interface_table.h"
#include "measure/counter_sampler.h"
#include "measure/measurement_state.h"
#include "metrics/kernel_interfaces.h"

namespace velmar {

namespace {

QString AlgorithmName(uint8_t mode) {
  switch (mode) {
    case 2:
      return QStringLiteral("mid-range");
    case 3:
      return QStringLiteral("full-range");
    default:
      return QStringLiteral("3-pole");
  }
}

// This computer's interfaces while the meter reads this computer. When it
// reads a device on the network and nobody gave the device's own source,
// no interface is shown rather than this computer's under the device's
// figures.
class ThisComputer : public InterfaceSource {
 public:
  explicit ThisComputer(const CounterSampler& sampler) : sampler_(sampler) {}
  void Gather(Done done, int timeoutMs) override {
    const InterfaceTable* table = sampler_.Table();
    if (table != nullptr && !table->DeviceAddress().isEmpty()) {
      done(InterfaceGathering());
      return;
    }
    kernel_.Gather(std::move(done), timeoutMs);
  }

 private:
  const CounterSampler& sampler_;
  KernelInterfaces kernel_;
};

}  // namespace

MetricsExporter::MetricsExporter(const MeasurementState& state, const CounterSampler& sampler,
                                 MetricsServer::Limits limits)
    : Now([] { return QDateTime::currentMSecsSinceEpoch() / 1000.0; }),
      state_(state),
      sampler_(sampler),
      interfaces_(std::make_unique<ThisComputer>(sampler)),
      server_(limits) {
  server_.SetInterfaceSource(interfaces_.get());
  auto first = std::make_shared<MetricsSnapshot>();
  first->version = QStringLiteral(VELMAR_VERSION);
  last_ = first;
  server_.SetSnapshot(last_);
}

void MetricsExporter::Listen(const ListenAddress& where) {
  server_.Listen(where);
  where_ = where;
  where_.port = server_.Port();
}

void MetricsExporter::UseInterfaceSource(std::unique_ptr<InterfaceSource> source,
                                         const QString& device) {
  const bool given = source != nullptr;
  interfaces_ = given ? std::move(source) : std::make_unique<ThisComputer>(sampler_);
  server_.SetInterfaceSource(interfaces_.get(), given ? device : QString());
}

QString MetricsExporter::Where() const {
  return where_.Text();
}

void MetricsExporter::SetAlarmConditions(const QStringList& conditions) {
  alarms_.clear();
  const double now = Now();
  for (const QString& condition : conditions) {
    alarms_.push_back({condition, 0, now});
  }
  // Shown from the next snapshot on, before any tick when none has run.
  auto snapshot = std::make_shared<MetricsSnapshot>(*last_);
  snapshot->alarms = alarms_;
  snapshot->plan = plan_;
  snapshot->programs = programs_;
  last_ = snapshot;
  server_.SetSnapshot(last_);
}

void MetricsExporter::CountAlarm(int32_t code) {
  for (const QString& condition : AlarmEvaluator::ConditionNames(code)) {
    for (auto& alarm : alarms_) {
      if (alarm.condition == condition) {
        ++alarm.events;
      }
    }
  }
}

void MetricsExporter::Publish(double upstream, double downstream) {
  const double now = Now();
  auto snapshot = std::make_shared<MetricsSnapshot>();
  snapshot->version = QStringLiteral(VELMAR_VERSION);
  snapshot->measured = true;
  snapshot->tickTime = now;

  // The whole list: a device's tick reads the shown interfaces alone.
  for (const auto& adapter : sampler_.Adapters()) {
    snapshot->interfaces.push_back({adapter.index, adapter.name, adapter.countsInAll});
  }

  QString adapter = sampler_.ReportedName(state_.AdapterIndex);
  if (adapter.isNull()) {
    adapter = QStringLiteral("unknown");
  }
  if (adapter != trafficAdapter_ || state_.TotalTraffic < traffic_ || trafficCreated_ == 0) {
    trafficCreated_ = now;
  }
  trafficAdapter_ = adapter;
  traffic_ = state_.TotalTraffic;

  snapshot->adapter = adapter;
  snapshot->algorithm = AlgorithmName(state_.AveragingMode);
  snapshot->receiveRate = downstream;
  snapshot->transmitRate = upstream;
  snapshot->receiveAverage = state_.DownAverage;
  snapshot->transmitAverage = state_.UpAverage;
  snapshot->trafficBytes = traffic_;
  snapshot->trafficCreated = trafficCreated_;
  snapshot->alarms = alarms_;
  snapshot->programs = programs_;
  last_ = snapshot;
  server_.SetSnapshot(last_);
}

}  // namespace velmar
