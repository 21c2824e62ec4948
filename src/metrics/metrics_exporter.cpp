#include "metrics/metrics_exporter.h"

#include <QDateTime>

#include "alarms/alarm_evaluator.h"
#include "measure/counter_sampler.h"
#include "measure/headless_meter.h"
#include "measure/measurement_state.h"

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

}  // namespace

MetricsExporter::MetricsExporter(const MeasurementState& state, const CounterSampler& sampler,
                                 MetricsServer::Limits limits)
    : Now([] { return QDateTime::currentMSecsSinceEpoch() / 1000.0; }),
      state_(state),
      sampler_(sampler),
      server_(limits) {
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

  std::map<QString, Series> seen;
  for (const auto& reading : sampler_.Interfaces()) {
    Series series{reading.index, reading.inOctets, reading.outOctets, now};
    const auto before = interfaces_.find(reading.name);
    // Still the same series while the interface keeps its index and its
    // counts do not fall; anything else started again from 0.
    if (before != interfaces_.end() && before->second.index == reading.index &&
        reading.inOctets >= before->second.receive &&
        reading.outOctets >= before->second.transmit) {
      series.created = before->second.created;
    }
    if (!seen.emplace(reading.name, series).second) {
      continue;  // one series per name; a second row of that name is left out
    }
    snapshot->interfaces.push_back(
        {reading.name, reading.inOctets, reading.outOctets, reading.countsInAll, series.created});
  }
  interfaces_ = std::move(seen);

  QString adapter = HeadlessMeter::AdapterName(sampler_, state_.AdapterIndex);
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
  last_ = snapshot;
  server_.SetSnapshot(last_);
}

}  // namespace velmar
