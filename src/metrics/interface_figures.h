#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmar {

// One interface as its own counters and state give it at a scrape: the
// kernel's 64-bit statistics on this computer, IF-MIB's columns on a
// device. A figure the source does not have stays empty and is left out
// of the exposition.
struct InterfaceFigures {
  enum Counter {
    kReceiveBytes,
    kTransmitBytes,
    kReceiveUnicast,
    kReceiveMulticast,
    kReceiveBroadcast,
    kTransmitUnicast,
    kTransmitMulticast,
    kTransmitBroadcast,
    kReceiveErrors,
    kTransmitErrors,
    kReceiveDiscards,
    kTransmitDiscards,
    kCounterCount
  };

  int32_t index = 0;
  QString name;  // ifName, else ifDescr
  std::array<std::optional<uint64_t>, kCounterCount> counters;
  // IF-MIB's ifOperStatus and ifAdminStatus values (1 up, 2 down, ...).
  std::optional<int32_t> operStatus;
  std::optional<int32_t> adminStatus;
  std::optional<uint64_t> speedBitsPerSecond;
  std::optional<int64_t> mtu;
  // Whether "All" counts it, where the source decides that itself (a
  // device polled for a scrape); else the meter's list says.
  std::optional<bool> countedInAll;
};

// What one gathering of a source's interfaces gave.
struct InterfaceGathering {
  bool answered = true;  // false: the source did not answer (reason says why)
  QString reason;        // a short word for the `reason` label: "timeout", "refused", ...
  QString detail;        // the whole message, for the log
  double seconds = 0;    // how long the gathering took
  std::vector<InterfaceFigures> interfaces;
};

}  // namespace velmar
