#include "interfaces/interface_table.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "interfaces/interface_name.h"
#include "platform/app_paths.h"

namespace velmar {

namespace {

const uint32_t kTcpConnStateObject[10] = {1, 3, 6, 1, 2, 1, 6, 13, 1, 1};
const uint32_t kIpRouteDestObject[10] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 1};
const std::vector<uint32_t> kIfEntry = {1, 3, 6, 1, 2, 1, 2, 2, 1};
constexpr uint32_t kIfColumns = 21;  // ifIndex .. ifOutQLen; ifSpecific is not kept
const std::vector<uint32_t> kIfHCInOctets = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6};
const std::vector<uint32_t> kIfHCOutOctets = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 10};
const std::vector<uint32_t> kIfInOctets = {1, 3, 6, 1, 2, 1, 2, 2, 1, 10};
const std::vector<uint32_t> kIfOutOctets = {1, 3, 6, 1, 2, 1, 2, 2, 1, 16};
// The set marks, in the order MarksOf reads them.
const std::vector<std::vector<uint32_t>> kMarkNames = {
    {1, 3, 6, 1, 2, 1, 2, 1, 0},      // ifNumber
    {1, 3, 6, 1, 2, 1, 1, 3, 0},      // sysUpTime
    {1, 3, 6, 1, 2, 1, 31, 1, 5, 0},  // ifTableLastChange
};
const std::vector<uint32_t> kReadingTime = VELMAR_READING_TIME_OID;
const std::vector<uint32_t> kIpForwarding = {1, 3, 6, 1, 2, 1, 4, 1, 0};
const std::vector<uint32_t> kIpv6IpForwarding = {1, 3, 6, 1, 2, 1, 4, 25, 0};
// ipRouteIfIndex and ipRouteMask of the default route (index 0.0.0.0).
const std::vector<uint32_t> kDefaultRouteIfIndex = {1, 3, 6, 1, 2, 1, 4, 21, 1, 2, 0, 0, 0, 0};
const std::vector<uint32_t> kDefaultRouteMask = {1, 3, 6, 1, 2, 1, 4, 21, 1, 11, 0, 0, 0, 0};
// inetCidrRouteIfIndex: rows indexed by destination type, destination
// (length first), prefix length, policy, next hop type and next hop.
const std::vector<uint32_t> kInetCidrRouteIfIndex = {1, 3, 6, 1, 2, 1, 4, 24, 7, 1, 7};
// A router with a full table has a handful of default routes at most;
// the lookup never walks further than this.
constexpr int kMaxDefaultRoutes = 64;

// The columns of the interface layers the walk reads, in MIB order: where
// a column's walk starts (a name just before its first row) and how many
// sub-identifiers its row index has.
struct LayerColumn {
  enum What { kName, kHCIn, kHCOut, kConnector, kAlias, kStack } what;
  std::array<uint32_t, 12> start;
  uint32_t startLength;
  uint32_t prefixLength;  // the column's own name
  uint32_t indexLength;
};
constexpr LayerColumn kLayerColumns[] = {
    // ifName, ifHCInOctets, ifHCOutOctets, ifConnectorPresent, ifAlias:
    // GETNEXT of row 0.
    {LayerColumn::kName, {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1, 0}, 12, 11, 1},
    {LayerColumn::kHCIn, {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 6, 0}, 12, 11, 1},
    {LayerColumn::kHCOut, {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 10, 0}, 12, 11, 1},
    {LayerColumn::kConnector, {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 17, 0}, 12, 11, 1},
    {LayerColumn::kAlias, {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 18, 0}, 12, 11, 1},
    // ifStackStatus from higher layer 1 on: the rows of layer 0 only say
    // which interfaces have nothing above them.
    {LayerColumn::kStack, {1, 3, 6, 1, 2, 1, 31, 1, 2, 1, 3, 1}, 12, 11, 2},
};

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

// An OCTET STRING as text, up to its first NUL, whole.
QString TextOf(const AsnAny& value) {
  if (!IsOctets(value.asnType) || value.asnValue.string.stream == nullptr) {
    return {};
  }
  const char* bytes = reinterpret_cast<const char*>(value.asnValue.string.stream);
  // UTF-8, with any byte that is not shown escaped; cut at a NUL only.
  return InterfaceNameFromOctets(bytes, strnlen(bytes, value.asnValue.string.length));
}

bool StartsWith(const uint32_t* name, uint32_t length, const std::vector<uint32_t>& prefix) {
  return name != nullptr && length >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), name);
}

// The row of ifTable index `index`, made when first met; `rows` stays
// sorted by index.
MibRow& RowFor(std::vector<std::pair<int32_t, MibRow>>& rows, int32_t index) {
  auto it = std::lower_bound(rows.begin(), rows.end(), index,
                             [](const auto& r, int32_t i) { return r.first < i; });
  if (it == rows.end() || it->first != index) {
    it = rows.insert(it, {index, MibRow{}});
    it->second.IfIndex = index;
  }
  return it->second;
}

// The rows of a walk by ifIndex, for the layer columns that name them.
class RowsByIndex {
 public:
  explicit RowsByIndex(std::vector<MibRow>& rows) : rows_(rows) {
    rowOf_.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      rowOf_.emplace_back(rows[i].IfIndex, i);
    }
    std::sort(rowOf_.begin(), rowOf_.end());
  }
  // Null when no row has the index.
  MibRow* Find(uint32_t index) const {
    const auto key = std::make_pair(static_cast<int32_t>(index), size_t{0});
    const auto it = std::lower_bound(rowOf_.begin(), rowOf_.end(), key);
    return it != rowOf_.end() && it->first == key.first ? &rows_[it->second] : nullptr;
  }

 private:
  std::vector<MibRow>& rows_;
  std::vector<std::pair<int32_t, size_t>> rowOf_;
};

// The first wanted layer column from `k` on that the answer is not past;
// the column count when it is past them all.
size_t LayerColumnFrom(const uint32_t* name, uint32_t length, size_t k) {
  while (k < std::size(kLayerColumns) && !Under(name, length, kLayerColumns[k]) &&
         CompareNames(name, length, kLayerColumns[k].start.data(), kLayerColumns[k].prefixLength) >
             0) {
    ++k;  // the answer lies past this column
  }
  return k;
}

// A value of the ifXTable columns into its row; a value of another type
// than the column's leaves the row as it is.
void StoreLayerValue(LayerColumn::What what, const AsnAny& value, MibRow& r) {
  switch (what) {
    case LayerColumn::kName:
      r.IfName = TextOf(value);
      break;
    case LayerColumn::kAlias:
      r.IfAlias = TextOf(value);
      break;
    case LayerColumn::kHCIn:
      if (value.asnType == ASN_COUNTER64) {
        r.IfHCInOctets = value.asnValue.counter64;
        r.HasHCInOctets = true;
        r.IfXInOctets = true;
      }
      break;
    case LayerColumn::kHCOut:
      if (value.asnType == ASN_COUNTER64) {
        r.IfHCOutOctets = value.asnValue.counter64;
        r.HasHCOutOctets = true;
        r.IfXOutOctets = true;
      }
      break;
    case LayerColumn::kConnector:
      if (value.asnType == ASN_INTEGER) {
        r.IfConnectorPresent = value.asnValue.number;
      }
      break;
    case LayerColumn::kStack:
      break;
  }
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

// The meter's ticks and NetStat walk on the GUI thread: a table a device is
// still sending fails the walk (the next one tries again) rather than
// freeze it.
InterfaceTable::InterfaceTable(const RemoteSource& source, QObject* owner, const TickClock& clock,
                               uint32_t tableWaitMs)
    : QObject(owner) {
  RemoteSource::Storage storage;
  const SnmpRemoteSource abi = source.ToAbi(storage, kRemotePollIntervalMs, tableWaitMs);
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
      // A remote agent says which device failed, why, and what to do.
      const std::string reason = agent_.AgentError();
      throw TableError(reason.empty() ? QString::fromLatin1(SnmpAgent::kInitError)
                                      : QString::fromStdString(reason));
    }
  }
  // A std::recursive_timed_mutex cannot fail to come into being, so the
  // "Error allocating required resources" case has no counterpart here.

  // An agent that answers GET answers the reading time (ours at once, a
  // device's agent from what it holds); one that refuses GET is walked.
  try {
    Get({kReadingTime});
    supportsGet_ = true;
  } catch (const TableRefreshError&) {
    supportsGet_ = false;
  }
}

void InterfaceTable::Get(const std::vector<std::vector<uint32_t>>& names) {
  asked_ = names;
  askedForCounters_ = false;
  AskGet();
}

void InterfaceTable::AskGet() {
  answers_.assign(asked_.size(), SnmpVarBind{});
  for (size_t i = 0; i < asked_.size(); ++i) {
    answers_[i].name.ids = asked_[i].data();
    answers_[i].name.idLength = static_cast<uint32_t>(asked_[i].size());
  }
  SnmpVarBindList list{answers_.data(), static_cast<uint32_t>(answers_.size())};
  int32_t errorStatus = 0;
  int32_t errorIndex = 0;
  ++agentCalls_;
  if (!agent_.Query()(SNMP_PDU_GET, &list, &errorStatus, &errorIndex)) {
    const std::string reason = agent_.AgentError();
    throw TableRefreshError(
        reason.empty()
            ? QStringLiteral("SNMP query failed.")
            : QStringLiteral("SNMP query failed: %1").arg(QString::fromStdString(reason)));
  }
}

bool InterfaceTable::CounterOf(const AsnAny& value, uint64_t& v, bool& wide) {
  switch (value.asnType) {
    case ASN_COUNTER32:
    case ASN_GAUGE32:
      v = value.asnValue.unsigned32;
      wide = false;
      return true;
    case ASN_COUNTER64:
      v = value.asnValue.counter64;
      wide = true;
      return true;
    default:
      return false;
  }
}

InterfaceTable::SetMarks InterfaceTable::MarksOf(size_t first) const {
  SetMarks marks;
  int64_t* fields[] = {&marks.ifNumber, &marks.upTime, &marks.lastChange};
  for (size_t i = 0; i < std::size(fields); ++i) {
    const AsnAny& v = answers_[first + i].value;
    if (IsNumeric(v.asnType)) {
      *fields[i] = v.asnType == ASN_INTEGER ? v.asnValue.number : v.asnValue.unsigned32;
    }
  }
  return marks;
}

const InterfaceTable::CounterReading& InterfaceTable::ReadCounters(
    const std::vector<CounterRequest>& which) {
  const auto same = [](const CounterRequest& a, const CounterRequest& b) {
    return a.index == b.index && a.ifXIn == b.ifXIn && a.ifXOut == b.ifXOut;
  };
  if (!askedForCounters_ ||
      !std::equal(which.begin(), which.end(), askedCounters_.begin(), askedCounters_.end(), same)) {
    asked_.clear();
    asked_.push_back(kReadingTime);
    asked_.insert(asked_.end(), kMarkNames.begin(), kMarkNames.end());
    // Each counter where the walk found it: a device that sends Counter64
    // in its ifTable and has no ifXTable is read there, at that width.
    for (const CounterRequest& r : which) {
      for (const auto* column :
           {r.ifXIn ? &kIfHCInOctets : &kIfInOctets, r.ifXOut ? &kIfHCOutOctets : &kIfOutOctets}) {
        asked_.push_back(*column);
        asked_.back().push_back(static_cast<uint32_t>(r.index));
      }
    }
    askedCounters_ = which;
    askedForCounters_ = true;
  }
  AskGet();
  CounterReading& reading = reading_;
  reading.takenUs = 0;
  if (answers_[0].value.asnType == ASN_COUNTER64) {
    reading.takenUs = answers_[0].value.asnValue.counter64;
  }
  reading.marks = MarksOf(1);
  reading.counters.assign(which.size(), Counters{});
  for (size_t i = 0; i < which.size(); ++i) {
    const size_t at = 1 + kMarkNames.size() + 2 * i;
    Counters& c = reading.counters[i];
    bool inWide = false;
    bool outWide = false;
    c.present = CounterOf(answers_[at].value, c.in, inWide) &&
                CounterOf(answers_[at + 1].value, c.out, outWide);
    c.wide = inWide && outWide;
  }
  return reading;
}

InterfaceTable::~InterfaceTable() {
  Rows.clear();
  // No shut-down call exists in the agent interface; unloading is all.
  agent_.Unload();
}

void InterfaceTable::DoStatusChange() {
  emit statusChanged(*this);
}

void InterfaceTable::SetBusy(bool value) {
  if (value != busy_) {
    busy_ = value;
    DoStatusChange();
  }
}

void InterfaceTable::RunWalk(const std::function<void()>& walk) {
  if (!listLock_.try_lock_for(std::chrono::milliseconds(100))) {
    throw TableLockError("Connection list lock failure");
  }
  std::unique_lock lock(listLock_, std::adopt_lock);
  // A walk nested inside a running one (an event handler run while the
  // agent is asked) is refused; it must not clear the running walk's Busy.
  if (busy_) {
    throw TableError("Requested operation is not supported in the current state.");
  }
  SetBusy(true);
  try {
    walk();
  } catch (...) {
    lock.unlock();
    SetBusy(false);
    throw;
  }
  lock.unlock();
  SetBusy(false);
}

void InterfaceTable::Refresh(uint8_t kind) {
  RunWalk([&] {
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
  });
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
    // The remote agent's word for a table whose fetch goes on.
    if (reason.find(" is still sending ") != std::string::npos) {
      throw TableNotYetError(QString::fromStdString(reason));
    }
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
  return TextOf(binding_.value);
}

void InterfaceTable::WalkInterfaces() {
  forwarding_ = false;
  uplinks_.clear();
  marks_ = SetMarks{};
  if (supportsGet_) {
    // The marks before the walk: a change while it runs shows next time.
    std::vector<std::vector<uint32_t>> names = kMarkNames;
    names.push_back(kIpForwarding);
    names.push_back(kIpv6IpForwarding);
    Get(names);
    marks_ = MarksOf(0);
    for (size_t i = kMarkNames.size(); i < names.size(); ++i) {
      forwarding_ = forwarding_ || (answers_[i].value.asnType == ASN_INTEGER &&
                                    answers_[i].value.asnValue.number == 1);
    }
  }
  WalkInterfaceTable();
  if (Rows.empty()) {
    return;  // nothing to add layers or routes to
  }
  WalkInterfaceLayers();
  // An agent without GET is taken as one that does not forward.
  if (forwarding_) {
    ReadDefaultRoutes();
  }
}

// The ifTable column by column with GETNEXT. Every answer names its column
// and row: the value goes to that row (made when first met), so a column
// the agent leaves cells out of, or a table that ends early, never moves a
// value into another row. An answer in a column after ifOutQLen, outside
// the table, or the end of the view ends the walk; one that does not move
// forward too (it would never end).
void InterfaceTable::WalkInterfaceTable() {
  const uint32_t prefix = static_cast<uint32_t>(kIfEntry.size());
  std::copy(kIfEntry.begin(), kIfEntry.end(), walkName_);
  walkName_[prefix] = 1;
  binding_ = SnmpVarBind{};
  binding_.name.ids = walkName_;
  binding_.name.idLength = prefix + 1;
  bindingList_.list = &binding_;
  bindingList_.len = 1;
  std::vector<std::pair<int32_t, MibRow>> rows;  // by index, in the agent's order
  std::vector<uint32_t> asked;
  for (;;) {
    asked.assign(binding_.name.ids, binding_.name.ids + binding_.name.idLength);
    Query();
    const uint32_t* name = binding_.name.ids;
    const uint32_t length = binding_.name.idLength;
    if (IsNull() || !StartsWith(name, length, kIfEntry) || length != prefix + 2 ||
        name[prefix] > kIfColumns ||
        CompareNames(name, length, asked.data(), static_cast<uint32_t>(asked.size())) <= 0) {
      break;
    }
    StoreIfColumn(name[prefix], RowFor(rows, static_cast<int32_t>(name[prefix + 1])));
  }
  Rows.reserve(rows.size());
  for (auto& [index, row] : rows) {
    Rows.push_back(std::move(row));
  }
}

// The ifTable's description columns; the counters go on to StoreIfCounter.
void InterfaceTable::StoreIfColumn(uint32_t column, MibRow& r) const {
  switch (column) {
    case 2:
      r.IfDescr = DescrText();
      break;
    case 3:
      r.IfType = Number();
      break;
    case 4:
      r.IfMtu = Number();
      break;
    case 5:
      r.IfSpeed = Unsigned();
      break;
    case 6:
      r.IfPhysAddress = FirstFourOctets();
      break;
    case 9:
      r.IfLastChange = Unsigned();
      break;
    default:
      StoreIfCounter(column, r);
      break;
  }
}

// The ifTable's counter columns, ifInOctets .. ifOutQLen.
void InterfaceTable::StoreIfCounter(uint32_t column, MibRow& r) const {
  uint64_t counter = 0;
  bool wide = false;
  const bool isCounter = CounterOf(binding_.value, counter, wide);
  const auto low = static_cast<uint32_t>(counter);
  switch (column) {
    case 10:
      r.IfInOctets = low;
      // A Counter64 here (seen on firewalls) is a 64-bit counter.
      if (wide) {
        r.IfHCInOctets = counter;
        r.HasHCInOctets = true;
      }
      break;
    case 11:
      r.IfInUcastPkts = low;
      break;
    case 12:
      r.IfInNUcastPkts = low;
      break;
    case 13:
      r.IfInDiscards = low;
      break;
    case 14:
      r.IfInErrors = low;
      break;
    case 15:
      r.IfInUnknownProtos = low;
      break;
    case 16:
      r.IfOutOctets = low;
      if (wide) {
        r.IfHCOutOctets = counter;
        r.HasHCOutOctets = true;
      }
      break;
    case 17:
      r.IfOutUcastPkts = low;
      break;
    case 18:
      r.IfOutNUcastPkts = low;
      break;
    case 19:
      r.IfOutDiscards = low;
      break;
    case 20:
      r.IfOutErrors = low;
      break;
    case 21:
      r.IfOutQLen = isCounter ? low : Unsigned();
      break;
    default:
      break;  // ifIndex is the row's index; the statuses are not kept
  }
}

// The interfaces the default routes leave by: the ipRouteTable row of
// destination 0.0.0.0 with mask 0.0.0.0 (or no mask said), and the
// inetCidrRouteTable rows of prefix length 0 to the zero address of either
// family. The latter sort first among their family's rows, so a router
// with a full table costs a few requests, not a walk of it.
void InterfaceTable::ReadDefaultRoutes() {
  const auto add = [this](int32_t ifIndex) {
    if (ifIndex > 0 && std::find(uplinks_.begin(), uplinks_.end(), ifIndex) == uplinks_.end()) {
      uplinks_.push_back(ifIndex);
    }
  };
  try {
    Get({kDefaultRouteIfIndex, kDefaultRouteMask});
    const AsnAny& mask = answers_[1].value;
    const bool zeroMask = mask.asnType != ASN_IPADDRESS ||
                          (mask.asnValue.string.length == 4 &&
                           std::all_of(mask.asnValue.string.stream, mask.asnValue.string.stream + 4,
                                       [](uint8_t b) { return b == 0; }));
    if (answers_[0].value.asnType == ASN_INTEGER && zeroMask) {
      add(answers_[0].value.asnValue.number);
    }
    for (const uint32_t family : {1u, 2u}) {
      const uint32_t length = family == 1 ? 4 : 16;
      std::vector<uint32_t> prefix = kInetCidrRouteIfIndex;
      prefix.push_back(family);
      prefix.push_back(length);
      prefix.insert(prefix.end(), length, 0);
      std::copy(prefix.begin(), prefix.end(), walkName_);
      binding_ = SnmpVarBind{};
      binding_.name.ids = walkName_;
      binding_.name.idLength = static_cast<uint32_t>(prefix.size());
      for (int n = 0; n < kMaxDefaultRoutes; ++n) {
        Query();
        // Past the zero destination of this family: no more default routes.
        if (IsNull() || binding_.name.idLength <= prefix.size() ||
            !StartsWith(binding_.name.ids, binding_.name.idLength, prefix)) {
          break;
        }
        if (binding_.name.ids[prefix.size()] == 0 && IsType(ASN_INTEGER)) {  // prefix length 0
          add(binding_.value.asnValue.number);
        }
      }
    }
  } catch (const TableRefreshError&) {
    // An agent that cannot tell its routes: "All" falls back to connectors.
  }
}

// One walk over the ifXTable and ifStackTable columns the meter uses. Each
// column is read while the answers stay in it; an answer past a column
// goes on in the next wanted column it lands in, or jumps to the start of
// the next one. An agent without these tables answers NULL (the end of its
// view) or a name past them, or fails the query, and the rows keep their
// 32-bit counters.
void InterfaceTable::WalkInterfaceLayers() {
  const RowsByIndex rows(Rows);
  size_t k = 0;
  StartLayerColumn(k);
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
    k = LayerColumnFrom(name, length, k);
    if (k == std::size(kLayerColumns)) {
      return;
    }
    const LayerColumn& column = kLayerColumns[k];
    if (!Under(name, length, column)) {
      StartLayerColumn(k);  // the answer lies before this column: start it
      continue;
    }
    if (length != column.prefixLength + column.indexLength) {
      continue;  // a malformed index: skip the value
    }
    const uint32_t* index = name + column.prefixLength;
    const AsnAny& value = binding_.value;
    if (column.what != LayerColumn::kStack) {
      if (MibRow* r = rows.Find(index[0])) {
        StoreLayerValue(column.what, value, *r);
      }
    } else if (index[0] == 0) {
      StartLayerColumn(k);  // the rows of layer 0 say nothing about relations
    } else if (value.asnType == ASN_INTEGER && value.asnValue.number == 1 && index[1] != 0) {
      // An active relation between two interfaces.
      stack_.push_back(StackLayer{static_cast<int32_t>(index[0]), static_cast<int32_t>(index[1])});
    }
  }
}

void InterfaceTable::StartLayerColumn(size_t k) {
  std::copy(kLayerColumns[k].start.begin(), kLayerColumns[k].start.end(), walkName_);
  binding_ = SnmpVarBind{};
  binding_.name.ids = walkName_;
  binding_.name.idLength = kLayerColumns[k].startLength;
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
