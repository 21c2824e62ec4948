// The side-by-side walk of several subtrees against a real snmpd on
// 127.0.0.1, with each subtree's own walk as the measure: subtrees of
// different lengths and an empty one, and an agent that shortens every
// GETBULK answer to fewer repetitions than asked. An answer cut within a
// repetition, which no agent at hand gives, is built with net-snmp's own
// varbind calls.
#include <gtest/gtest.h>
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <chrono>
#include <thread>
#include <tuple>

#include "agent/snmp_poller.h"
#include "support/snmpd_process.h"

namespace velmar::agent {
namespace {

using Names = std::vector<std::vector<uint32_t>>;
// What a walk gives of one object, short of counters that move between
// two walks.
using Cell = std::tuple<std::vector<uint32_t>, uint8_t, std::string, std::vector<uint32_t>>;

RemoteSettings Snmpd(uint16_t port) {
  RemoteSettings settings;
  settings.host = "127.0.0.1";
  settings.port = port;
  settings.community = test::SnmpdProcess::kCommunity;
  settings.timeoutMs = 500;
  return settings;
}

std::vector<Cell> Under(const std::vector<RemoteObject>& objects,
                        const std::vector<uint32_t>& root) {
  std::vector<Cell> cells;
  for (const RemoteObject& o : objects) {
    if (o.name.size() > root.size() && std::equal(root.begin(), root.end(), o.name.begin())) {
      cells.emplace_back(o.name, o.type, o.bytes, o.object);
    }
  }
  return cells;
}

TEST(SnmpPollerOnSnmpd, SubtreesSideBySideGiveWhatTheirOwnWalksGive) {
  // The system group (scalars and the sysORTable, dozens of objects), the
  // interfaces' descriptions and names (a row per interface), a column no
  // agent has and the IPv4 addresses: walks that end at different requests.
  const Names roots = {{1, 3, 6, 1, 2, 1, 1},
                       {1, 3, 6, 1, 2, 1, 2, 2, 1, 2},
                       {1, 3, 6, 1, 2, 1, 2, 2, 1, 99},
                       {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 1},
                       {1, 3, 6, 1, 2, 1, 4, 20, 1, 1}};
  // snmpd as it comes (at most 100 objects an answer), then one that
  // answers with 5 objects at most: a repetition of the five names, more
  // of the fewer names still going later.
  for (const QString& limit : {QString(), QStringLiteral("maxGetbulkResponses 5\n")}) {
    SCOPED_TRACE(limit.toStdString());
    test::SnmpdProcess snmpd;
    if (!snmpd.Start(0, limit)) {
      GTEST_SKIP() << "snmpd is not installed (scripts/setup-deps installs it)";
    }
    // snmpd takes a moment before it answers.
    for (int attempt = 0;; ++attempt) {
      SnmpPoller probe(Snmpd(snmpd.Port()));
      RemoteObject first;
      try {
        probe.Next(roots[0], first);
        break;
      } catch (const FetchError&) {
        ASSERT_LT(attempt, 40) << "snmpd does not answer";
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
      }
    }
    SnmpPoller single(Snmpd(snmpd.Port()));
    std::vector<std::vector<RemoteObject>> alone(roots.size());
    for (size_t i = 0; i < roots.size(); ++i) {
      single.FetchSubtree(roots[i], alone[i]);
    }

    SnmpPoller together(Snmpd(snmpd.Port()));
    std::vector<RemoteObject> objects;
    together.FetchColumns(roots, objects);

    ASSERT_GT(alone[0].size(), 20u);
    ASSERT_FALSE(alone[1].empty());
    EXPECT_TRUE(alone[2].empty());
    size_t total = 0;
    for (size_t i = 0; i < roots.size(); ++i) {
      EXPECT_EQ(Under(objects, roots[i]), Under(alone[i], roots[i])) << "subtree " << i;
      total += alone[i].size();
    }
    EXPECT_EQ(objects.size(), total) << "nothing outside the subtrees, nothing twice";
    // The shortened answers (5 objects at most) did cut the walk short
    // many times; snmpd as it comes needs fewer requests than the walks
    // one by one.
    if (!limit.isEmpty()) {
      EXPECT_GE(together.Requests() * 5, total);
    } else {
      EXPECT_LT(together.Requests(), single.Requests());
    }
  }
}

TEST(SnmpPollerColumns, AnAnswerCutWithinARepetitionIsTakenAsFarAsItGoes) {
  // Three columns of a table: 1 and 3 have rows 1, 2, 9; column 2 has row
  // 9 alone. Two repetitions asked; the agent cut its answer after four
  // objects, within the second repetition.
  const std::vector<uint32_t> entry = {1, 3, 6, 1, 2, 1, 2, 2, 1};
  std::vector<SubtreeWalk> walks;
  for (uint32_t column = 1; column <= 3; ++column) {
    std::vector<uint32_t> root = entry;
    root.push_back(column);
    walks.push_back({root, root, 0});
  }
  const auto answer = [&](std::vector<std::pair<uint32_t, uint32_t>> cells) {
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_RESPONSE);
    pdu->errstat = SNMP_ERR_NOERROR;
    for (const auto& [column, row] : cells) {
      std::vector<oid> name(entry.begin(), entry.end());
      name.push_back(column);
      name.push_back(row);
      const long value = static_cast<long>(column * 100 + row);
      snmp_pdu_add_variable(pdu, name.data(), name.size(), ASN_INTEGER, &value, sizeof value);
    }
    return std::unique_ptr<netsnmp_pdu, void (*)(netsnmp_pdu*)>(pdu, snmp_free_pdu);
  };
  std::vector<RemoteObject> out;
  EXPECT_EQ(TakeColumnsAnswer(*answer({{1, 1}, {2, 9}, {3, 1}, {1, 2}}), walks, "d", out), 0u);
  ASSERT_EQ(walks.size(), 3u);
  EXPECT_EQ(walks[1].cursor.back(), 9u);
  EXPECT_EQ(walks[2].cursor.back(), 1u) << "column 3 goes on from its first row";
  // Column 2 ends (its next object is column 3's); the others go on.
  EXPECT_EQ(TakeColumnsAnswer(*answer({{1, 9}, {3, 1}, {3, 2}}), walks, "d", out), 1u);
  ASSERT_EQ(walks.size(), 2u);
  EXPECT_EQ(walks[0].root.back(), 1u);
  EXPECT_EQ(walks[1].root.back(), 3u);
  // Column 1 ends in the first repetition: its object of the second is
  // past it too, and not taken.
  EXPECT_EQ(TakeColumnsAnswer(*answer({{2, 9}, {3, 9}, {2, 9}}), walks, "d", out), 1u);
  ASSERT_EQ(walks.size(), 1u);
  // An empty answer ends every walk still going.
  EXPECT_EQ(TakeColumnsAnswer(*answer({}), walks, "d", out), 1u);
  EXPECT_TRUE(walks.empty());
  std::vector<uint32_t> values;
  for (const RemoteObject& o : out) {
    EXPECT_EQ(o.number, o.name[o.name.size() - 2] * 100 + o.name.back()) << "the value of its row";
    values.push_back(static_cast<uint32_t>(o.number));
  }
  EXPECT_EQ(values, (std::vector<uint32_t>{101, 209, 301, 102, 109, 302, 309}));

  // A column that goes back is a fault, whatever the others do.
  std::vector<SubtreeWalk> again = {{entry, {1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 5}, 0}};
  EXPECT_THROW(TakeColumnsAnswer(*answer({{1, 4}}), again, "d", out), FetchError);
}

}  // namespace
}  // namespace velmar::agent
