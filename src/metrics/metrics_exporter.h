#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "metrics/listen_address.h"
#include "metrics/metrics_server.h"
#include "metrics/metrics_snapshot.h"

namespace velmar {

struct MeasurementState;
class CounterSampler;

// Turns what each tick measured into the snapshot the metrics endpoint
// serves, and owns that endpoint. The interfaces' counters are their own
// (read at each scrape by the server's interface source); the traffic
// total never goes backwards: one that was cleared, or another adapter's,
// starts a new series with a new creation time.
class MetricsExporter {
 public:
  MetricsExporter(const MeasurementState& state, const CounterSampler& sampler,
                  MetricsServer::Limits limits = MetricsServer::Limits());

  // Raises MetricsError when the address cannot be had.
  void Listen(const ListenAddress& where);
  MetricsServer& Server() { return server_; }
  // "127.0.0.1:9473": where the endpoint really listens (the port chosen
  // when 0 was asked for).
  QString Where() const;

  // Where the interfaces' own figures come from: this computer's kernel
  // unless another source (a device on the network, named by `device`) is
  // given; null is this computer's again.
  void UseInterfaceSource(std::unique_ptr<InterfaceSource> source, const QString& device = {});

  // The alarm conditions the settings switch on; each gets a counter from 0.
  void SetAlarmConditions(const QStringList& conditions);
  // An evaluation found the conditions of this alarm code.
  void CountAlarm(int32_t code);

  // The per-program counters the next snapshots show.
  void SetPrograms(std::vector<MetricsSnapshot::Program> programs) {
    programs_ = std::move(programs);
  }

  // Takes the latest tick, and the rates it published (bytes per second),
  // into a new snapshot for the endpoint.
  void Publish(double upstream, double downstream);

  // The data plan's figures from now on; nullopt: no plan.
  void SetPlan(const std::optional<MetricsSnapshot::Plan>& plan) { plan_ = plan; }
  // What the endpoint serves now.
  std::shared_ptr<const MetricsSnapshot> Snapshot() const { return last_; }

  // Wall-clock time in seconds since the Unix epoch (replaceable in tests).
  std::function<double()> Now;

 private:
  const MeasurementState& state_;
  const CounterSampler& sampler_;
  std::unique_ptr<InterfaceSource> interfaces_;
  MetricsServer server_;
  ListenAddress where_;
  QString trafficAdapter_;
  uint64_t traffic_ = 0;
  double trafficCreated_ = 0;
  std::vector<MetricsSnapshot::Alarm> alarms_;
  std::vector<MetricsSnapshot::Program> programs_;
  std::shared_ptr<const MetricsSnapshot> last_;
  std::optional<MetricsSnapshot::Plan> plan_;
};

}  // namespace velmar
