#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <chrono>
#include <memory>
#include <vector>

#include "agent/remote_view.h"
#include "agent/snmp_poller.h"
#include "metrics/metrics_server.h"

namespace velmar {

// A device's interfaces as IF-MIB gives them, polled when a scrape asks:
// only the columns the metrics show, walked side by side with GETBULK, on a thread
// of a shared pool (its size bounds how many devices are polled at once).
// Every scrape is answered within the time-out, with velmar_device_up 0
// and a reason where the device did not answer in time; a poll's answer
// serves every scrape within the cache time, and scrapes that come while a
// poll runs wait for that one, so two scrapers do not double the load.
class DeviceInterfaces : public QObject, public InterfaceSource {
 public:
  // Below Prometheus's default scrape time-out of 10 s.
  static constexpr int kDefaultTimeoutMs = 8000;
  static constexpr int kDefaultCacheMs = 2000;

  DeviceInterfaces(agent::RemoteSettings settings, QThreadPool& pool,
                   int timeoutMs = kDefaultTimeoutMs, int cacheMs = kDefaultCacheMs);
  ~DeviceInterfaces() override;

  void Gather(Done done, int timeoutMs) override;

  // Polls made since construction (the load on the device).
  int Polls() const { return polls_; }

  // The interfaces of walked IF-MIB columns (any order): ifName else
  // ifDescr for the name, the 64-bit counters where the device has them,
  // else the 32-bit ones as they are, ifHighSpeed in Mbit/s else ifSpeed.
  static std::vector<InterfaceFigures> Decode(const std::vector<agent::RemoteObject>& objects);
  // The short reason of a failed poll, for the `reason` label.
  static QString ReasonOf(const agent::FetchError& error);
  // One whole poll, on the calling thread; raises FetchError.
  static std::vector<InterfaceFigures> Poll(agent::SnmpPoller& poller);

 private:
  struct Waiter {
    uint64_t id;
    Done done;
  };
  void Start(int withinMs);
  void Finish(const InterfaceGathering& result);
  void Expire(uint64_t id, int afterMs);

  agent::RemoteSettings settings_;
  QThreadPool& pool_;
  int timeoutMs_;
  int cacheMs_;
  std::vector<Waiter> waiters_;
  uint64_t nextId_ = 0;
  std::shared_ptr<agent::SnmpPoller> running_;
  bool cached_ = false;
  std::chrono::steady_clock::time_point cachedAt_;
  InterfaceGathering cache_;
  int polls_ = 0;
};

}  // namespace velmar
