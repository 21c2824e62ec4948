#include "interface_table.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "app_paths.h"

namespace velmar {

namespace {

const uint32_t kTcpConnStateObject[10] = {1, 3, 6, 1, 2, 1, 6, 13, 1, 1};
const uint32_t kIfIndexObject[10] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 1};
const uint32_t kIpRouteDestObject[10] = {1, 3, 6, 1, 2, 1, 4, 21, 1, 1};

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
  // There is no socket library to start on this platform.
  socketsStarted_ = true;

  switch (agent_.Start(agentLibraryPath.toStdString(), clock.TickCount())) {
    case SnmpAgent::Failure::kNone:
      break;
    case SnmpAgent::Failure::kNotLoaded:
    case SnmpAgent::Failure::kNoEntryPoints:
      throw TableError(SnmpAgent::kUnavailable);
    case SnmpAgent::Failure::kInitFailed:
      throw TableError(SnmpAgent::kInitError);
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
  std::memcpy(walkName_, firstObject, sizeof walkName_);
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
    throw TableRefreshError("SNMP query failed.");
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
  const size_t length = strnlen(buffer, sizeof buffer);
  return QString::fromLatin1(buffer, static_cast<qsizetype>(std::min<size_t>(length, 32)));
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
