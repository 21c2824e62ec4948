#include "netstat/net_stat_tables.h"

#include <algorithm>
#include <bit>
#include <tuple>

#include "interfaces/interface_name.h"
#include "interfaces/interface_table.h"
#include "platform/mib_objects.h"

namespace velmar {

namespace {

using Index = std::vector<uint32_t>;

// The entries walked, and the IPv4 ones of MIB-II a device may have alone.
using mib::kInetCidrRouteEntry;
using mib::kIpAddrEntry;
using mib::kIpAddressEntry;
using mib::kIpAddressPrefixEntry;
using mib::kIpNetToMediaEntry;
using mib::kIpNetToPhysicalEntry;
using mib::kIpRouteEntry;
using mib::kTcpConnectionEntry;
using mib::kTcpConnEntry;
using mib::kTcpListenerEntry;
using mib::kUdpEndpointEntry;
using mib::kUdpEntry;
const Index& kProcessName = mib::kVelmarProcessName;
using mib::kIfAlias;
using mib::kIfName;

// One value as the agent gave it, kept past the next query.
struct Cell {
  uint8_t type = ASN_NULL;
  int64_t number = 0;
  QByteArray bytes;
  Index object;

  // A value of another type than asked for reads as 0 or empty.
  int32_t Integer() const { return type == ASN_INTEGER ? static_cast<int32_t>(number) : 0; }
  uint32_t Unsigned() const {
    return type == ASN_GAUGE32 || type == ASN_COUNTER32 || type == ASN_TIMETICKS
               ? static_cast<uint32_t>(number)
               : 0;
  }
  QByteArray Octets() const {
    return type == ASN_OCTETSTRING || type == ASN_IPADDRESS ? bytes : QByteArray();
  }
};

Cell CellOf(const AsnAny& v) {
  Cell c;
  c.type = v.asnType;
  switch (v.asnType) {
    case ASN_INTEGER:
      c.number = v.asnValue.number;
      break;
    case ASN_COUNTER64:
      c.number = static_cast<int64_t>(v.asnValue.counter64);
      break;
    case ASN_OCTETSTRING:
    case ASN_IPADDRESS:
      if (v.asnValue.string.stream != nullptr) {
        c.bytes = QByteArray(reinterpret_cast<const char*>(v.asnValue.string.stream),
                             static_cast<qsizetype>(v.asnValue.string.length));
      }
      break;
    case ASN_OBJECTIDENTIFIER:
      if (v.asnValue.object.ids != nullptr) {
        c.object.assign(v.asnValue.object.ids, v.asnValue.object.ids + v.asnValue.object.idLength);
      }
      break;
    default:
      c.number = v.asnValue.unsigned32;
      break;
  }
  return c;
}

// A table's rows by index, each with its cells by column; in index order.
using Rows = std::map<Index, std::map<uint32_t, Cell>>;

Rows WalkEntry(InterfaceTable& table, const Index& entry) {
  Rows rows;
  table.WalkSubtree(entry, [&](const uint32_t* name, uint32_t length, const AsnAny& value) {
    if (length >= entry.size() + 2) {
      rows[Index(name + entry.size() + 1, name + length)][name[entry.size()]] = CellOf(value);
    }
  });
  return rows;
}

Cell CellAt(const std::map<uint32_t, Cell>& cells, uint32_t column) {
  const auto it = cells.find(column);
  return it != cells.end() ? it->second : Cell{};
}

bool Endpoint(const Index& index, uint32_t& at, InetAddress& address, uint32_t& port) {
  uint32_t next = at;
  if (!InetAddress::FromIndex(index.data(), static_cast<uint32_t>(index.size()), next, address) ||
      next >= index.size() || index[next] > 65535) {
    return false;
  }
  port = index[next];
  at = next + 1;
  return true;
}

// An IPv4 address of four sub-identifiers at `at`, as the MIB-II tables
// index by them.
bool Ipv4At(const Index& index, uint32_t at, InetAddress& out) {
  if (at + 4 > index.size() ||
      std::any_of(index.begin() + at, index.begin() + at + 4, [](uint32_t v) { return v > 255; })) {
    return false;
  }
  const uint8_t octets[4] = {static_cast<uint8_t>(index[at]), static_cast<uint8_t>(index[at + 1]),
                             static_cast<uint8_t>(index[at + 2]),
                             static_cast<uint8_t>(index[at + 3])};
  out = InetAddress::Ipv4(octets);
  return true;
}

InetAddress Ipv4Of(const QByteArray& octets) {
  return octets.size() == 4 ? InetAddress::Ipv4(reinterpret_cast<const uint8_t*>(octets.data()))
                            : InetAddress::Ipv4(reinterpret_cast<const uint8_t*>("\0\0\0\0"));
}

int32_t MaskLength(const QByteArray& mask) {
  int bits = 0;
  for (const char c : mask) {
    bits += std::popcount(static_cast<uint8_t>(c));
  }
  return bits;
}

bool SocketOrder(const SocketRow& a, const SocketRow& b) {
  return std::tie(a.local, a.localPort, a.remote, a.remotePort) <
         std::tie(b.local, b.localPort, b.remote, b.remotePort);
}

std::vector<SocketRow> TcpConnRows(InterfaceTable& table) {
  std::vector<SocketRow> rows;
  for (const auto& [index, cells] : WalkEntry(table, kTcpConnEntry)) {
    SocketRow row;
    if (index.size() == 10 && Ipv4At(index, 0, row.local) && Ipv4At(index, 5, row.remote) &&
        index[4] <= 65535 && index[9] <= 65535) {
      row.localPort = index[4];
      row.remotePort = index[9];
      row.state = CellAt(cells, 1).Integer();
      rows.push_back(row);
    }
  }
  return rows;
}

std::vector<SocketRow> UdpTableRows(InterfaceTable& table) {
  std::vector<SocketRow> rows;
  for (const auto& [index, cells] : WalkEntry(table, kUdpEntry)) {
    SocketRow row;
    if (index.size() == 5 && Ipv4At(index, 0, row.local) && index[4] <= 65535) {
      row.localPort = index[4];
      row.remote = row.local.Unspecified();
      rows.push_back(row);
    }
  }
  return rows;
}

std::vector<RouteRow> IpRouteRows(InterfaceTable& table) {
  std::vector<RouteRow> rows;
  for (const auto& [index, cells] : WalkEntry(table, kIpRouteEntry)) {
    RouteRow row;
    // ipRouteType: other(1), invalid(2), direct(3), indirect(4); an
    // invalidated route is no route.
    const int32_t type = CellAt(cells, 8).Integer();
    if (index.size() != 4 || !Ipv4At(index, 0, row.destination) || type == 2) {
      continue;
    }
    row.prefixLength = static_cast<uint32_t>(MaskLength(CellAt(cells, 11).Octets()));
    row.nextHop = Ipv4Of(CellAt(cells, 7).Octets());
    row.ifIndex = CellAt(cells, 2).Integer();
    row.type = type == 3 ? 3 : type == 4 ? 4 : 1;
    row.protocol = CellAt(cells, 9).Integer();
    row.metric = CellAt(cells, 3).Integer();
    rows.push_back(row);
  }
  return rows;
}

std::vector<NeighbourRow> IpNetToMediaRows(InterfaceTable& table) {
  std::vector<NeighbourRow> rows;
  for (const auto& [index, cells] : WalkEntry(table, kIpNetToMediaEntry)) {
    NeighbourRow row;
    if (index.size() == 5 && index[0] <= INT32_MAX && Ipv4At(index, 1, row.address)) {
      row.ifIndex = static_cast<int32_t>(index[0]);
      row.physical = CellAt(cells, 2).Octets();
      row.type = CellAt(cells, 4).Integer();
      rows.push_back(row);
    }
  }
  return rows;
}

std::vector<AddressRow> IpAddrRows(InterfaceTable& table) {
  std::vector<AddressRow> rows;
  for (const auto& [index, cells] : WalkEntry(table, kIpAddrEntry)) {
    AddressRow row;
    if (index.size() == 4 && Ipv4At(index, 0, row.address)) {
      row.ifIndex = CellAt(cells, 2).Integer();
      const QByteArray mask = CellAt(cells, 3).Octets();
      row.prefixLength = mask.size() == 4 ? MaskLength(mask) : -1;
      rows.push_back(row);
    }
  }
  return rows;
}

// The length an ipAddressPrefix names: the last sub-identifier of a row of
// ipAddressPrefixTable; -1 for zeroDotZero or anything else.
int32_t PrefixLengthOf(const Index& prefix) {
  if (prefix.size() <= kIpAddressPrefixEntry.size() + 1 ||
      !std::equal(kIpAddressPrefixEntry.begin(), kIpAddressPrefixEntry.end(), prefix.begin()) ||
      prefix.back() > 128) {
    return -1;
  }
  return static_cast<int32_t>(prefix.back());
}

}  // namespace

std::vector<SocketRow> NetStatTables::TcpRows() {
  std::vector<SocketRow> rows;
  for (const auto& [index, cells] : WalkEntry(table_, kTcpConnectionEntry)) {
    SocketRow row;
    uint32_t at = 0;
    if (Endpoint(index, at, row.local, row.localPort) &&
        Endpoint(index, at, row.remote, row.remotePort) && at == index.size()) {
      row.state = CellAt(cells, 7).Integer();
      row.pid = CellAt(cells, 8).Unsigned();
      rows.push_back(row);
    }
  }
  for (const auto& [index, cells] : WalkEntry(table_, kTcpListenerEntry)) {
    SocketRow row;
    uint32_t at = 0;
    if (Endpoint(index, at, row.local, row.localPort) && at == index.size()) {
      row.remote = row.local.Unspecified();
      row.state = 2;  // listen
      row.pid = CellAt(cells, 4).Unsigned();
      rows.push_back(row);
    }
  }
  if (rows.empty()) {
    return TcpConnRows(table_);
  }
  std::stable_sort(rows.begin(), rows.end(), SocketOrder);
  return rows;
}

std::vector<SocketRow> NetStatTables::UdpRows() {
  std::vector<SocketRow> rows;
  for (const auto& [index, cells] : WalkEntry(table_, kUdpEndpointEntry)) {
    SocketRow row;
    uint32_t at = 0;
    // The last sub-identifier is udpEndpointInstance.
    if (Endpoint(index, at, row.local, row.localPort) &&
        Endpoint(index, at, row.remote, row.remotePort) && at + 1 == index.size()) {
      row.pid = CellAt(cells, 8).Unsigned();
      rows.push_back(row);
    }
  }
  return rows.empty() ? UdpTableRows(table_) : rows;
}

std::vector<RouteRow> NetStatTables::Routes() {
  std::vector<RouteRow> rows;
  for (const auto& [index, cells] : WalkEntry(table_, kInetCidrRouteEntry)) {
    RouteRow row;
    uint32_t at = 0;
    const auto size = static_cast<uint32_t>(index.size());
    if (!InetAddress::FromIndex(index.data(), size, at, row.destination) || at + 1 >= size ||
        index[at + 1] > size) {
      continue;
    }
    row.prefixLength = index[at];
    at += 2 + index[at + 1];  // past the prefix length and the policy
    if (at > size || !InetAddress::FromIndex(index.data(), size, at, row.nextHop) || at != size) {
      continue;
    }
    row.ifIndex = CellAt(cells, 7).Integer();
    row.type = CellAt(cells, 8).Integer();
    row.protocol = CellAt(cells, 9).Integer();
    row.metric = CellAt(cells, 12).Integer();
    rows.push_back(row);
  }
  return rows.empty() ? IpRouteRows(table_) : rows;
}

std::vector<NeighbourRow> NetStatTables::Neighbours() {
  std::vector<NeighbourRow> rows;
  for (const auto& [index, cells] : WalkEntry(table_, kIpNetToPhysicalEntry)) {
    NeighbourRow row;
    uint32_t at = 1;
    if (!index.empty() && index[0] <= INT32_MAX &&
        InetAddress::FromIndex(index.data(), static_cast<uint32_t>(index.size()), at,
                               row.address) &&
        at == index.size()) {
      row.ifIndex = static_cast<int32_t>(index[0]);
      row.physical = CellAt(cells, 4).Octets();
      row.type = CellAt(cells, 6).Integer();
      row.state = CellAt(cells, 7).Integer();
      rows.push_back(row);
    }
  }
  return rows.empty() ? IpNetToMediaRows(table_) : rows;
}

std::vector<AddressRow> NetStatTables::Addresses() {
  std::vector<AddressRow> rows;
  for (const auto& [index, cells] : WalkEntry(table_, kIpAddressEntry)) {
    AddressRow row;
    uint32_t at = 0;
    if (InetAddress::FromIndex(index.data(), static_cast<uint32_t>(index.size()), at,
                               row.address) &&
        at == index.size()) {
      row.ifIndex = CellAt(cells, 3).Integer();
      row.prefixLength = PrefixLengthOf(CellAt(cells, 5).object);
      row.origin = CellAt(cells, 6).Integer();
      row.status = CellAt(cells, 7).Integer();
      rows.push_back(row);
    }
  }
  return rows.empty() ? IpAddrRows(table_) : rows;
}

std::map<uint32_t, QString> NetStatTables::ProcessNames() {
  std::map<uint32_t, QString> names;
  table_.WalkSubtree(kProcessName, [&](const uint32_t* name, uint32_t length, const AsnAny& v) {
    const QByteArray octets = CellOf(v).Octets();
    if (length == kProcessName.size() + 1) {
      names[name[length - 1]] =
          InterfaceNameFromOctets(octets.constData(), static_cast<size_t>(octets.size()));
    }
  });
  return names;
}

std::map<int32_t, InterfaceLabel> NetStatTables::InterfaceLabels() {
  std::map<int32_t, InterfaceLabel> labels;
  for (const Index* column : {&kIfName, &kIfAlias}) {
    table_.WalkSubtree(*column, [&](const uint32_t* name, uint32_t length, const AsnAny& v) {
      const QByteArray octets = CellOf(v).Octets();
      if (length != column->size() + 1 || name[length - 1] > INT32_MAX) {
        return;
      }
      QString& field = column == &kIfName ? labels[static_cast<int32_t>(name[length - 1])].name
                                          : labels[static_cast<int32_t>(name[length - 1])].alias;
      field = InterfaceNameFromOctets(octets.constData(), static_cast<size_t>(octets.size()));
    });
  }
  return labels;
}

}  // namespace velmar
