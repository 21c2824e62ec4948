// The real agent library against the kernel of this machine.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "interfaces/interface_table.h"
#include "platform/dynamic_library.h"
#include "platform/snmp_abi.h"

namespace velmar {
namespace {

const QString kAgent = QStringLiteral(VELMAR_BIN_DIR "/libmib2.so");

QString SysFile(const QString& name, const char* file) {
  QFile f(QStringLiteral("/sys/class/net/%1/%2").arg(name, QString::fromLatin1(file)));
  return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).trimmed() : QString();
}

// A loopback TCP connection: a listener, a client and the accepted end.
struct LoopbackPair {
  int listener = -1, client = -1, server = -1;
  uint16_t port = 0, clientPort = 0;

  LoopbackPair() {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(listen(listener, 4), 0);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    client = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    server = accept(listener, nullptr, nullptr);
    sockaddr_in c{};
    len = sizeof c;
    getsockname(client, reinterpret_cast<sockaddr*>(&c), &len);
    clientPort = ntohs(c.sin_port);
  }
  ~LoopbackPair() {
    for (int fd : {listener, client, server}) {
      if (fd >= 0)
        close(fd);
    }
  }
};

struct ProcTcpRow {
  uint32_t local, remote;  // as the kernel prints them
  unsigned localPort, remotePort, state;
};

std::vector<ProcTcpRow> ReadProcTcp() {
  std::vector<ProcTcpRow> rows;
  std::ifstream in("/proc/net/tcp");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    ProcTcpRow r{};
    if (std::sscanf(line.c_str(), " %*d: %8x:%4x %8x:%4x %2x", &r.local, &r.localPort, &r.remote,
                    &r.remotePort, &r.state) == 5) {
      rows.push_back(r);
    }
  }
  return rows;
}

MibRow::Address AddressOf(uint32_t kernelWord) {
  MibRow::Address a;
  std::memcpy(a.data(), &kernelWord, 4);
  return a;
}

TEST(RealAgentTest, InterfaceRowsAgreeWithTheKernel) {
  InterfaceTable table(nullptr, kAgent);
  const uint64_t before = table.AgentCalls();
  table.Refresh(InterfaceTable::kInterfaces);
  const int n = table.Count();
  // One GET of the marks of change and the forwarding switches, then one
  // call per object: ifTable (ifSpecific ends it), the five ifXTable
  // columns read (one jump over ifHighSpeed, one answer past the last),
  // and every ifStackTable row from layer 1 on: one per relation, one per
  // interface with nothing below it, then the end of the view. A machine
  // that forwards has its default routes read: one GET, and one GETNEXT
  // per address family.
  std::set<int32_t> stacked;
  for (const StackLayer& layer : table.Stack()) {
    stacked.insert(layer.higher);
  }
  const uint64_t stackRows = table.Stack().size() + n - stacked.size();
  EXPECT_EQ(table.AgentCalls() - before,
            1u + 1u + 21u * n + (5u * n + 2u) + stackRows + 1u + (table.Forwarding() ? 3u : 0u));

  QStringList kernelNames = QDir(QStringLiteral("/sys/class/net"))
                                .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
  QStringList names;
  int lastIndex = 0;
  for (int i = 0; i < n; ++i) {
    const MibRow& row = table.Items(i);
    names << row.IfDescr;
    EXPECT_GT(row.IfIndex, lastIndex) << "rows in ifIndex order";
    lastIndex = row.IfIndex;
    EXPECT_EQ(QString::number(row.IfIndex), SysFile(row.IfDescr, "ifindex"))
        << row.IfDescr.toStdString();
    EXPECT_EQ(QString::number(row.IfMtu), SysFile(row.IfDescr, "mtu")) << row.IfDescr.toStdString();
    const QStringList mac = SysFile(row.IfDescr, "address").split(':');
    if (mac.size() >= 4) {
      for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(row.IfPhysAddress[k], mac[k].toUInt(nullptr, 16)) << row.IfDescr.toStdString();
      }
    }
    if (row.IfDescr == "lo") {
      EXPECT_EQ(row.IfIndex, 1);
      EXPECT_EQ(row.IfType, 24);
    }
    // The 64-bit counters come from the same read as the 32-bit ones.
    EXPECT_TRUE(row.HasHCOctets());
    EXPECT_EQ(static_cast<uint32_t>(row.IfHCInOctets), row.IfInOctets);
    EXPECT_EQ(static_cast<uint32_t>(row.IfHCOutOctets), row.IfOutOctets);
    EXPECT_GE(SysFile(row.IfDescr, "statistics/rx_bytes").toULongLong(), row.IfHCInOctets);
    const bool device = QFile::exists(QStringLiteral("/sys/class/net/%1/device").arg(row.IfDescr));
    EXPECT_EQ(row.IfConnectorPresent, device ? 1 : 2) << row.IfDescr.toStdString();
  }
  // The stack shows what the kernel's lower_* links show (veth peers are
  // not layers).
  std::vector<StackLayer> kernelStack;
  for (int i = 0; i < n; ++i) {
    const QString name = table.Items(i).IfDescr;
    for (const QString& entry :
         QDir(QStringLiteral("/sys/class/net/") + name)
             .entryList({QStringLiteral("lower_*")}, QDir::System | QDir::AllEntries)) {
      kernelStack.push_back({table.Items(i).IfIndex, SysFile(entry.mid(6), "ifindex").toInt()});
    }
  }
  std::vector<StackLayer> agentStack = table.Stack();
  const auto order = [](const StackLayer& a, const StackLayer& b) {
    return std::tie(a.higher, a.lower) < std::tie(b.higher, b.lower);
  };
  std::sort(kernelStack.begin(), kernelStack.end(), order);
  std::sort(agentStack.begin(), agentStack.end(), order);
  EXPECT_EQ(agentStack, kernelStack);
  kernelNames.sort();
  names.sort();
  EXPECT_EQ(names, kernelNames);
}

TEST(RealAgentTest, TcpRowsShowAKnownListenerAndConnectionInIndexOrder) {
  LoopbackPair pair;
  InterfaceTable table(nullptr, kAgent);
  const uint64_t before = table.AgentCalls();
  table.Refresh(InterfaceTable::kTcpConnections);
  EXPECT_EQ(table.AgentCalls() - before, 1u + 5u * table.Count());

  const MibRow::Address loopback{127, 0, 0, 1};
  bool listener = false, clientSide = false, serverSide = false;
  for (int i = 0; i < table.Count(); ++i) {
    const MibRow& r = table.Items(i);
    if (r.LocalAddress == loopback && r.LocalPort == pair.port && r.State == 2) {
      listener = true;
      EXPECT_EQ(r.RemotePortShown(), 0);
      EXPECT_EQ(r.StateText(), "LISTEN");
    }
    if (r.LocalPort == pair.clientPort && r.RemotePort == pair.port) {
      clientSide = r.State == 5;
    }
    if (r.LocalPort == pair.port && r.RemotePort == pair.clientPort) {
      serverSide = r.State == 5;
      EXPECT_EQ(r.RemoteAddressText(), "127.0.0.1");
    }
    if (i > 0) {
      const MibRow& p = table.Items(i - 1);
      const auto key = [](const MibRow& x) {
        return std::make_tuple(x.LocalAddress, x.LocalPort, x.RemoteAddress, x.RemotePort);
      };
      EXPECT_LT(key(p), key(r)) << "rows in index order, each index once";
    }
  }
  EXPECT_TRUE(listener);
  EXPECT_TRUE(clientSide);
  EXPECT_TRUE(serverSide);

  // Every listening IPv4 socket of the kernel is in the table.
  for (const ProcTcpRow& k : ReadProcTcp()) {
    if (k.state != 0x0A) {
      continue;
    }
    bool found = false;
    for (int i = 0; i < table.Count() && !found; ++i) {
      const MibRow& r = table.Items(i);
      found = r.State == 2 && r.LocalAddress == AddressOf(k.local) &&
              r.LocalPort == static_cast<int32_t>(k.localPort);
    }
    EXPECT_TRUE(found) << "listener on port " << k.localPort;
  }
}

TEST(RealAgentTest, RouteRowsAgreeWithTheKernelRouteTable) {
  InterfaceTable table(nullptr, kAgent);
  table.Refresh(InterfaceTable::kRoutes);
  EXPECT_EQ(table.Count() >= 0, true);

  std::map<MibRow::Address, std::pair<int, int>> kernel;  // dest -> (metric, ifindex)
  std::ifstream in("/proc/net/route");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    char iface[64];
    unsigned dest = 0, gateway = 0, flags = 0, refcnt = 0, use = 0;
    int metric = 0;
    if (std::sscanf(line.c_str(), "%63s %x %x %x %u %u %d", iface, &dest, &gateway, &flags, &refcnt,
                    &use, &metric) != 7 ||
        !(flags & 1)) {
      continue;
    }
    const auto d = AddressOf(dest);
    const int index = static_cast<int>(if_nametoindex(iface));
    if (!kernel.count(d) || metric < kernel[d].first) {
      kernel[d] = {metric, index};
    }
  }
  ASSERT_EQ(table.Count(), static_cast<int>(kernel.size()));
  for (int i = 0; i < table.Count(); ++i) {
    const MibRow& r = table.Items(i);
    ASSERT_TRUE(kernel.count(r.RouteDest)) << r.RouteDestText().toStdString();
    EXPECT_EQ(r.RouteIfIndex, kernel[r.RouteDest].second);
    if (i > 0) {
      EXPECT_LT(table.Items(i - 1).RouteDest, r.RouteDest);
    }
  }
}

TEST(RealAgentTest, BytesSentOverTheLoopbackGrowItsCounters) {
  LoopbackPair pair;
  InterfaceTable table(nullptr, kAgent);
  const auto loCounters = [&] {
    table.Refresh(InterfaceTable::kInterfaces);
    for (int i = 0; i < table.Count(); ++i) {
      if (table.Items(i).IfIndex == 1) {
        return std::make_pair(table.Items(i).IfInOctets, table.Items(i).IfOutOctets);
      }
    }
    ADD_FAILURE() << "no loopback row";
    return std::make_pair(0u, 0u);
  };
  const auto [in0, out0] = loCounters();

  const size_t total = 1 << 20;
  std::vector<char> chunk(65536, 'v');
  size_t sent = 0, received = 0;
  while (received < total) {
    if (sent < total) {
      const ssize_t n = send(pair.client, chunk.data(), std::min(chunk.size(), total - sent), 0);
      ASSERT_GT(n, 0);
      sent += static_cast<size_t>(n);
    }
    const ssize_t r = recv(pair.server, chunk.data(), chunk.size(), 0);
    ASSERT_GT(r, 0);
    received += static_cast<size_t>(r);
  }

  const auto [in1, out1] = loCounters();
  EXPECT_GE(static_cast<uint32_t>(in1 - in0), total);
  EXPECT_GE(static_cast<uint32_t>(out1 - out0), total);
}

TEST(RealAgentTest, TheViewEndsWithNullAndRefusesOtherRequests) {
  DynamicLibrary lib;
  ASSERT_TRUE(lib.Load(kAgent.toStdString()));
  auto init = reinterpret_cast<PFNSNMPEXTENSIONINIT>(lib.Symbol(SNMP_EXTENSION_INIT_NAME));
  auto query = reinterpret_cast<PFNSNMPEXTENSIONQUERY>(lib.Symbol(SNMP_EXTENSION_QUERY_NAME));
  ASSERT_TRUE(init && query);
  ASSERT_TRUE(init(0, nullptr, nullptr));

  // The last object served: the name of the process of the highest id in
  // the agent's own subtree.
  uint32_t last[] = {1, 3, 6, 1, 4, 1, 32473, 1, 1, 1, 2, 4294967295u, 4294967295u};
  SnmpVarBind b{};
  b.name = {13, last};
  SnmpVarBindList list{&b, 1};
  int32_t status = -1, index = -1;
  ASSERT_TRUE(query(SNMP_PDU_GETNEXT, &list, &status, &index));
  EXPECT_EQ(b.value.asnType, ASN_NULL);
  EXPECT_EQ(status, 0);

  // The objects after the interface and TCP tables, which walks step onto.
  uint32_t ifOutQLenEnd[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 21, 4294967295u};
  b.name = {11, ifOutQLenEnd};
  ASSERT_TRUE(query(SNMP_PDU_GETNEXT, &list, &status, &index));
  ASSERT_GE(b.name.idLength, 10u);
  EXPECT_EQ(b.name.ids[9], 22u) << "ifSpecific follows ifOutQLen";
  EXPECT_EQ(b.value.asnType, ASN_OBJECTIDENTIFIER);

  uint32_t tcpEnd[] = {1, 3, 6, 1, 2, 1, 6, 13, 1, 6};
  b.name = {10, tcpEnd};
  ASSERT_TRUE(query(SNMP_PDU_GETNEXT, &list, &status, &index));
  EXPECT_EQ(b.value.asnType, ASN_COUNTER32) << "tcpInErrs follows the TCP table";

  // tcpOutRsts is followed by the address-family-neutral TCP and UDP
  // tables, and those by the ifXTable, whose ifHCInOctets are Counter64.
  uint32_t tcpOutRsts[] = {1, 3, 6, 1, 2, 1, 6, 15, 0};
  b.name = {9, tcpOutRsts};
  ASSERT_TRUE(query(SNMP_PDU_GETNEXT, &list, &status, &index));
  ASSERT_GE(b.name.idLength, 10u);
  EXPECT_TRUE(b.name.ids[6] == 7 || (b.name.ids[6] == 6 && b.name.ids[7] >= 19))
      << "tcpConnectionTable, tcpListenerTable or udpEndpointTable";
  uint32_t udpEnd[] = {1, 3, 6, 1, 2, 1, 7, 7, 1, 8, 4294967295u};
  b.name = {11, udpEnd};
  ASSERT_TRUE(query(SNMP_PDU_GETNEXT, &list, &status, &index));
  ASSERT_EQ(b.name.idLength, 12u);
  EXPECT_EQ(b.name.ids[10], 1u) << "ifName";
  EXPECT_EQ(b.value.asnType, ASN_OCTETSTRING);
  uint32_t ifName[] = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1, 4294967295u};
  b.name = {12, ifName};
  ASSERT_TRUE(query(SNMP_PDU_GETNEXT, &list, &status, &index));
  ASSERT_EQ(b.name.idLength, 12u);
  EXPECT_EQ(b.name.ids[10], 6u) << "ifHCInOctets";
  EXPECT_EQ(b.value.asnType, ASN_COUNTER64);

  // GET answers the object named, NULL for a name it has no object for,
  // and the reading time, which walks never meet.
  uint32_t ifNumber[] = {1, 3, 6, 1, 2, 1, 2, 1, 0};
  uint32_t readingTime[] = VELMAR_READING_TIME_OID;
  SnmpVarBind gets[3]{};
  gets[0].name = {9, ifNumber};
  gets[1].name = {13, last};
  gets[2].name = {VELMAR_READING_TIME_OID_LENGTH, readingTime};
  SnmpVarBindList getList{gets, 3};
  ASSERT_TRUE(query(SNMP_PDU_GET, &getList, &status, &index));
  EXPECT_EQ(gets[0].value.asnType, ASN_INTEGER);
  EXPECT_EQ(gets[0].value.asnValue.number,
            static_cast<int32_t>(QDir(QStringLiteral("/sys/class/net"))
                                     .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)
                                     .size()));
  EXPECT_EQ(gets[0].name.ids, ifNumber) << "a GET keeps the caller's names";
  EXPECT_EQ(gets[1].value.asnType, ASN_NULL);
  EXPECT_EQ(gets[2].value.asnType, ASN_COUNTER64);
  const uint64_t firstReading = gets[2].value.asnValue.counter64;
  ASSERT_TRUE(query(SNMP_PDU_GET, &getList, &status, &index));
  EXPECT_GT(gets[2].value.asnValue.counter64, firstReading) << "each GET reads the kernel anew";

  b.name = {13, last};
  EXPECT_FALSE(query(0xA2, &list, &status, &index));  // a response PDU is no request
  EXPECT_NE(status, 0);
  EXPECT_EQ(status, 5) << "genErr";
  // A caller may leave the error outputs out.
  EXPECT_FALSE(query(0xA2, &list, nullptr, nullptr));
  EXPECT_TRUE(query(SNMP_PDU_GETNEXT, &list, nullptr, nullptr));
}

}  // namespace
}  // namespace velmar
