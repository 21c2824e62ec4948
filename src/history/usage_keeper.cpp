#include "history/usage_keeper.h"

#include <net/if.h>

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <map>

#include "config/product.h"
#include "history/history_recorder.h"
#include "interfaces/interface_table.h"
#include "measure/edge_selection.h"
#include "platform/key_store.h"
#include "platform/registry.h"

namespace velmar {

const QString UsageKeeper::kKey = kProductKey + QStringLiteral("\\Usage");

namespace {

const QString kSnapshotValue = QStringLiteral("Snapshot");
const QString kPeriodValue = QStringLiteral("PeriodFirst");
const QLatin1StringView kUsePrefix("Use_");

QByteArray Pair(uint64_t a, uint64_t b) {
  return HistoryRecorder::Quad(a) + HistoryRecorder::Quad(b);
}

QByteArray OleBytes(const QDateTime& moment) {
  return HistoryRecorder::Quad(std::bit_cast<quint64>(DayKeyDates::OleDate(moment.toLocalTime())));
}

struct Ledger {
  QDate first;
  std::map<QString, InterfaceUse> use;
};

Ledger ReadLedger(const std::vector<NamedValue>& values) {
  Ledger ledger;
  for (const NamedValue& v : values) {
    if (v.name == kPeriodValue && v.value.type == ValueKind::kText) {
      ledger.first = QDate::fromString(v.value.text, Qt::ISODate);
    } else if (v.name.startsWith(kUsePrefix) && v.value.type == ValueKind::kBytes &&
               v.value.binary.size() == 16) {
      InterfaceUse& u = ledger.use[v.name.mid(kUsePrefix.size())];
      u.name = v.name.mid(kUsePrefix.size());
      u.received = *HistoryRecorder::FromQuad(v.value.binary.first(8));
      u.transmitted = *HistoryRecorder::FromQuad(v.value.binary.mid(8));
    }
  }
  return ledger;
}

// Adds what each interface carried between the snapshots: only an
// interface with the same index and name whose counters did not go back.
void AddDeltas(const CounterSnapshot& before, const CounterSnapshot& now,
               std::map<QString, InterfaceUse>& use) {
  if (before.bootId.isEmpty() || before.bootId != now.bootId) {
    return;
  }
  for (const auto& current : now.interfaces) {
    const CounterSnapshot one{now.bootId, now.at, {current}};
    const OfflineTraffic t =
        TrafficBetween(before, one, [&](const QString& name) { return name == current.name; });
    if (t.received + t.transmitted > 0) {
      InterfaceUse& u = use[current.name];
      u.name = current.name;
      u.received += t.received;
      u.transmitted += t.transmitted;
    }
  }
}

}  // namespace

std::function<bool(const QString&)> MeterSelection(const InterfaceTable* table, int adapterIndex,
                                                   const QString& adapterName) {
  if (adapterIndex > 0) {
    QString name = adapterName;
    if (table != nullptr && adapterIndex <= table->Count()) {
      name = table->Items(adapterIndex - 1).BaseName();
    }
    return [name](const QString& n) { return n == name; };
  }
  QStringList counted;
  if (table != nullptr && table->DeviceAddress().isEmpty()) {
    const std::vector<bool> flags = EdgeSelection::Choose(*table);
    for (int i = 0; i < table->Count() && i < static_cast<int>(flags.size()); ++i) {
      if (flags[static_cast<size_t>(i)]) {
        counted << table->Items(i).BaseName();
      }
    }
  }
  return [counted](const QString& n) { return counted.contains(n); };
}

CounterSnapshot ReadKernelSnapshot(const QString& procNetDev) {
  CounterSnapshot snapshot;
  snapshot.bootId = ReadBootId();
  snapshot.at = QDateTime::currentDateTimeUtc();
  QFile file(procNetDev);
  if (!file.open(QIODevice::ReadOnly)) {
    return snapshot;
  }
  // Two header lines, then "name: rx_bytes packets errs drop fifo frame
  // compressed multicast tx_bytes ...".
  const QList<QByteArray> lines = file.readAll().split('\n');
  for (qsizetype i = 2; i < lines.size(); ++i) {
    const qsizetype colon = lines[i].indexOf(':');
    if (colon < 0) {
      continue;
    }
    const QByteArray name = lines[i].left(colon).trimmed();
    const QList<QByteArray> fields = lines[i].mid(colon + 1).simplified().split(' ');
    if (fields.size() < 9) {
      continue;
    }
    CounterSnapshot::Interface entry;
    entry.name = QString::fromUtf8(name);
    entry.index = static_cast<int>(if_nametoindex(name.constData()));
    entry.received = fields[0].toULongLong();
    entry.transmitted = fields[8].toULongLong();
    snapshot.interfaces.push_back(entry);
  }
  return snapshot;
}

uint64_t PeriodUse::Counted(const DataPlan& plan,
                            const std::function<bool(const QString&)>& all) const {
  uint64_t bytes = 0;
  for (const InterfaceUse& u : interfaces) {
    const bool taken = plan.interfaces.isEmpty() ? all(u.name) : plan.interfaces.contains(u.name);
    if (!taken) {
      continue;
    }
    if (plan.counts != DataPlan::Counts::Up) {
      bytes += u.received;
    }
    if (plan.counts != DataPlan::Counts::Down) {
      bytes += u.transmitted;
    }
  }
  return bytes;
}

CounterSnapshot UsageKeeper::TakeNow() const {
  CounterSnapshot now = Take();
  now.at = dates_.Now();
  return now;
}

std::optional<CounterSnapshot> UsageKeeper::Stored() const {
  if (store_ == nullptr) {
    return std::nullopt;
  }
  const auto key = store_->OpenKey(KeyRoot::kMachine, kKey, false);
  if (!key) {
    return std::nullopt;
  }
  const std::optional<StoredValue> bytes = store_->ReadValue(*key, kSnapshotValue);
  if (!bytes || bytes->type != ValueKind::kBytes) {
    return std::nullopt;
  }
  return CounterSnapshot::FromBytes(bytes->binary);
}

void UsageKeeper::Advance(const std::optional<CounterSnapshot>& before,
                          const CounterSnapshot& now) {
  const auto key = store_->OpenKey(KeyRoot::kMachine, kKey, true);
  if (!key) {
    throw KeyStoreError(QStringLiteral("Cannot open the key ") + kKey);
  }
  Ledger ledger = ReadLedger(store_->Values(*key));
  const PlanPeriod period = PeriodHolding(plan_, now.at.toLocalTime().date());
  std::vector<NamedValue> values;
  if (ledger.first != period.first) {
    // A new period starts from nothing; what passed across its start goes
    // into it whole (the counters do not say when within the span).
    for (auto& [name, use] : ledger.use) {
      use.received = use.transmitted = 0;
    }
  }
  std::map<QString, InterfaceUse> added;
  if (before) {
    AddDeltas(*before, now, added);
  }
  for (const auto& [name, use] : added) {
    InterfaceUse& u = ledger.use[name];
    u.received += use.received;
    u.transmitted += use.transmitted;
  }
  values.push_back({kSnapshotValue, StoredValue::Binary(now.ToBytes())});
  values.push_back({kPeriodValue, StoredValue::String(period.first.toString(Qt::ISODate))});
  for (const auto& [name, use] : ledger.use) {
    values.push_back({kUsePrefix + name, StoredValue::Binary(Pair(use.received, use.transmitted))});
  }
  store_->WriteValues(*key, values);
}

void UsageKeeper::Keep() {
  if (store_ == nullptr) {
    return;
  }
  Advance(Stored(), TakeNow());
}

std::optional<OfflineTraffic> UsageKeeper::Started() {
  if (store_ == nullptr) {
    return std::nullopt;
  }
  const std::optional<CounterSnapshot> before = Stored();
  const CounterSnapshot now = TakeNow();
  std::optional<OfflineTraffic> traffic;
  if (before) {
    traffic = TrafficBetween(*before, now, Counts());
    WriteOffline(*traffic);
  }
  Advance(before, now);
  return traffic;
}

void UsageKeeper::WriteOffline(const OfflineTraffic& traffic) {
  if (!traffic.gap && traffic.received + traffic.transmitted == 0) {
    return;
  }
  Registry reg(*store_);
  reg.SetRootKey(KeyRoot::kMachine);
  reg.OpenKey(HistoryRecorder::DayKey(dates_.Name(traffic.to.toLocalTime().date())), true);
  if (traffic.gap) {
    int k = 1;
    while (reg.ValueExists(GapName(k))) {
      ++k;
    }
    reg.WriteBinaryData(GapName(k), OleBytes(traffic.from) + OleBytes(traffic.to));
    reg.CloseKey();
    return;
  }
  const qint32 last = reg.ValueExists(HistoryRecorder::kHighWater)
                          ? reg.ReadInteger(HistoryRecorder::kHighWater)
                          : 0;
  const qint32 n = last >= 0 && last < std::numeric_limits<qint32>::max() ? last + 1 : 1;
  const qint64 span = std::max<qint64>(traffic.from.msecsTo(traffic.to), 1);
  const auto average = [span](uint64_t bytes) {
    return HistoryRecorder::Rounded(static_cast<float>(bytes * 1000.0 / span));
  };
  reg.WriteValues({
      {HistoryRecorder::kHighWater, StoredValue::Integer(n)},
      {HistoryRecorder::TimestampName(n), StoredValue::Binary(OleBytes(traffic.to))},
      {HistoryRecorder::AvgDownName(n), StoredValue::Integer(average(traffic.received))},
      {HistoryRecorder::AvgUpName(n), StoredValue::Integer(average(traffic.transmitted))},
      {HistoryRecorder::CountedDownName(n),
       StoredValue::Binary(HistoryRecorder::Quad(traffic.received))},
      {HistoryRecorder::CountedUpName(n),
       StoredValue::Binary(HistoryRecorder::Quad(traffic.transmitted))},
      {HistoryRecorder::CountedMsName(n), StoredValue::Integer(static_cast<qint32>(std::min<qint64>(
                                              span, std::numeric_limits<qint32>::max())))},
      {NotRunningSinceName(n), StoredValue::Binary(OleBytes(traffic.from))},
  });
  reg.CloseKey();
}

PeriodUse UsageKeeper::Current(bool fresh) const {
  PeriodUse out;
  QDateTime now = dates_.Now();
  out.period = PeriodHolding(plan_, now.toLocalTime().date());
  std::map<QString, InterfaceUse> use;
  std::optional<CounterSnapshot> before;
  if (store_ != nullptr) {
    if (const auto key = store_->OpenKey(KeyRoot::kMachine, kKey, false)) {
      const Ledger ledger = ReadLedger(store_->Values(*key));
      if (ledger.first == out.period.first) {
        use = ledger.use;
      }
      before = Stored();
    }
  }
  if (fresh && before) {
    AddDeltas(*before, TakeNow(), use);
  }
  for (auto& [name, u] : use) {
    u.name = name;
    out.interfaces.push_back(u);
  }
  return out;
}

}  // namespace velmar
