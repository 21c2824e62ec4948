#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmar {

// What one scrape shows of the meter: a copy the tick publishes, so the
// server never reads the measurement while a tick is changing it. Byte
// counts are in bytes, rates in bytes per second, times in seconds since
// the Unix epoch.
struct MetricsSnapshot {
  // An interface of the meter's latest reading: what "All" makes of it.
  // Its own counters are read at the scrape (InterfaceFigures).
  struct Interface {
    int32_t index = 0;
    QString name;
    bool countedInAll = false;
  };
  struct Alarm {
    QString condition;
    uint64_t events = 0;
    double created = 0;
  };

  QString version;
  // False until the first tick was published: only the version is shown.
  bool measured = false;
  double tickTime = 0;
  std::vector<Interface> interfaces;
  // The monitored adapter ("All" or an interface name) and its figures.
  QString adapter;
  QString algorithm;
  double receiveRate = 0;
  double transmitRate = 0;
  double receiveAverage = 0;
  double transmitAverage = 0;
  uint64_t trafficBytes = 0;
  double trafficCreated = 0;
  // Only when alarms are configured.
  std::vector<Alarm> alarms;
  // Only when a data plan is set: its period's use, its limit, and when
  // the period ends.
  struct Plan {
    uint64_t usedBytes = 0;
    uint64_t limitBytes = 0;
    double periodEnd = 0;
  };
  std::optional<Plan> plan;
  // Bytes per program (the top programs by label, then "other"); only
  // while per-program figures are read.
  struct Program {
    QString label;
    uint64_t received = 0;
    uint64_t transmitted = 0;
    double created = 0;
  };
  std::vector<Program> programs;
};

// The endpoint's own counts, shown beside the meter's figures.
struct ServerCounters {
  // Responses by status code: 200, 400, (401 with passwords), 404, 405, 505.
  std::vector<std::pair<int, uint64_t>> responses;
  uint64_t droppedTimeout = 0;
  uint64_t droppedLimit = 0;
  // Only over TLS: connections whose handshake failed.
  bool tls = false;
  uint64_t droppedHandshake = 0;
  double created = 0;
};

}  // namespace velmar
