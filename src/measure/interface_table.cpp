#include "measure/interface_table.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "measure/interface_name.h"
#include "measure/tick_host.h"
#include "platform/app_paths.h"

namespace velmar {

namespace {

const uint32_t kTcpConnStateObject[10] = {1, 3, 6, 1, 2, 1, 6, 13, 1, 1};
const uint32_t kIfIndexObject[10] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 1};
const uint32_t kIpRouteDestObject[10] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 1};

// The columns of the interface layers the walk reads, in MIB order: where
// a column's walk starts (a name just before its first row) and how many
// sub-identifiers its row index has.
struct LayerColumn {
  enum What { kHCIn, kHCOut, kConnector, kStack } what;
  std::array<uint32_t, 12> start;
  uint32_t startLength;
  uint32_t prefixLength;  // the column's own name
  uint32_t indexLength;
};
constexpr LayerColumn kLayerColumns[] = {
    // ifHCInOctets, ifHCOutOctets, ifConnectorPresent: GETNEXT of row 0.
    {LayerColumn::kHCIn, {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 0}, 12, 11, 1},
    {LayerColumn::kHCOut, {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 10, 0}, 12, 11, 1},
    {LayerColumn::kConnector, {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 17, 0}, 12, 11, 1},
    // ifStackStatus from higher layer 1 on: the rows of layer 0 only say
    // which interfaces have nothing above them.
    {LayerColumn::kStack, {1, 3, 6, 1, 2, 1, 31, 1, 2, 1, 3, 1}, 12, 11, 2},
};

// A remote agent fetches a snapshot for each tick of the meter.
constexpr uint32_t kRemotePollIntervalMs = kCalcTimerIntervalMs;
// NetStat walks on the GUI thread: a table a device is still sending
// fails the refresh (the next one tries again) rather than freeze it.
constexpr uint32_t kRemoteTableWaitMs = 250;

int CompareNames(const uint32_t* a, uint32_t aLength, const uint32_t* b, uint32_t bLength) {
  const uint32_t n = std::min(aLength, bLength);
  for (uint32_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) {
      return a[i] < b[i] ? -1 : 1;
    }
  }
  return aLength == bLength ? 0 : (aLength < bLength ? -1 : 1);
}

bool Under(const uint32_t* name, uint32_t length, const LayerColumn& column) {
  return length >= column.prefixLength &&
         std::equal(column.start.begin(), column.start.begin() + column.prefixLength, name);
}

bool IsNumeric(uint8_t type) {
  return type == ASN_INTEGER || type == ASN_COUNTER32 || type == ASN_GAUGE32 ||
         type == ASN_TIMETICKS;
}

bool IsOctets(uint8_t type) {
  return type == ASN_OCTETSTRING || type == ASN_IPADDRESS;
}

}  // namespace

QString InterfaceTable::DefaultAgentLibraryPath() {
  const QString over = qEnvironmentVariable("VELMAR_AGENT_LIBRARY");
  return over.isEmpty() ? AgentLibraryPath(QStringLiteral("libmib2.so")) : over;
}

InterfaceTable::InterfaceTable(QObject* owner, const QString& agentLibraryPath,
                               const TickClock& clock)
    : QObject(owner) {
  StartAgent(agentLibraryPath, clock, nullptr);
}

InterfaceTable::InterfaceTable(const RemoteSource& source, QObject* owner, const TickClock& clock)
    : QObject(owner) {
  RemoteSource::Storage storage;
  const SnmpRemoteSource abi = source.ToAbi(storage, kRemotePollIntervalMs, kRemoteTableWaitMs);
  device_ = source.Address();
  StartAgent(RemoteSource::LibraryPath(), clock, &abi);
}

void InterfaceTable::StartAgent(const QString& path, const TickClock& clock,
                                const SnmpRemoteSource* source) {
  // There is no socket library to start on this platform.
  socketsStarted_ = true;

  switch (agent_.Start(path.toStdString(), clock.TickCount(), source)) {
    case SnmpAgent::Failure::kNone:
      break;
    case SnmpAgent::Failure::kNotLoaded:
    case SnmpAgent::Failure::kNoEntryPoints:
    case SnmpAgent::Failure::kNotRemote:
      throw TableError(SnmpAgent::kUnavailable);
    case SnmpAgent::Failure::kInitFailed: {
      // A remote agent says which device failed and why.
      const std::string reason = agent_.AgentError();
      throw TableError(reason.empty()
                           ? QString::fromLatin1(SnmpAgent::kInitError)
                           : QStringLiteral("%1 %2").arg(QString::fromLatin1(SnmpAgent::kInitError),
                                                         QString::fromStdString(reason)));
    }
  }
  // A std::recursive_timed_mutex cannot fail to come into being, so the
  // "Error allocating required resources" case has no counterpart here.
}

InterfaceTable::~InterfaceTable() {
  Rows.clear();
  // No shut-down call exists in the agent interface; unloading is all.
  agent_.Unload();
}

void InterfaceTable::DoStatusChange() {
  if (OnStatusChange) {
    OnStatusChange(*this);
  }
}

void InterfaceTable::SetBusy(bool value) {
  if (value != busy_) {
    busy_ = value;
    DoStatusChange();
  }
}

void InterfaceTable::Refresh(uint8_t kind) {
  if (!listLock_.try_lock_for(std::chrono::milliseconds(100))) {
    throw TableLockError("Connection list lock failure");
  }
  std::unique_lock lock(listLock_, std::adopt_lock);
  // A refresh nested inside a running one (an event handler run while the
  // agent is asked) is refused; it must not clear the running walk's Busy.
  if (busy_) {
    throw TableError("Requested operation is not supported in the current state.");
  }
  SetBusy(true);
  try {
    Rows.clear();
    stack_.clear();
    switch (kind) {
      case kTcpConnections:
        WalkTcpConnections();
        break;
      case kInterfaces:
        WalkInterfaces();
        break;
      case kRoutes:
        WalkRoutes();
        break;
      default:
        break;
    }
  } catch (...) {
    lock.unlock();
    SetBusy(false);
    throw;
  }
  lock.unlock();
  SetBusy(false);
}

void InterfaceTable::StartWalk(const uint32_t (&firstObject)[10]) {
  std::memcpy(walkName_, firstObject, sizeof firstObject);
  binding_ = SnmpVarBind{};
  binding_.name.ids = walkName_;
  binding_.name.idLength = 10;
  bindingList_.list = &binding_;
  bindingList_.len = 1;
}

void InterfaceTable::Query() {
  int32_t errorStatus = 0;
  int32_t errorIndex = 0;
  ++agentCalls_;
  if (!agent_.Query()(SNMP_PDU_GETNEXT, &bindingList_, &errorStatus, &errorIndex)) {
    const std::string reason = agent_.AgentError();
    throw TableRefreshError(
        reason.empty()
            ? QStringLiteral("SNMP query failed.")
            : QStringLiteral("SNMP query failed: %1").arg(QString::fromStdString(reason)));
  }
}

void InterfaceTable::CheckEnd() const {
  if (IsNull()) {
    throw TableRefreshError("Unexpected end of query results encountered.");
  }
}

// Values of an unexpected type read as 0 rather than as bytes of another
// member of the value union.
int32_t InterfaceTable::Number() const {
  return IsNumeric(binding_.value.asnType) ? binding_.value.asnValue.number : 0;
}

uint32_t InterfaceTable::Unsigned() const {
  return IsNumeric(binding_.value.asnType) ? binding_.value.asnValue.unsigned32 : 0;
}

MibRow::Address InterfaceTable::FirstFourOctets() const {
  MibRow::Address a{};
  if (IsOctets(binding_.value.asnType) && binding_.value.asnValue.string.stream != nullptr) {
    const uint32_t n = std::min<uint32_t>(binding_.value.asnValue.string.length, 4);
    std::memcpy(a.data(), binding_.value.asnValue.string.stream, n);
  }
  return a;
}

QString InterfaceTable::DescrText() const {
  char buffer[256] = {};
  if (IsOctets(binding_.value.asnType) && binding_.value.asnValue.string.stream != nullptr) {
    const uint32_t n = std::min<uint32_t>(binding_.value.asnValue.string.length, sizeof buffer);
    std::memcpy(buffer, binding_.value.asnValue.string.stream, n);
  }
  return InterfaceNameFromOctets(buffer, strnlen(buffer, sizeof buffer), 32);
}

void InterfaceTable::WalkInterfaces() {
  StartWalk(kIfIndexObject);
  Query();
  if (IsNull()) {
    return;
  }
  while (IsType(ASN_INTEGER)) {
    MibRow row;
    row.IfIndex = binding_.value.asnValue.number;
    Rows.push_back(std::move(row));
    Query();
  }
  using Row = MibRow;
  Column([this](Row& r) { r.IfDescr = DescrText(); });
  Column([this](Row& r) { r.IfType = Number(); });
  Column([this](Row& r) { r.IfMtu = Number(); });
  Column([this](Row& r) { r.IfSpeed = Unsigned(); });
  Column([this](Row& r) { r.IfPhysAddress = FirstFourOctets(); });
  Column([](Row&) {});  // admin status, not kept
  Column([](Row&) {});  // oper status, not kept
  Column([this](Row& r) { r.IfLastChange = Unsigned(); });
  Column([this](Row& r) { r.IfInOctets = Unsigned(); });
  Column([this](Row& r) { r.IfInUcastPkts = Unsigned(); });
  Column([this](Row& r) { r.IfInNUcastPkts = Unsigned(); });
  Column([this](Row& r) { r.IfInDiscards = Unsigned(); });
  Column([this](Row& r) { r.IfInErrors = Unsigned(); });
  Column([this](Row& r) { r.IfInUnknownProtos = Unsigned(); });
  Column([this](Row& r) { r.IfOutOctets = Unsigned(); });
  Column([this](Row& r) { r.IfOutUcastPkts = Unsigned(); });
  Column([this](Row& r) { r.IfOutNUcastPkts = Unsigned(); });
  Column([this](Row& r) { r.IfOutDiscards = Unsigned(); });
  Column([this](Row& r) { r.IfOutErrors = Unsigned(); });
  Column([this](Row& r) { r.IfOutQLen = Unsigned(); });
  WalkInterfaceLayers();
}

// One walk over the ifXTable and ifStackTable columns the meter uses. Each
// column is read while the answers stay in it; an answer past a column
// goes on in the next wanted column it lands in, or jumps to the start of
// the next one. An agent without these tables answers NULL (the end of its
// view) or a name past them, or fails the query, and the rows keep their
// 32-bit counters.
void InterfaceTable::WalkInterfaceLayers() {
  std::vector<std::pair<int32_t, size_t>> rowOf;
  rowOf.reserve(Rows.size());
  for (size_t i = 0; i < Rows.size(); ++i) {
    rowOf.emplace_back(Rows[i].IfIndex, i);
  }
  std::sort(rowOf.begin(), rowOf.end());
  const auto row = [&](uint32_t index) -> MibRow* {
    const auto key = std::make_pair(static_cast<int32_t>(index), size_t{0});
    const auto it = std::lower_bound(rowOf.begin(), rowOf.end(), key);
    return it != rowOf.end() && it->first == key.first ? &Rows[it->second] : nullptr;
  };

  size_t k = 0;
  const auto jump = [&] {
    std::copy(kLayerColumns[k].start.begin(), kLayerColumns[k].start.end(), walkName_);
    binding_ = SnmpVarBind{};
    binding_.name.ids = walkName_;
    binding_.name.idLength = kLayerColumns[k].startLength;
  };
  jump();
  std::vector<uint32_t> asked;
  for (;;) {
    asked.assign(binding_.name.ids, binding_.name.ids + binding_.name.idLength);
    try {
      Query();
    } catch (const TableRefreshError&) {
      return;  // the rows stand without what the agent could not give
    }
    const uint32_t* name = binding_.name.ids;
    const uint32_t length = binding_.name.idLength;
    // NULL is the end of the view; an answer that does not move forward
    // would never end.
    if (IsNull() || name == nullptr ||
        CompareNames(name, length, asked.data(), static_cast<uint32_t>(asked.size())) <= 0) {
      return;
    }
    while (k < std::size(kLayerColumns) && !Under(name, length, kLayerColumns[k]) &&
           CompareNames(name, length, kLayerColumns[k].start.data(),
                        kLayerColumns[k].prefixLength) > 0) {
      ++k;  // the answer lies past this column
    }
    if (k == std::size(kLayerColumns)) {
      return;
    }
    const LayerColumn& column = kLayerColumns[k];
    if (!Under(name, length, column)) {
      jump();  // the answer lies before this column: start it
      continue;
    }
    if (length != column.prefixLength + column.indexLength) {
      continue;  // a malformed index: skip the value
    }
    const uint32_t* index = name + column.prefixLength;
    const AsnAny& value = binding_.value;
    if (column.what == LayerColumn::kStack) {
      if (value.asnType == ASN_INTEGER && value.asnValue.number == 1 && index[0] != 0 &&
          index[1] != 0) {  // active
        stack_.push_back(
            StackLayer{static_cast<int32_t>(index[0]), static_cast<int32_t>(index[1])});
      }
      continue;
    }
    MibRow* r = row(index[0]);
    if (r == nullptr) {
      continue;
    }
    switch (column.what) {
      case LayerColumn::kHCIn:
        if (value.asnType == ASN_COUNTER64) {
          r->IfHCInOctets = value.asnValue.counter64;
          r->HasHCInOctets = true;
        }
        break;
      case LayerColumn::kHCOut:
        if (value.asnType == ASN_COUNTER64) {
          r->IfHCOutOctets = value.asnValue.counter64;
          r->HasHCOutOctets = true;
        }
        break;
      default:
        if (value.asnType == ASN_INTEGER) {
          r->IfConnectorPresent = value.asnValue.number;
        }
        break;
    }
  }
}

void InterfaceTable::WalkTcpConnections() {
  StartWalk(kTcpConnStateObject);
  Query();
  if (IsNull()) {
    return;
  }
  while (IsType(ASN_INTEGER)) {
    MibRow row;
    row.State = binding_.value.asnValue.number;
    Rows.push_back(std::move(row));
    Query();
  }
  // Each later column runs while its value type lasts. An agent that gives
  // a column more values than there are rows has them read and dropped.
  const auto column = [this](uint8_t type, auto store) {
    CheckEnd();
    for (size_t i = 0; IsType(type); ++i) {
      if (i < Rows.size()) {
        store(Rows[i]);
      }
      Query();
    }
  };
  column(ASN_IPADDRESS, [this](MibRow& r) { r.LocalAddress = FirstFourOctets(); });
  column(ASN_INTEGER, [this](MibRow& r) { r.LocalPort = Number(); });
  column(ASN_IPADDRESS, [this](MibRow& r) { r.RemoteAddress = FirstFourOctets(); });
  column(ASN_INTEGER, [this](MibRow& r) { r.RemotePort = Number(); });
}

void InterfaceTable::WalkRoutes() {
  StartWalk(kIpRouteDestObject);
  Query();
  if (IsNull()) {
    return;
  }
  while (IsType(ASN_IPADDRESS)) {
    MibRow row;
    row.RouteDest = FirstFourOctets();
    Rows.push_back(std::move(row));
    Query();
  }
  CheckEnd();
  Column([this](MibRow& r) { r.RouteIfIndex = Number(); });
}

}  // namespace velmar
