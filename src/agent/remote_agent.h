#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent/remote_view.h"
#include "agent/snmp_poller.h"

namespace velmar::agent {

// Keeps a recent copy of a device's interface tables (and, while walks ask
// for them, its route and connection tables), fetched on worker threads,
// so a caller never waits on the network: it reads the latest complete
// snapshot, or learns at once that the device has stopped answering.
//
// Interface polls follow the caller's walks: a walk that starts asks for
// the next snapshot, which is then ready for the walk after it. Snapshots
// are thus spaced as the caller's ticks are, and a rate over two of them
// is as exact as the tick clock. Without walks a poll runs every interval,
// so a walk that comes later finds a fresh snapshot too.
//
// The route and connection tables come on a session and thread of their
// own: a device with thousands of connections needs seconds for them, and
// the readings must not wait for that.
class RemoteAgent {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kStaleMargin{200};
  // A part fetched on demand is left out of the table fetches when no walk
  // has asked for it for this long.
  static constexpr std::chrono::seconds kOnDemandKeep{30};

  // Raises FetchError when the settings cannot be used.
  RemoteAgent(const RemoteSettings& settings, std::chrono::milliseconds pollInterval);
  ~RemoteAgent();
  RemoteAgent(const RemoteAgent&) = delete;
  RemoteAgent& operator=(const RemoteAgent&) = delete;

  // Starts the workers and waits for the first interface poll: false,
  // with the reason in LastError, when that poll found the settings or the
  // device's answers wrong. A device that does not answer at all is polled
  // on (it may be off for now): true, and Snapshot() fails until it
  // answers. Once it has answered, the route and connection tables are
  // fetched once, so a walk that comes later finds them.
  bool Start();

  // The latest snapshot while it is younger than the poll interval plus
  // kStaleMargin plus the time the last good poll took (a device that
  // needs long for its tables is slow, not gone), else null (LastError
  // says why). A walk that starts (`startsWalk`) asks for the next poll of
  // the part of the tree it walks, `subtree`. A walk of a table fetched on
  // demand waits for that table's first fetch (so a one-shot walk finds
  // it; at most the settings' tableWaitMs, when given), and fails with the
  // reason while its latest fetch failed.
  std::shared_ptr<const RemoteSnapshot> Snapshot(bool startsWalk, int subtree);

  std::string LastError() const;

 private:
  void Run();
  void Poll();
  void RunTables();
  void FetchTables();
  // Whether the table poller is to fetch `part` now; under the lock.
  bool Wanted(size_t part, Clock::time_point now) const;
  // A new snapshot of the parts as they are now, taken at `taken`; under
  // the lock.
  void Publish(Clock::time_point taken);

  SnmpPoller poller_;        // the interface parts, every poll
  SnmpPoller tablesPoller_;  // the parts fetched on demand
  const Clock::duration interval_;
  const std::chrono::milliseconds tableWait_;  // 0 = until the fetch ends

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable tablesWake_;
  std::condition_variable polled_;
  std::shared_ptr<const RemoteSnapshot> latest_;
  // Per part of the tree: its objects as last fetched, when a walk last
  // asked for it (the clock's epoch: never), and (parts on demand) whether
  // a fetch has ended since the start and why the latest one failed.
  std::vector<std::vector<RemoteObject>> parts_;
  std::vector<Clock::time_point> asked_;
  std::vector<bool> tried_;
  std::vector<std::string> partError_;
  std::string pollError_;    // the latest interface poll's failure
  bool pollAbsent_ = false;  // ... was no answer at all
  std::string failure_;      // why the latest Snapshot() gave none
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
