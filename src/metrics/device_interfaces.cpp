#include "metrics/device_interfaces.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <map>

#include "interfaces/interface_name.h"
#include "measure/edge_selection.h"

namespace velmar {

namespace {

using agent::RemoteObject;
using Clock = std::chrono::steady_clock;

const std::vector<uint32_t> kIfEntry = {1, 3, 6, 1, 2, 1, 2, 2, 1};
const std::vector<uint32_t> kIfXEntry = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1};

// The columns a poll walks, side by side: names, state, errors and the
// 64-bit counters; the 32-bit counters only where a device lacks the
// 64-bit ones.
const std::vector<uint32_t> kIfColumns = {2, 3, 4, 5, 7, 8, 13, 14, 19, 20};
const std::vector<uint32_t> kIfXColumns = {1, 6, 7, 8, 9, 10, 11, 12, 13, 15, 17};
// ifStackStatus; ipForwarding and the IPv4 default route's interface and
// mask: what "All" is decided from besides the columns.
const std::vector<uint32_t> kIfStackStatus = {1, 3, 6, 1, 2, 1, 31, 1, 2, 1, 3};
const std::vector<std::vector<uint32_t>> kForwardingNames = {
    {1, 3, 6, 1, 2, 1, 4, 1, 0},
    {1, 3, 6, 1, 2, 1, 4, 21, 1, 2, 0, 0, 0, 0},
    {1, 3, 6, 1, 2, 1, 4, 21, 1, 11, 0, 0, 0, 0}};
const std::vector<uint32_t> kIfNarrowColumns = {10, 11, 16, 17};
const std::vector<uint32_t> kIfXNarrowColumns = {2, 3, 4, 5};

// The names of ifTable columns `ifColumns` and ifXTable columns `ifXColumns`.
std::vector<std::vector<uint32_t>> Columns(const std::vector<uint32_t>& ifColumns,
                                           const std::vector<uint32_t>& ifXColumns) {
  std::vector<std::vector<uint32_t>> names;
  for (const auto& [entry, columns] :
       {std::pair{&kIfEntry, &ifColumns}, {&kIfXEntry, &ifXColumns}}) {
    for (const uint32_t column : *columns) {
      names.push_back(*entry);
      names.back().push_back(column);
    }
  }
  return names;
}

// Which figure an ifTable or ifXTable column gives; -1 for the others.
int CounterOf(bool ifX, uint32_t column) {
  using F = InterfaceFigures;
  if (ifX) {
    switch (column) {
      case 2:
      case 8:
        return F::kReceiveMulticast;
      case 3:
      case 9:
        return F::kReceiveBroadcast;
      case 4:
      case 12:
        return F::kTransmitMulticast;
      case 5:
      case 13:
        return F::kTransmitBroadcast;
      case 6:
        return F::kReceiveBytes;
      case 7:
        return F::kReceiveUnicast;
      case 10:
        return F::kTransmitBytes;
      case 11:
        return F::kTransmitUnicast;
      default:
        return -1;
    }
  }
  switch (column) {
    case 10:
      return F::kReceiveBytes;
    case 11:
      return F::kReceiveUnicast;
    case 13:
      return F::kReceiveDiscards;
    case 14:
      return F::kReceiveErrors;
    case 16:
      return F::kTransmitBytes;
    case 17:
      return F::kTransmitUnicast;
    case 19:
      return F::kTransmitDiscards;
    case 20:
      return F::kTransmitErrors;
    default:
      return -1;
  }
}

bool Under(const std::vector<uint32_t>& name, const std::vector<uint32_t>& entry) {
  return name.size() == entry.size() + 2 && std::equal(entry.begin(), entry.end(), name.begin());
}

bool Is64(const RemoteObject& o) {
  return o.type == 0x46;  // Counter64
}

// Marks the interfaces "All" would count on the device, decided as the
// meter decides it (the uplink rule from the IPv4 default route alone).
void MarkCountedInAll(agent::SnmpPoller& poller, const std::vector<RemoteObject>& objects,
                      std::vector<InterfaceFigures>& figures) {
  std::vector<MibRow> rows(figures.size());
  std::map<int32_t, size_t> rowOf;
  for (size_t i = 0; i < figures.size(); ++i) {
    rows[i].IfIndex = figures[i].index;
    rows[i].IfName = figures[i].name;
    rowOf[figures[i].index] = i;
  }
  for (const RemoteObject& o : objects) {
    const bool ifX = Under(o.name, kIfXEntry);
    const uint32_t column = o.name.size() > 2 ? o.name[o.name.size() - 2] : 0;
    const auto it = rowOf.find(static_cast<int32_t>(o.name.back()));
    if ((!ifX && !Under(o.name, kIfEntry)) || it == rowOf.end()) {
      continue;
    }
    const auto integer = static_cast<int32_t>(static_cast<uint32_t>(o.number));
    if (!ifX && column == 3) {
      rows[it->second].IfType = integer;
    } else if (ifX && column == 17) {
      rows[it->second].IfConnectorPresent = integer;
    }
  }
  std::vector<RemoteObject> stackObjects;
  poller.FetchSubtree(kIfStackStatus, stackObjects);
  std::vector<StackLayer> stack;
  for (const RemoteObject& o : stackObjects) {
    const size_t n = o.name.size();
    if (n == kIfStackStatus.size() + 2 && o.number == 1 && o.name[n - 2] != 0 &&
        o.name[n - 1] != 0) {
      stack.push_back({static_cast<int32_t>(o.name[n - 2]), static_cast<int32_t>(o.name[n - 1])});
    }
  }
  std::vector<RemoteObject> answers;
  std::chrono::steady_clock::time_point arrived;
  poller.Get(kForwardingNames, answers, arrived);
  const bool forwarding = answers[0].type == 0x02 && answers[0].number == 1;
  const bool zeroMask = answers[2].type != 0x40 || answers[2].bytes == std::string(4, '\0');
  std::vector<int32_t> uplinks;
  if (answers[1].type == 0x02 && zeroMask) {
    uplinks.push_back(static_cast<int32_t>(static_cast<uint32_t>(answers[1].number)));
  }
  const std::vector<bool> counted = EdgeSelection::Decide(rows, stack, forwarding, uplinks).counted;
  for (size_t i = 0; i < figures.size(); ++i) {
    figures[i].countedInAll = counted[i];
  }
}

}  // namespace

std::vector<InterfaceFigures> DeviceInterfaces::Decode(const std::vector<RemoteObject>& objects) {
  std::map<int32_t, InterfaceFigures> rows;
  std::map<int32_t, QString> descr;
  // 64-bit values win over 32-bit ones of the same figure, whatever the order.
  std::map<std::pair<int32_t, int>, bool> wide;
  for (const RemoteObject& o : objects) {
    const bool ifX = Under(o.name, kIfXEntry);
    if (!ifX && !Under(o.name, kIfEntry)) {
      continue;
    }
    const uint32_t column = o.name[o.name.size() - 2];
    const auto index = static_cast<int32_t>(o.name.back());
    InterfaceFigures& f = rows[index];
    f.index = index;
    const int counter = CounterOf(ifX, column);
    if (counter >= 0) {
      bool& isWide = wide[{index, counter}];
      if (!isWide || Is64(o)) {
        f.counters[static_cast<size_t>(counter)] = o.number;
        isWide = isWide || Is64(o);
      }
      continue;
    }
    const auto integer = static_cast<int32_t>(static_cast<uint32_t>(o.number));
    if (ifX && column == 1) {
      f.name = InterfaceNameFromOctets(o.bytes.data(), o.bytes.size());
    } else if (ifX && column == 15) {
      if (o.number > 0) {
        f.speedBitsPerSecond = o.number * 1000000;
      }
    } else if (!ifX && column == 2) {
      descr[index] = InterfaceNameFromOctets(o.bytes.data(), o.bytes.size());
    } else if (!ifX && column == 4) {
      f.mtu = integer;
    } else if (!ifX && column == 5) {
      // ifSpeed tops out at 4.29 Gbit/s: ifHighSpeed, where there is one, says more.
      if (!f.speedBitsPerSecond && o.number > 0 && o.number < 4294967295u) {
        f.speedBitsPerSecond = o.number;
      }
    } else if (!ifX && column == 7) {
      f.adminStatus = integer;
    } else if (!ifX && column == 8) {
      f.operStatus = integer;
    }
  }
  std::vector<InterfaceFigures> out;
  out.reserve(rows.size());
  for (auto& [index, f] : rows) {
    if (f.name.isEmpty()) {
      f.name = descr.count(index) != 0 ? descr[index] : QStringLiteral("#%1").arg(index);
    }
    out.push_back(std::move(f));
  }
  return out;
}

std::vector<InterfaceFigures> DeviceInterfaces::Poll(agent::SnmpPoller& poller) {
  std::vector<RemoteObject> objects;
  poller.FetchColumns(Columns(kIfColumns, kIfXColumns), objects);
  std::vector<InterfaceFigures> figures = Decode(objects);
  const bool narrow = std::any_of(figures.begin(), figures.end(), [](const InterfaceFigures& f) {
    return !f.counters[InterfaceFigures::kReceiveBytes] ||
           !f.counters[InterfaceFigures::kTransmitBytes];
  });
  if (narrow) {
    // A device (or some of its interfaces) of 32-bit counters only.
    poller.FetchColumns(Columns(kIfNarrowColumns, kIfXNarrowColumns), objects);
    figures = Decode(objects);
  }
  try {
    MarkCountedInAll(poller, objects, figures);
  } catch (const agent::FetchError& e) {
    // A device that refuses those objects still has its interfaces shown;
    // one that stopped answering fails the poll.
    if (e.kind() == agent::FetchError::Kind::kAbsent) {
      throw;
    }
  }
  return figures;
}

QString DeviceInterfaces::ReasonOf(const agent::FetchError& error) {
  const std::string text = error.what();
  if (text.find("No answer") != std::string::npos ||
      text.find("was stopped") != std::string::npos) {
    return QStringLiteral("timeout");
  }
  if (error.kind() == agent::FetchError::Kind::kAbsent) {
    return QStringLiteral("unreachable");
  }
  if (text.find("refused") != std::string::npos || text.find("SNMPv") != std::string::npos ||
      text.find("community") != std::string::npos) {
    return QStringLiteral("refused");
  }
  return QStringLiteral("error");
}

DeviceInterfaces::DeviceInterfaces(agent::RemoteSettings settings, QThreadPool& pool, int timeoutMs,
                                   int cacheMs)
    : settings_(std::move(settings)), pool_(pool), timeoutMs_(timeoutMs), cacheMs_(cacheMs) {}

DeviceInterfaces::~DeviceInterfaces() {
  if (running_) {
    running_->Cancel();
  }
  // The poll's thread calls back into this object: it ends first.
  pool_.waitForDone();
}

void DeviceInterfaces::Gather(Done done, int timeoutMs) {
  if (cached_ && Clock::now() - cachedAt_ < std::chrono::milliseconds(cacheMs_)) {
    done(cache_);
    return;
  }
  const uint64_t id = ++nextId_;
  waiters_.push_back({id, std::move(done)});
  const int within = timeoutMs > 0 ? std::min(timeoutMs, timeoutMs_) : timeoutMs_;
  QTimer::singleShot(within, this, [this, id, within] { Expire(id, within); });
  if (!running_) {
    Start(within);
  }
}

void DeviceInterfaces::Start(int withinMs) {
  const auto start = Clock::now();
  std::shared_ptr<agent::SnmpPoller> poller;
  try {
    // A request unanswered leaves time to ask whether anything listens, so
    // a closed port is told as such within the scrape.
    agent::RemoteSettings settings = settings_;
    settings.timeoutMs = static_cast<uint32_t>(std::max(100, withinMs - 300));
    poller = std::make_shared<agent::SnmpPoller>(settings);
  } catch (const agent::FetchError& e) {
    InterfaceGathering failed;
    failed.answered = false;
    failed.reason = ReasonOf(e);
    failed.detail = QString::fromStdString(e.what());
    Finish(failed);
    return;
  }
  running_ = poller;
  ++polls_;
  pool_.start([this, poller, start] {
    InterfaceGathering result;
    try {
      result.interfaces = Poll(*poller);
    } catch (const agent::FetchError& e) {
      result.answered = false;
      result.reason = ReasonOf(e);
      result.detail = QString::fromStdString(e.what());
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    QMetaObject::invokeMethod(
        this, [this, result] { Finish(result); }, Qt::QueuedConnection);
  });
}

void DeviceInterfaces::Finish(const InterfaceGathering& result) {
  running_.reset();
  cache_ = result;
  cached_ = true;
  cachedAt_ = Clock::now();
  std::vector<Waiter> waiting = std::move(waiters_);
  waiters_.clear();
  for (Waiter& w : waiting) {
    w.done(result);
  }
}

void DeviceInterfaces::Expire(uint64_t id, int afterMs) {
  const auto it =
      std::find_if(waiters_.begin(), waiters_.end(), [id](const Waiter& w) { return w.id == id; });
  if (it == waiters_.end()) {
    return;
  }
  Done done = std::move(it->done);
  waiters_.erase(it);
  InterfaceGathering late;
  late.answered = false;
  late.reason = QStringLiteral("timeout");
  late.detail = QStringLiteral("No complete answer within %1 ms.").arg(afterMs);
  late.seconds = afterMs / 1000.0;
  // Nobody waits any more: the poll ends after the request in flight.
  if (waiters_.empty() && running_) {
    running_->Cancel();
  }
  done(late);
}

}  // namespace velmar
