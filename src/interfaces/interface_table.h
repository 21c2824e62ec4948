#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "interfaces/mib_row.h"
#include "interfaces/remote_source.h"
#include "interfaces/table_errors.h"
#include "platform/snmp_abi.h"
#include "platform/snmp_agent.h"
#include "platform/tick_clock.h"

namespace velmar {

// One row of the ifStackTable: interface `higher` runs over `lower`.
struct StackLayer {
  int32_t higher = 0;
  int32_t lower = 0;
  bool operator==(const StackLayer&) const = default;
};

// Walks the MIB-II tables of the agent library into one list of rows:
// kind 1 the TCP connection table, 2 the interface table, 3 the route table.
// The interface walk joins the columns of the ifTable by their row index
// (agents leave cells out: a missing cell stays at its default, never takes
// another row's value), and reads, where the agent offers them, ifName,
// the 64-bit octet counters, ifConnectorPresent and ifAlias of the ifXTable,
// the relations of the ifStackTable, and whether the agent forwards and
// where its default routes leave.
class InterfaceTable : public QObject {
  Q_OBJECT

 public:
  static constexpr uint8_t kTcpConnections = 1;
  static constexpr uint8_t kInterfaces = 2;
  static constexpr uint8_t kRoutes = 3;

  // Loads and initialises the agent; raises TableError on failure.
  explicit InterfaceTable(QObject* owner = nullptr,
                          const QString& agentLibraryPath = DefaultAgentLibraryPath(),
                          const TickClock& clock = SystemClock());
  // Reads a device on the network through the remote agent library. A
  // walk waits at most `tableWaitMs` for tables the device is still
  // sending (0: until they are in, for a one-shot listing).
  static constexpr uint32_t kRemoteTableWaitMs = 250;
  // A remote agent fetches a snapshot for each tick of the meter: this is
  // the calculation timer's period, which the tick checks it matches.
  static constexpr uint32_t kRemotePollIntervalMs = 501;
  InterfaceTable(const RemoteSource& source, QObject* owner = nullptr,
                 const TickClock& clock = SystemClock(), uint32_t tableWaitMs = kRemoteTableWaitMs);
  ~InterfaceTable() override;

  // $VELMAR_AGENT_LIBRARY, else libmib2.so beside the executable or in an
  // installed tree's agent folder.
  static QString DefaultAgentLibraryPath();

  // Replaces the rows with a fresh walk of table `kind`; any other kind
  // leaves the list empty. On failure the rows built so far stay.
  void Refresh(uint8_t kind);

  // Walks every object under `root` for a caller that keeps its own rows
  // (NetStat's address-family-neutral pages), handing each to `visit` in
  // the agent's order; the rows stay as they are. Locked and marked busy
  // as a Refresh is; an agent error raises as it does there. An answer
  // outside `root`, the end of the view or an answer that does not move
  // forward ends the walk. (interface_table_walk.cpp)
  using SubtreeVisitor =
      std::function<void(const uint32_t* name, uint32_t length, const AsnAny& value)>;
  void WalkSubtree(const std::vector<uint32_t>& root, const SubtreeVisitor& visit);

  int Count() const { return static_cast<int>(Rows.size()); }
  // Valid until the next Refresh.
  const MibRow& Items(int i) const { return Rows.at(static_cast<size_t>(i)); }
  const std::vector<MibRow>& AllItems() const { return Rows; }
  // The interface walk's ifStackTable rows between two interfaces (the
  // rows with a 0 index are left out), in the agent's order.
  const std::vector<StackLayer>& Stack() const { return stack_; }

  bool Busy() const { return busy_; }
  bool SocketsStarted() const { return socketsStarted_; }

  // Held for a whole walk. Exposed so a caller (a test, a second thread)
  // can keep refreshes out for a while.
  std::recursive_timed_mutex& ListLock() { return listLock_; }

  // The device read, when the table reads one ("" for this computer).
  const QString& DeviceAddress() const { return device_; }

  // Agent queries made since construction.
  uint64_t AgentCalls() const { return agentCalls_; }

  // What the interface refresh learnt besides the rows: whether the agent
  // forwards (ipForwarding or ipv6IpForwarding say forwarding) and the
  // interfaces its default routes leave by (ipRouteTable, and
  // inetCidrRouteTable where the agent serves it), read only when it does.
  bool Forwarding() const { return forwarding_; }
  const std::vector<int32_t>& Uplinks() const { return uplinks_; }

  // Objects that say whether the interface set may have changed: -1 where
  // the agent has none.
  struct SetMarks {
    int64_t ifNumber = -1;
    int64_t upTime = -1;      // sysUpTime
    int64_t lastChange = -1;  // ifTableLastChange
    bool operator==(const SetMarks&) const = default;
  };
  // As read just before the latest interface refresh walked the tables.
  const SetMarks& Marks() const { return marks_; }

  // Whether the agent answers GET (ours do; a library of another kind may
  // serve GETNEXT alone, and is then walked whole for every reading).
  bool SupportsGet() const { return supportsGet_; }

  // One GET of the octet counters of chosen interfaces, with the set marks
  // and the time the agent took the reading. `ifXIn` and `ifXOut` ask for
  // the ifXTable's ifHCIn/OutOctets, else the ifTable's ifIn/OutOctets
  // (of whatever width the device sends there).
  struct CounterRequest {
    int32_t index = 0;
    bool ifXIn = false;
    bool ifXOut = false;
  };
  struct Counters {
    bool present = false;  // the agent has both counters of the interface
    bool wide = false;     // they came as Counter64
    uint64_t in = 0;
    uint64_t out = 0;
  };
  struct CounterReading {
    uint64_t takenUs = 0;  // the agent's clock; 0 when it does not say
    SetMarks marks;
    std::vector<Counters> counters;  // one per request
  };
  // Raises TableRefreshError when the agent fails. The reading stays valid
  // until the next call; asking for the same interfaces as the last time
  // (every tick, as a rule) allocates nothing.
  const CounterReading& ReadCounters(const std::vector<CounterRequest>& which);

 signals:
  // Busy changed.
  void statusChanged(velmar::InterfaceTable& sender);

 protected:
  virtual void DoStatusChange();
  virtual void SetBusy(bool value);
  // Runs one walk holding the list lock with the table marked busy; raises
  // when the lock cannot be had or a walk is already running.
  void RunWalk(const std::function<void()>& walk);

 private:
  void StartAgent(const QString& path, const TickClock& clock, const SnmpRemoteSource* source);
  void Query();
  void CheckEnd() const;
  bool IsNull() const { return binding_.value.asnType == ASN_NULL; }
  bool IsType(uint8_t type) const { return binding_.value.asnType == type; }
  int32_t Number() const;
  uint32_t Unsigned() const;
  MibRow::Address FirstFourOctets() const;
  QString DescrText() const;

  // Asks GET for `names`; the answers are in answers_ (ASN_NULL where the
  // agent has no such object) until the next query.
  void Get(const std::vector<std::vector<uint32_t>>& names);
  // The same for the names in asked_.
  void AskGet();
  SetMarks MarksOf(size_t first) const;
  // A value of the counter kinds: Counter32, Gauge32 (32 bits) or Counter64.
  static bool CounterOf(const AsnAny& value, uint64_t& v, bool& wide);

  void WalkInterfaces();
  void WalkInterfaceTable();
  // The binding's value into column `column` of ifTable row `r`.
  void StoreIfColumn(uint32_t column, MibRow& r) const;
  void StoreIfCounter(uint32_t column, MibRow& r) const;
  void WalkInterfaceLayers();
  // Points the walk at the start of layer column `k`.
  void StartLayerColumn(size_t k);
  void ReadDefaultRoutes();
  void WalkTcpConnections();
  void WalkRoutes();
  void StartWalk(const uint32_t (&firstObject)[10]);
  // One column of a walk: for every row, keep the value and ask for the
  // next; then the end check.
  template <typename Store>
  void Column(Store store) {
    for (MibRow& row : Rows) {
      store(row);
      Query();
    }
    CheckEnd();
  }

  std::vector<MibRow> Rows;
  std::vector<StackLayer> stack_;
  bool socketsStarted_ = false;
  SnmpAgent agent_;
  bool busy_ = false;
  std::recursive_timed_mutex listLock_;
  uint64_t agentCalls_ = 0;
  QString device_;

  uint32_t walkName_[64] = {};
  std::vector<uint32_t> subtreeName_;  // WalkSubtree's question
  SnmpVarBind binding_{};
  SnmpVarBindList bindingList_{};

  bool supportsGet_ = false;
  bool forwarding_ = false;
  std::vector<int32_t> uplinks_;
  SetMarks marks_;
  std::vector<std::vector<uint32_t>> asked_;
  std::vector<SnmpVarBind> answers_;
  // What asked_ holds when it holds a counter reading's names.
  std::vector<CounterRequest> askedCounters_;
  bool askedForCounters_ = false;
  CounterReading reading_;
};

}  // namespace velmar
