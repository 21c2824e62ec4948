#include "agent/mib2_tables.h"

#include <net/if.h>
#include <net/route.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>

namespace velmar::agent {

const Oid kReadingTime = VELMAR_READING_TIME_OID;
const std::vector<uint32_t> kIfXColumns = {1, 6, 10, 15, 17, 18};

namespace {

uint32_t Low32(uint64_t v) {
  return static_cast<uint32_t>(v);
}

MibValue Counter(uint64_t v) {
  return MibValue::Unsigned(ASN_COUNTER32, Low32(v));
}

// forwarding(1) when the kernel's switch for it reads 1, else
// notForwarding(2): a host, or a file that cannot be read.
MibValue Forwarding(const std::string& path) {
  const std::string text = ReadWholeFile(path);
  return MibValue::Integer(!text.empty() && text[0] == '1' ? 1 : 2);
}

void AppendIp(Oid& oid, const Ip4& a) {
  oid.insert(oid.end(), a.begin(), a.end());
}

}  // namespace

namespace {

// Columns 10-20 of an ifTable row: everything that changes between reads
// of an interface that did not itself change.
void SetIfCounters(TableRow& row, const LinkInfo& l) {
  const uint64_t rxUnicast = l.rxPackets > l.rxMulticast ? l.rxPackets - l.rxMulticast : 0;
  MibValue* c = &row.columns[9];
  c[0] = Counter(l.rxBytes);      // 10 ifInOctets
  c[1] = Counter(rxUnicast);      // 11 ifInUcastPkts
  c[2] = Counter(l.rxMulticast);  // 12 ifInNUcastPkts
  c[3] = Counter(l.rxDropped);    // 13 ifInDiscards
  c[4] = Counter(l.rxErrors);     // 14 ifInErrors
  c[5] = Counter(l.rxNoHandler);  // 15 ifInUnknownProtos
  c[6] = Counter(l.txBytes);      // 16 ifOutOctets
  c[7] = Counter(l.txPackets);    // 17 ifOutUcastPkts
  c[8] = Counter(0);              // 18 ifOutNUcastPkts
  c[9] = Counter(l.txDropped);    // 19 ifOutDiscards
  c[10] = Counter(l.txErrors);    // 20 ifOutErrors
}

// ifHCInOctets and ifHCOutOctets of an ifXTable row.
void SetIfXCounters(TableRow& row, const LinkInfo& l) {
  row.columns[1] = MibValue::Counter64(l.rxBytes);
  row.columns[2] = MibValue::Counter64(l.txBytes);
}

// Rows built from `links` when they were read last, one per link in the
// same (ifIndex) order, get that read's counters; false when the rows are
// of another set of links.
bool UpdateCounters(std::vector<TableRow>& rows, const std::vector<LinkInfo>& links,
                    void (*set)(TableRow&, const LinkInfo&)) {
  if (rows.size() != links.size()) {
    return false;
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].index.size() != 1 || rows[i].index[0] != static_cast<uint32_t>(links[i].index)) {
      return false;
    }
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    set(rows[i], links[i]);
  }
  return true;
}

}  // namespace

std::vector<TableRow> IfTableRows(const std::vector<LinkInfo>& links) {
  std::vector<TableRow> rows;
  rows.reserve(links.size());
  for (const LinkInfo& l : links) {
    TableRow row;
    row.index = {static_cast<uint32_t>(l.index)};
    const uint64_t speed =
        std::min<uint64_t>(l.speedBitsPerSecond, std::numeric_limits<uint32_t>::max());
    row.columns = {
        MibValue::Integer(l.index),                             // 1 ifIndex
        MibValue::String(l.name),                               // 2 ifDescr
        MibValue::Integer(IanaIfType(l.arpType)),               // 3 ifType
        MibValue::Integer(static_cast<int32_t>(l.mtu)),         // 4 ifMtu
        MibValue::Unsigned(ASN_GAUGE32, Low32(speed)),          // 5 ifSpeed
        MibValue::String(l.address),                            // 6 ifPhysAddress
        MibValue::Integer((l.flags & IFF_UP) ? 1 : 2),          // 7 ifAdminStatus
        MibValue::Integer(IfOperStatus(l.operState, l.flags)),  // 8 ifOperStatus
        MibValue::Unsigned(ASN_TIMETICKS, 0),                   // 9 ifLastChange
    };
    row.columns.resize(20);                                     // 10-20: the counters
    row.columns.push_back(MibValue::Unsigned(ASN_GAUGE32, 0));  // 21 ifOutQLen
    row.columns.push_back(MibValue::ObjectId({0, 0}));          // 22 ifSpecific
    SetIfCounters(row, l);
    rows.push_back(std::move(row));
  }
  return rows;
}

bool UpdateIfTableRows(std::vector<TableRow>& rows, const std::vector<LinkInfo>& links) {
  return UpdateCounters(rows, links, SetIfCounters);
}

bool UpdateIfXTableRows(std::vector<TableRow>& rows, const std::vector<LinkInfo>& links) {
  return UpdateCounters(rows, links, SetIfXCounters);
}

std::vector<TableRow> IfXTableRows(const std::vector<LinkInfo>& links) {
  std::vector<TableRow> rows;
  rows.reserve(links.size());
  for (const LinkInfo& l : links) {
    TableRow row;
    row.index = {static_cast<uint32_t>(l.index)};
    const uint64_t mbps =
        std::min<uint64_t>(l.speedBitsPerSecond / 1000000, std::numeric_limits<uint32_t>::max());
    row.columns = {
        MibValue::String(l.name),                                      // 1 ifName
        MibValue(),                                                    // 6 ifHCInOctets
        MibValue(),                                                    // 10 ifHCOutOctets
        MibValue::Unsigned(ASN_GAUGE32, static_cast<uint32_t>(mbps)),  // 15 ifHighSpeed
        MibValue::Integer(l.hasDevice ? 1 : 2),                        // 17 ifConnectorPresent
        MibValue::String(l.alias),                                     // 18 ifAlias
    };
    SetIfXCounters(row, l);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<TableRow> IfStackTableRows(const std::vector<LinkInfo>& links) {
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  for (const LinkInfo& l : links) {
    for (const int lower : l.lowerLayers) {
      pairs.emplace_back(static_cast<uint32_t>(l.index), static_cast<uint32_t>(lower));
    }
  }
  std::vector<uint32_t> lowers;
  for (const auto& [higher, lower] : pairs) {
    lowers.push_back(lower);
  }
  std::sort(lowers.begin(), lowers.end());
  for (const LinkInfo& l : links) {
    const auto index = static_cast<uint32_t>(l.index);
    if (!std::binary_search(lowers.begin(), lowers.end(), index)) {
      pairs.emplace_back(0, index);
    }
    if (l.lowerLayers.empty()) {
      pairs.emplace_back(index, 0);
    }
  }
  std::vector<TableRow> rows;
  rows.reserve(pairs.size());
  for (const auto& [higher, lower] : pairs) {
    rows.push_back(TableRow{{higher, lower}, {MibValue::Integer(1)}});  // active
  }
  return rows;  // the view sorts them by index
}

std::vector<TableRow> TcpConnTableRows(const std::vector<TcpConnection>& connections) {
  std::vector<TableRow> rows;
  rows.reserve(connections.size());
  for (const TcpConnection& c : connections) {
    TableRow row;
    AppendIp(row.index, c.localAddress);
    row.index.push_back(c.localPort);
    AppendIp(row.index, c.remoteAddress);
    row.index.push_back(c.remotePort);
    row.columns = {
        MibValue::Integer(TcpConnStateOf(c.state)),
        MibValue::Ip(c.localAddress),
        MibValue::Integer(c.localPort),
        MibValue::Ip(c.remoteAddress),
        MibValue::Integer(c.remotePort),
    };
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<TableRow> IpRouteTableRows(const std::vector<Route>& routes,
                                       const std::function<int(const std::string&)>& ifIndexOf) {
  // The table is indexed by destination alone: of several routes to one
  // destination, the one with the lowest metric is the one shown.
  std::vector<const Route*> usable;
  for (const Route& r : routes) {
    if (r.flags & RTF_UP) {
      usable.push_back(&r);
    }
  }
  std::stable_sort(usable.begin(), usable.end(),
                   [](const Route* a, const Route* b) { return a->metric < b->metric; });
  std::vector<TableRow> rows;
  rows.reserve(usable.size());
  for (const Route* r : usable) {
    TableRow row;
    AppendIp(row.index, r->destination);
    row.columns = {
        MibValue::Ip(r->destination),                         // 1 ipRouteDest
        MibValue::Integer(ifIndexOf(r->interfaceName)),       // 2 ipRouteIfIndex
        MibValue::Integer(r->metric),                         // 3 ipRouteMetric1
        MibValue::Integer(-1),                                // 4 ipRouteMetric2
        MibValue::Integer(-1),                                // 5 ipRouteMetric3
        MibValue::Integer(-1),                                // 6 ipRouteMetric4
        MibValue::Ip(r->gateway),                             // 7 ipRouteNextHop
        MibValue::Integer((r->flags & RTF_GATEWAY) ? 4 : 3),  // 8 ipRouteType
        MibValue::Integer(2),                                 // 9 ipRouteProto: local
        MibValue::Integer(0),                                 // 10 ipRouteAge
        MibValue::Ip(r->mask),                                // 11 ipRouteMask
        MibValue::Integer(-1),                                // 12 ipRouteMetric5
        MibValue::ObjectId({0, 0}),                           // 13 ipRouteInfo
    };
    rows.push_back(std::move(row));
  }
  return rows;  // the view sorts by index; stable, so the lowest metric wins
}

std::unique_ptr<MibView> BuildMib2View(KernelSources sources) {
  auto view = std::make_unique<MibView>();
  auto links = std::make_shared<std::vector<LinkInfo>>();
  auto readAt = std::make_shared<uint64_t>(0);
  const int linkSnapshot = view->AddSnapshotKeepingRows([links, readAt, read = sources.links] {
    const bool readWhole = read(*links);
    *readAt = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
    return !readWhole;  // only the counters moved
  });
  view->AddScalar(
      kIfNumber, [links] { return MibValue::Integer(static_cast<int32_t>(links->size())); },
      linkSnapshot);
  view->AddTable(
      kIfEntry, kIfColumns, [links] { return IfTableRows(*links); }, linkSnapshot,
      [links](std::vector<TableRow>& rows) { return UpdateIfTableRows(rows, *links); });
  view->AddScalar(kIpForwarding, [path = sources.ipv4Forwarding] { return Forwarding(path); });
  const std::string routePath = sources.procNetRoute;
  view->AddTable(kIpRouteEntry, kIpRouteColumns, [routePath] {
    return IpRouteTableRows(
        ParseProcNetRoute(ReadWholeFile(routePath)),
        [](const std::string& name) { return static_cast<int>(if_nametoindex(name.c_str())); });
  });
  view->AddScalar(kIpRoutingDiscards, [] { return MibValue::Unsigned(ASN_COUNTER32, 0); });
  view->AddScalar(kIpv6IpForwarding, [path = sources.ipv6Forwarding] { return Forwarding(path); });
  const std::string tcpPath = sources.procNetTcp;
  view->AddTable(kTcpConnEntry, kTcpConnColumns,
                 [tcpPath] { return TcpConnTableRows(ParseProcNetTcp(ReadWholeFile(tcpPath))); });
  const std::string snmpPath = sources.procNetSnmp;
  const auto tcpCounter = [snmpPath](const char* field) {
    return [snmpPath, field] {
      const auto values = ParseProcNetSnmpTcp(ReadWholeFile(snmpPath));
      const auto it = values.find(field);
      return Counter(it != values.end() ? it->second : 0);
    };
  };
  view->AddScalar(kTcpInErrs, tcpCounter("InErrs"));
  view->AddScalar(kTcpOutRsts, tcpCounter("OutRsts"));
  view->AddTable(
      kIfXEntry, kIfXColumns, [links] { return IfXTableRows(*links); }, linkSnapshot,
      [links](std::vector<TableRow>& rows) { return UpdateIfXTableRows(rows, *links); });
  view->AddTable(
      kIfStackEntry, std::vector<uint32_t>{kIfStackStatus},
      [links] { return IfStackTableRows(*links); }, linkSnapshot,
      [](std::vector<TableRow>&) { return true; });  // no counters in it
  AddInetTables(*view, std::move(sources.inet));
  view->AddScalar(
      kReadingTime, [readAt] { return MibValue::Counter64(*readAt); }, linkSnapshot, false);
  return view;
}

}  // namespace velmar::agent
