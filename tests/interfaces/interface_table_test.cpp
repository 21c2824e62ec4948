#include "interfaces/interface_table.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "support/fake_agent_control.h"
#include "support/raised.h"

namespace velmar {
namespace {

using test::FakeAgent;
using test::FakeInterface;

using test::MessageOf;

TEST(InterfaceTableTest, ConstructionFailuresCarryTheirMessages) {
  EXPECT_EQ(MessageOf<TableError>(
                [] { InterfaceTable t(nullptr, QStringLiteral("/nonexistent/libmib2.so")); }),
            "SNMP extension agent library is not available.");
  EXPECT_EQ(MessageOf<TableError>([] { InterfaceTable t(nullptr, test::FakeAgentNoQueryPath()); }),
            "SNMP extension agent library is not available.");

  FakeAgent agent;
  agent.SetInitResult(0);
  EXPECT_EQ(MessageOf<TableError>([] { InterfaceTable t(nullptr, test::FakeAgentPath()); }),
            "Error initializing SNMP extension agent.");
  EXPECT_EQ(agent.InitCount(), 1u);

  agent.SetInitResult(1);
  InterfaceTable ok(nullptr, test::FakeAgentPath());
  EXPECT_TRUE(ok.SocketsStarted());
  EXPECT_FALSE(ok.Busy());
  EXPECT_EQ(ok.Count(), 0);
}

TEST(InterfaceTableTest, InterfaceWalkFillsEveryKeptColumnInOrder) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  FakeInterface lo{1, "lo", 111, 222, 24, 65536, 10000000, std::string(6, '\0')};
  FakeInterface eth{2, "eth0", 4294967295u, 2147483648u};
  agent.InterfaceTable({lo, eth});

  table.Refresh(InterfaceTable::kInterfaces);

  ASSERT_EQ(table.Count(), 2);
  // The first call asked whether the agent answers GET (it does not); one
  // more finds where the ifXTable would be: the end of the view.
  EXPECT_EQ(agent.QueryCount(), 1u + 1u + 21u * 2u + 1u);
  EXPECT_EQ(agent.Pending(), 0u);
  const MibRow& r0 = table.Items(0);
  const MibRow& r1 = table.Items(1);
  EXPECT_FALSE(r1.HasHCOctets());
  EXPECT_EQ(r1.IfConnectorPresent, 0);
  EXPECT_TRUE(table.Stack().empty());
  EXPECT_EQ(r0.IfIndex, 1);
  EXPECT_EQ(r0.IfDescr, "lo");
  EXPECT_EQ(r0.IfType, 24);
  EXPECT_EQ(r0.IfMtu, 65536);
  EXPECT_EQ(r0.IfSpeed, 10000000u);
  EXPECT_EQ(r0.IfInOctets, 111u);
  EXPECT_EQ(r0.IfOutOctets, 222u);
  EXPECT_EQ(r1.IfIndex, 2);
  EXPECT_EQ(r1.IfDescr, "eth0");
  EXPECT_EQ(r1.IfPhysAddress, (MibRow::Address{0x02, 0xfc, 0x00, 0x00}));
  EXPECT_EQ(r1.IfInOctets, 4294967295u);
  EXPECT_EQ(r1.IfOutOctets, 2147483648u);
  // Columns 11..21 carry 1000 * column + index in the script: each value
  // must land in its own field, so a shifted column shows at once.
  EXPECT_EQ(r1.IfInUcastPkts, 11002u);
  EXPECT_EQ(r1.IfInNUcastPkts, 12002u);
  EXPECT_EQ(r1.IfInDiscards, 13002u);
  EXPECT_EQ(r1.IfInErrors, 14002u);
  EXPECT_EQ(r1.IfInUnknownProtos, 15002u);
  EXPECT_EQ(r1.IfOutUcastPkts, 17002u);
  EXPECT_EQ(r1.IfOutNUcastPkts, 18002u);
  EXPECT_EQ(r1.IfOutDiscards, 19002u);
  EXPECT_EQ(r1.IfOutErrors, 20002u);
  EXPECT_EQ(r1.IfOutQLen, 21002u);
  // Only the interface group is filled.
  EXPECT_EQ(r1.State, 2);
  EXPECT_EQ(r1.RouteIfIndex, 0);
}

TEST(InterfaceTableTest, InterfaceWalkReadsTheLayersTheAgentOffers) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  FakeInterface lo{1, "lo"};
  lo.hc = true;
  lo.hcIn = 5;
  lo.hcOut = 6;
  lo.connector = 2;
  FakeInterface eth{2, "eth0", 10, 20};
  eth.hc = true;
  eth.hcIn = 0x100000000ull + 10;
  eth.hcOut = 0xFFFFFFFFFFFFFFFFull;
  eth.connector = 1;
  FakeInterface br{3, "br0"};  // no 64-bit counters, no connector reported
  agent.Interfaces({lo, eth, br}, {{3, 1}, {3, 2}});
  table.Refresh(InterfaceTable::kInterfaces);
  EXPECT_EQ(agent.Pending(), 0u);
  EXPECT_EQ(agent.QueryCount(), 1u + 1u + 21u * 3u + 2u + 2u + 2u + 2u + 1u);
  ASSERT_EQ(table.Count(), 3);
  EXPECT_TRUE(table.Items(1).HasHCOctets());
  EXPECT_EQ(table.Items(1).IfHCInOctets, 0x100000000ull + 10);
  EXPECT_EQ(table.Items(1).IfHCOutOctets, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(table.Items(1).IfConnectorPresent, 1);
  EXPECT_EQ(table.Items(0).IfConnectorPresent, 2);
  EXPECT_FALSE(table.Items(2).HasHCOctets());
  EXPECT_EQ(table.Items(2).IfConnectorPresent, 0);
  EXPECT_EQ(table.Stack(), (std::vector<StackLayer>{{3, 1}, {3, 2}}));

  // An agent with more ifXTable columns (7, 8, ...) than the walk reads, a
  // malformed index, rows of layer 0, an inactive row, a row for an unknown
  // interface and values of the wrong type: the walk jumps over the columns
  // it does not read and keeps only what fits.
  const auto ifx = [](std::vector<uint32_t> tail) {
    std::vector<uint32_t> name{1, 3, 6, 1, 2, 1, 31, 1, 1, 1};
    name.insert(name.end(), tail.begin(), tail.end());
    return name;
  };
  const auto stack = [](uint32_t higher, uint32_t lower) {
    return std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 31, 1, 2, 1, 3, higher, lower};
  };
  agent.Reset();
  agent.IfTableOnly({lo, eth});
  agent.Counter64(77);
  agent.Named(ifx({6, 1}));
  agent.Counter64(88);
  agent.Named(ifx({6, 2, 0}));  // two index parts: skipped
  agent.Counter64(99);
  agent.Named(ifx({6, 9}));  // no such row
  agent.Counter(1);
  agent.Named(ifx({7, 1}));  // past column 6: the walk jumps to column 10
  agent.Counter64(55);
  agent.Named(ifx({10, 1}));
  agent.Integer(1);
  agent.Named(ifx({16, 1}));  // past column 10: jump to 17
  agent.String("x");
  agent.Named(ifx({17, 1}));  // a value of another type
  agent.Integer(1);
  agent.Named(ifx({17, 2}));
  agent.Integer(1);
  agent.Named(stack(0, 1));  // layer 0: says nothing about relations
  agent.Integer(2);
  agent.Named(stack(1, 2));  // not in service
  agent.Integer(1);
  agent.Named(stack(2, 0));  // nothing below
  agent.Integer(1);
  agent.Named(stack(2, 1));
  agent.Integer(1);
  agent.Named(stack(2, 1));  // does not move forward: the walk ends
  agent.Integer(1);
  agent.Named(stack(3, 1));
  table.Refresh(InterfaceTable::kInterfaces);
  EXPECT_EQ(agent.Pending(), 1u) << "the walk stopped at the answer that did not move";
  EXPECT_TRUE(table.Items(0).HasHCInOctets);
  EXPECT_EQ(table.Items(0).IfHCInOctets, 77u);
  EXPECT_TRUE(table.Items(0).HasHCOctets());
  EXPECT_EQ(table.Items(0).IfHCOutOctets, 55u);
  EXPECT_FALSE(table.Items(1).HasHCInOctets);
  EXPECT_EQ(table.Items(0).IfConnectorPresent, 0);
  EXPECT_EQ(table.Items(1).IfConnectorPresent, 1);
  EXPECT_EQ(table.Stack(), (std::vector<StackLayer>{{2, 1}}));

  // An agent that fails on the first ifXTable question: the ifTable rows
  // stand as read.
  agent.Reset();
  agent.IfTableOnly({eth});
  agent.Failure();
  table.Refresh(InterfaceTable::kInterfaces);
  ASSERT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Items(0).IfInOctets, 10u);
  EXPECT_FALSE(table.Items(0).HasHCInOctets);

  // An agent whose view goes on past the tables with other objects.
  agent.Reset();
  agent.IfTableOnly({eth});
  agent.Integer(1);
  agent.Named({1, 3, 6, 1, 2, 1, 31, 1, 5, 0});
  table.Refresh(InterfaceTable::kInterfaces);
  EXPECT_EQ(agent.Pending(), 0u);
  EXPECT_FALSE(table.Items(0).HasHCInOctets);
  EXPECT_TRUE(table.Stack().empty());
}

TEST(InterfaceTableTest, DescriptionsAreCutAtNulOnly) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  FakeInterface longName{2, std::string(40, 'x')};
  FakeInterface withNul{3, std::string("short\0tail", 10)};
  FakeInterface huge{4, std::string(300, 'y')};
  FakeInterface empty{5, ""};
  agent.InterfaceTable({longName, withNul, huge, empty});

  table.Refresh(InterfaceTable::kInterfaces);

  ASSERT_EQ(table.Count(), 4);
  EXPECT_EQ(table.Items(0).IfDescr, QString(40, 'x'));
  EXPECT_EQ(table.Items(1).IfDescr, "short");
  EXPECT_EQ(table.Items(2).IfDescr, QString(300, 'y'));
  EXPECT_EQ(table.Items(3).IfDescr, "");
}

TEST(InterfaceTableTest, EmptyTablesAndUnknownKindsGiveEmptyLists) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  for (uint8_t kind : {1, 2, 3}) {
    agent.Reset();
    agent.Null();
    table.Refresh(kind);
    EXPECT_EQ(table.Count(), 0) << int(kind);
    EXPECT_EQ(agent.QueryCount(), 1u) << int(kind);
  }

  // A refresh of kind 0 or 4 empties a filled list without asking the agent.
  agent.Reset();
  agent.InterfaceTable({FakeInterface{}});
  table.Refresh(2);
  ASSERT_EQ(table.Count(), 1);
  for (uint8_t kind : {0, 4}) {
    const unsigned before = agent.QueryCount();
    EXPECT_NO_THROW(table.Refresh(kind));
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(agent.QueryCount(), before);
  }
}

TEST(InterfaceTableTest, EndOfViewAndFailedQueriesLeavePartialRows) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());

  // The view ends after the MTU column, with a cell left out of ifDescr:
  // the rows are used as far as they go, each value in its own row.
  const auto cell = [&agent](uint32_t column, uint32_t index) {
    agent.Named({1, 3, 6, 1, 2, 1, 2, 2, 1, column, index});
  };
  agent.Integer(2), cell(1, 2);
  agent.Integer(3), cell(1, 3);
  agent.String("wlan0"), cell(2, 3);
  agent.Integer(6), cell(3, 2);
  agent.Integer(71), cell(3, 3);
  agent.Integer(1500), cell(4, 2);
  agent.Integer(1400), cell(4, 3);
  agent.Null();
  EXPECT_NO_THROW(table.Refresh(2));
  ASSERT_EQ(table.Count(), 2);
  EXPECT_EQ(table.Items(0).IfDescr, "");
  EXPECT_EQ(table.Items(1).IfDescr, "wlan0");
  EXPECT_EQ(table.Items(1).IfType, 71);
  EXPECT_EQ(table.Items(1).IfMtu, 1400);
  EXPECT_EQ(table.Items(1).IfSpeed, 0u);
  EXPECT_FALSE(table.Busy());

  // A query that fails part-way through the route walk.
  agent.Reset();
  agent.Ip({10, 0, 0, 0});
  agent.Ip({192, 168, 0, 1});
  agent.Integer(4);
  agent.Failure();
  EXPECT_EQ(MessageOf<TableRefreshError>([&] { table.Refresh(3); }), "SNMP query failed.");
  ASSERT_EQ(table.Count(), 2);
  EXPECT_EQ(table.Items(0).RouteIfIndex, 4);
  EXPECT_EQ(table.Items(1).RouteDestText(), "192.168.0.1");
  EXPECT_FALSE(table.Busy());

  // The route table ending right after its first column.
  agent.Reset();
  agent.Ip({127, 0, 0, 0});
  agent.Null();
  EXPECT_EQ(MessageOf<TableRefreshError>([&] { table.Refresh(3); }),
            "Unexpected end of query results encountered.");
  EXPECT_EQ(table.Count(), 1);

  // A failure on the very first query leaves nothing.
  agent.Reset();
  agent.Failure();
  EXPECT_EQ(MessageOf<TableRefreshError>([&] { table.Refresh(1); }), "SNMP query failed.");
  EXPECT_EQ(table.Count(), 0);
}

TEST(InterfaceTableTest, TcpWalkMapsStatesPortsAndAddresses) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  for (int32_t state : {0, 2, 13, 5})
    agent.Integer(state);
  for (int i = 0; i < 4; ++i)
    agent.Ip({192, 168, 0, static_cast<uint8_t>(1 + i)});
  for (int32_t port : {80, 443, 22, 5000})
    agent.Integer(port);
  for (int i = 0; i < 4; ++i)
    agent.Ip({10, 0, 0, static_cast<uint8_t>(9 + i)});
  for (int32_t port : {1111, 2222, 3333, 4444})
    agent.Integer(port);
  agent.Counter(7);  // tcpInErrs, the object after the table

  table.Refresh(InterfaceTable::kTcpConnections);

  ASSERT_EQ(table.Count(), 4);
  EXPECT_EQ(agent.QueryCount(), 1u + 1u + 5u * 4u);
  EXPECT_EQ(table.Items(0).StateText(), "UNKNOWN");
  EXPECT_EQ(table.Items(1).StateText(), "LISTEN");
  EXPECT_EQ(table.Items(2).StateText(), "UNKNOWN");
  EXPECT_EQ(table.Items(3).StateText(), "ESTABLISHED");
  EXPECT_EQ(table.Items(0).LocalAddressText(), "192.168.0.1");
  EXPECT_EQ(table.Items(3).RemoteAddressText(), "10.0.0.12");
  EXPECT_EQ(table.Items(1).LocalPort, 443);
  // A listening row shows no remote port, whatever the agent said.
  EXPECT_EQ(table.Items(1).RemotePort, 2222);
  EXPECT_EQ(table.Items(1).RemotePortShown(), 0);
  EXPECT_EQ(table.Items(3).RemotePortShown(), 4444);
  EXPECT_EQ(table.Items(0).IfIndex, 0);

  // All twelve names, and out-of-range values.
  MibRow row;
  const char* names[] = {"CLOSED",      "LISTEN",     "SYN_SENT",   "SYN_RECEIVED",
                         "ESTABLISHED", "FIN_WAIT_1", "FIN_WAIT_2", "CLOSE_WAIT",
                         "LAST_ACK",    "CLOSING",    "TIME_WAIT",  "TCB_DISCARD"};
  for (int s = 1; s <= 12; ++s) {
    row.State = s;
    EXPECT_EQ(row.StateText(), names[s - 1]);
  }
  for (int s : {-1, 0, 13, 1000}) {
    row.State = s;
    EXPECT_EQ(row.StateText(), "UNKNOWN");
  }
}

TEST(InterfaceTableTest, ValuesOfUnexpectedTypesReadAsNothing) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  const auto cell = [&agent](uint32_t column, uint32_t index) {
    agent.Named({1, 3, 6, 1, 2, 1, 2, 2, 1, column, index});
  };
  agent.Integer(2), cell(1, 2);
  agent.Integer(77), cell(1, 77);
  agent.Counter(5), cell(2, 2);   // ifDescr of row 1 as a counter
  agent.Counter(5), cell(2, 77);  // ifDescr of row 2 as a counter
  for (uint32_t column = 3; column <= 21; ++column) {
    agent.String("not a number"), cell(column, 2);
    agent.String("x"), cell(column, 77);
  }
  agent.Counter(0), cell(22, 2);
  table.Refresh(2);
  ASSERT_EQ(table.Count(), 2);
  EXPECT_EQ(table.Items(0).IfDescr, "");
  EXPECT_EQ(table.Items(0).IfInOctets, 0u);
  EXPECT_EQ(table.Items(1).IfMtu, 0);
  // "x" gives one octet of the physical address and zeros after it.
  EXPECT_EQ(table.Items(1).IfPhysAddress, (MibRow::Address{'x', 0, 0, 0}));

  // More TCP addresses than rows are read and dropped.
  agent.Reset();
  agent.Integer(5);
  agent.Ip({1, 2, 3, 4});
  agent.Ip({5, 6, 7, 8});
  agent.Integer(80);
  agent.Counter(0);
  table.Refresh(1);
  ASSERT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Items(0).LocalAddressText(), "1.2.3.4");
  EXPECT_EQ(table.Items(0).LocalPort, 80);
}

struct NestedRefresh {
  InterfaceTable* table = nullptr;
  std::string message;
  bool busyDuringWalk = false;
  bool tried = false;
};

TEST(InterfaceTableTest, BusyRefusesANestedRefreshWithoutEndingTheRunningOne) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  std::vector<bool> changes;
  QObject::connect(&table, &InterfaceTable::statusChanged, [&](InterfaceTable& sender) {
    EXPECT_EQ(&sender, &table);
    changes.push_back(sender.Busy());
  });

  NestedRefresh nested;
  nested.table = &table;
  agent.OnQuery(
      [](void* context) {
        auto* n = static_cast<NestedRefresh*>(context);
        if (n->tried) {
          return;
        }
        n->tried = true;
        n->busyDuringWalk = n->table->Busy();
        n->message = MessageOf<TableError>([&] { n->table->Refresh(2); });
        // The refused refresh must leave the running walk marked busy.
        n->busyDuringWalk = n->busyDuringWalk && n->table->Busy();
      },
      &nested);
  agent.InterfaceTable({FakeInterface{}});

  table.Refresh(2);

  EXPECT_EQ(nested.message, "Requested operation is not supported in the current state.");
  EXPECT_TRUE(nested.busyDuringWalk);
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(changes, (std::vector<bool>{true, false}));
  EXPECT_FALSE(table.Busy());
}

TEST(InterfaceTableTest, ALockHeldElsewhereFailsTheRefreshUntouched) {
  FakeAgent agent;
  InterfaceTable table(nullptr, test::FakeAgentPath());
  agent.InterfaceTable({FakeInterface{}});
  table.Refresh(2);
  ASSERT_EQ(table.Count(), 1);
  const unsigned queries = agent.QueryCount();

  std::promise<void> locked;
  std::promise<void> release;
  std::thread holder([&] {
    std::lock_guard guard(table.ListLock());
    locked.set_value();
    release.get_future().wait();
  });
  locked.get_future().wait();
  EXPECT_EQ(MessageOf<TableLockError>([&] { table.Refresh(2); }), "Connection list lock failure");
  release.set_value();
  holder.join();

  EXPECT_EQ(agent.QueryCount(), queries);
  EXPECT_EQ(table.Count(), 1) << "the rows of the last refresh stay";
  EXPECT_FALSE(table.Busy());

  // Once the lock is free again, refreshes work.
  agent.InterfaceTable({FakeInterface{}, FakeInterface{3, "eth1"}});
  table.Refresh(2);
  EXPECT_EQ(table.Count(), 2);
}

}  // namespace
}  // namespace velmar
