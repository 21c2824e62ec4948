#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent/remote_view.h"
#include "agent/snmp_poller.h"

namespace velmar::agent {

// Speaks to a device on worker threads, so a caller never waits on the
// network longer than it allows: it reads the latest answers, or learns at
// once that the device has stopped answering.
//
// What is polled is what the caller asks for. Every GET the caller makes
// names objects (the counters of the interfaces it shows); a poll every
// interval asks the device for exactly those, with the objects that say
// whether its interface set changed (sysUpTime, ifNumber,
// ifTableLastChange), in one GET, and the caller's GET is answered from
// the latest poll, stamped with the time its answer arrived. An object not
// asked for a while is dropped from the polls.
//
// Whole tables come on a session and thread of their own, when walks ask
// for them: the interface tables when the caller walks them (it does when
// the set may have changed), and the route and connection tables while
// walks of them go on. A walk of the interface tables waits, within the
// settings' tableWaitMs, for tables as new as the device's marks of change.
//
// A walk of a part of the tree not mirrored here (the system group) is
// answered by asking the device, one GETNEXT at a time.
class RemoteAgent {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kStaleMargin{200};
  // A part fetched on demand is left out of the table fetches when no walk
  // has asked for it for this long.
  static constexpr std::chrono::seconds kOnDemandKeep{30};
  // An object no GET has named for this long is no longer polled.
  static constexpr std::chrono::seconds kWatchKeep{10};
  // Interface tables older than this are fetched again for a walk, even
  // when the marks of change stand still (a port renamed changes none).
  static constexpr std::chrono::seconds kInterfaceTablesMaxAge{55};

  // Raises FetchError when the settings cannot be used.
  RemoteAgent(const RemoteSettings& settings, std::chrono::milliseconds pollInterval);
  ~RemoteAgent();
  RemoteAgent(const RemoteAgent&) = delete;
  RemoteAgent& operator=(const RemoteAgent&) = delete;

  // Starts the workers and waits for the first poll: false, with the
  // reason in LastError, when that poll found the settings or the device's
  // answers wrong. A device that does not answer at all is polled on (it
  // may be off for now): true, and Reading() and Snapshot() fail until it
  // answers. Once it has answered, every table is fetched once, so a walk
  // that comes later finds it.
  bool Start();

  // The answers for `names` from the latest poll, which from now on asks
  // for them too; for names not polled yet it waits for the next poll,
  // so every reading comes from the one session and its times compare.
  // Null, with LastError saying why, while the device does not answer.
  std::shared_ptr<const RemoteReading> Reading(const std::vector<std::vector<uint32_t>>& names);

  // The latest tables while the device answers, else null (LastError says
  // why). A walk that starts (`startsWalk`) asks for a fetch of the part
  // of the tree it walks, `subtree`, for the walk after it; it waits for
  // that part's first fetch, and for the interface tables for a fetch as
  // new as the marks of change (at most the settings' tableWaitMs, when
  // given), and fails with the reason while its latest fetch failed.
  std::shared_ptr<const RemoteSnapshot> Snapshot(bool startsWalk, int subtree);

  // The object after `name` as the device has it now (a part of the tree
  // the tables do not mirror); false past the end of its view. Raises
  // FetchError.
  bool DirectNext(const std::vector<uint32_t>& name, RemoteObject& out);

  std::string LastError() const;

  // Requests sent to the device since the start.
  uint64_t Requests() const;

 private:
  struct Marks {
    std::vector<RemoteObject> values;  // sysUpTime, ifNumber, ifTableLastChange as answered
    bool operator==(const Marks& other) const;
  };

  void Run();
  void Poll();
  void RunTables();
  void FetchTables();
  // Fetches the parts marked in `fetch`; after a device that does not
  // answer (`absent` says so) asks no more of it.
  void FetchParts(const std::vector<bool>& fetch, std::vector<std::vector<RemoteObject>>& fetched,
                  std::vector<std::string>& errors, std::string& absent);
  // Takes what a fetch brought in as the parts to publish; under the lock.
  // True when a part came whole.
  bool TakeParts(const std::vector<bool>& fetch, std::vector<std::vector<RemoteObject>>& fetched,
                 const std::vector<std::string>& errors);
  // Whether the table poller is to fetch `part` now; under the lock.
  bool Wanted(size_t part, Clock::time_point now) const;
  // Whether the interface tables are as new as the device's marks say
  // they must be; under the lock.
  bool InterfaceTablesFresh(Clock::time_point now) const;
  // While the first interface tables come, the device is left to their
  // fetch: an agent that answers one request at a time, slowly, would
  // otherwise give the fetch one request between two polls, and a table
  // of hundreds of rows would take minutes. Polls are made only when a
  // reading asks names not polled yet; under the lock.
  bool QuietForTables() const;
  // A new snapshot of the parts as they are now; under the lock.
  void Publish(Clock::time_point taken);
  // Why no answer can be given now, or empty; under the lock.
  std::string Staleness(Clock::time_point now) const;
  // Waits on polled_ until `done` or the table wait ends; under the lock.
  template <typename Done>
  bool WaitFor(std::unique_lock<std::mutex>& lock, Done done);

  SnmpPoller poller_;        // the GET polls
  SnmpPoller tablesPoller_;  // the tables
  SnmpPoller directPoller_;  // walks outside the tables
  std::mutex directMutex_;
  const Clock::duration interval_;
  const std::chrono::milliseconds tableWait_;  // 0 = until the fetch ends

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable tablesWake_;
  std::condition_variable polled_;
  std::shared_ptr<const RemoteSnapshot> latest_;
  std::shared_ptr<const RemoteReading> reading_;
  // The names GETs asked for, with when they last did; and the names the
  // latest poll asked the device (sorted).
  std::map<std::vector<uint32_t>, Clock::time_point> watched_;
  std::vector<std::vector<uint32_t>> polledNames_;
  Marks marks_;        // from the latest poll
  Marks tablesMarks_;  // as they were when the published tables' fetch began
  Clock::time_point tablesTaken_{};
  // Per part of the tree: its objects as last fetched, when a walk last
  // asked for it (the clock's epoch: never), whether a fetch has ended
  // since the start and why the latest one failed.
  std::vector<RemoteSnapshot::Part> parts_;
  std::vector<Clock::time_point> asked_;
  std::vector<bool> tried_;
  std::vector<std::string> partError_;
  std::string pollError_;    // the latest poll's failure
  bool pollAbsent_ = false;  // ... was no answer at all
  std::string failure_;      // why the latest Reading() or Snapshot() gave none
  Clock::time_point lastPollStart_{};
  Clock::time_point lastSuccess_{};
  Clock::duration lastPollTook_{};
  bool demanded_ = false;
  bool polling_ = false;
  Clock::time_point lastTablesStart_{};
  bool tablesDemanded_ = false;
  bool tablesFetching_ = false;
  uint64_t tablesFetches_ = 0;
  bool stopping_ = false;
  uint64_t polls_ = 0;
  std::thread worker_;
  std::thread tablesWorker_;
};

}  // namespace velmar::agent
