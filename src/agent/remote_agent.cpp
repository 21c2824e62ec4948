#include "agent/remote_agent.h"

#include <algorithm>

namespace velmar::agent {

namespace {

// The objects that say whether the interface set may have changed, asked
// in every poll ahead of the counters: an agent that is slow to answer is
// mostly slow before it reads anything, so the counters after them are as
// new as the answer's arrival.
const std::vector<std::vector<uint32_t>>& MarkNames() {
  static const std::vector<std::vector<uint32_t>> names = {
      {1, 3, 6, 1, 2, 1, 1, 3, 0},      // sysUpTime
      {1, 3, 6, 1, 2, 1, 2, 1, 0},      // ifNumber
      {1, 3, 6, 1, 2, 1, 31, 1, 5, 0},  // ifTableLastChange
  };
  return names;
}

// The tables and the first readings may wait behind the polls at a device
// that answers one request at a time: they wait longer for an answer.
RemoteSettings Patient(RemoteSettings settings) {
  settings.timeoutMs = 3 * (settings.timeoutMs == 0 ? 1000 : settings.timeoutMs);
  return settings;
}

bool SameValue(const RemoteObject& a, const RemoteObject& b) {
  return a.type == b.type && a.number == b.number && a.bytes == b.bytes;
}

}  // namespace

bool RemoteAgent::Marks::operator==(const Marks& other) const {
  if (values.size() != other.values.size()) {
    return false;
  }
  for (size_t i = 0; i < values.size(); ++i) {
    // sysUpTime moves on: only a restart (a smaller value later) is a
    // change. `other` is the later of the two.
    if (i == 0 && values[i].type == other.values[i].type) {
      if (other.values[i].number < values[i].number) {
        return false;
      }
      continue;
    }
    if (!SameValue(values[i], other.values[i])) {
      return false;
    }
  }
  return true;
}

RemoteAgent::RemoteAgent(const RemoteSettings& settings, std::chrono::milliseconds pollInterval)
    : poller_(settings),
      tablesPoller_(Patient(settings)),
      directPoller_(Patient(settings)),
      interval_(pollInterval.count() > 0 ? pollInterval : std::chrono::milliseconds(1000)),
      tableWait_(settings.tableWaitMs),
      parts_(RemoteSubtrees().size()),
      asked_(RemoteSubtrees().size()),
      tried_(RemoteSubtrees().size()),
      partError_(RemoteSubtrees().size()) {}

RemoteAgent::~RemoteAgent() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  poller_.Cancel();
  tablesPoller_.Cancel();
  directPoller_.Cancel();
  wake_.notify_all();
  tablesWake_.notify_all();
  polled_.notify_all();
  for (std::thread* worker : {&worker_, &tablesWorker_}) {
    if (worker->joinable()) {
      worker->join();
    }
  }
}

bool RemoteAgent::Start() {
  std::unique_lock lock(mutex_);
  if (!worker_.joinable()) {
    worker_ = std::thread([this] { Run(); });
    tablesWorker_ = std::thread([this] { RunTables(); });
  }
  polled_.wait(lock, [this] { return polls_ > 0; });
  return reading_ != nullptr || pollAbsent_;
}

uint64_t RemoteAgent::Requests() const {
  return poller_.Requests() + tablesPoller_.Requests() + directPoller_.Requests();
}

void RemoteAgent::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const Clock::time_point due =
        polls_ == 0 ? Clock::now() : lastPollStart_ + interval_ + kStaleMargin / 2;
    wake_.wait_until(lock, due,
                     [this, due] { return stopping_ || demanded_ || Clock::now() >= due; });
    if (stopping_) {
      break;
    }
    if (!demanded_ && QuietForTables()) {
      wake_.wait(lock, [this] { return stopping_ || demanded_ || !QuietForTables(); });
      continue;
    }
    demanded_ = false;
    polling_ = true;
    lastPollStart_ = Clock::now();
    lock.unlock();
    Poll();
    lock.lock();
    polling_ = false;
    ++polls_;
    polled_.notify_all();
  }
}

void RemoteAgent::Poll() {
  const Clock::time_point started = Clock::now();
  std::vector<std::vector<uint32_t>> names = MarkNames();
  {
    std::lock_guard lock(mutex_);
    for (auto it = watched_.begin(); it != watched_.end();) {
      if (started - it->second > kWatchKeep) {
        it = watched_.erase(it);
      } else {
        // The marks are asked once, ahead of the rest, whoever asks.
        if (std::find(MarkNames().begin(), MarkNames().end(), it->first) == MarkNames().end()) {
          names.push_back(it->first);
        }
        ++it;
      }
    }
  }
  std::vector<RemoteObject> answers;
  Clock::time_point arrived{};
  try {
    poller_.Get(names, answers, arrived);
  } catch (const FetchError& e) {
    std::lock_guard lock(mutex_);
    pollError_ = e.what();
    pollAbsent_ = e.kind() == FetchError::Kind::kAbsent;
    return;
  }
  auto reading = std::make_shared<RemoteReading>();
  reading->taken = arrived;
  Marks marks;
  for (size_t i = 0; i < answers.size(); ++i) {
    if (i < MarkNames().size()) {
      marks.values.push_back(answers[i]);
    }
    if (answers[i].type != 0) {
      reading->objects.push_back(std::move(answers[i]));
    }
  }
  std::sort(reading->objects.begin(), reading->objects.end(),
            [](const RemoteObject& a, const RemoteObject& b) { return a.name < b.name; });
  std::sort(names.begin(), names.end());
  std::lock_guard lock(mutex_);
  reading_ = std::move(reading);
  polledNames_ = std::move(names);
  marks_ = std::move(marks);
  lastSuccess_ = arrived;
  lastPollTook_ = arrived - started;
  pollError_.clear();
  pollAbsent_ = false;
  tablesWake_.notify_all();
}

void RemoteAgent::RunTables() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    // Once after the device first answers, then as walks ask: a table is
    // fetched for the walk after the one that asked, with no poll of its
    // own between walks (a big table costs the device too much to fetch
    // for nobody).
    tablesWake_.wait(lock, [this] {
      return stopping_ || (reading_ != nullptr && (tablesFetches_ == 0 || tablesDemanded_));
    });
    if (stopping_) {
      break;
    }
    tablesDemanded_ = false;
    tablesFetching_ = true;
    lastTablesStart_ = Clock::now();
    lock.unlock();
    FetchTables();
    lock.lock();
    tablesFetching_ = false;
    ++tablesFetches_;
    polled_.notify_all();
    wake_.notify_all();  // the polls go on at their pace
  }
}

void RemoteAgent::FetchTables() {
  const auto& subtrees = RemoteSubtrees();
  std::vector<bool> fetch(subtrees.size());
  Marks marks;
  Clock::time_point started;
  {
    std::lock_guard lock(mutex_);
    started = Clock::now();
    marks = marks_;
    for (size_t i = 0; i < subtrees.size(); ++i) {
      fetch[i] = Wanted(i, started);
    }
  }
  std::string absent;  // a device that does not answer is not asked again in this pass
  // The interface tables first, published as soon as they are in: a
  // connection table a device is slow to give must not hold them back.
  for (const bool interfaces : {true, false}) {
    std::vector<bool> pass(subtrees.size());
    for (size_t i = 0; i < subtrees.size(); ++i) {
      pass[i] = fetch[i] && subtrees[i].interfaces == interfaces;
    }
    if (std::find(pass.begin(), pass.end(), true) == pass.end()) {
      continue;
    }
    std::vector<std::vector<RemoteObject>> fetched(subtrees.size());
    std::vector<std::string> errors(subtrees.size());
    FetchParts(pass, fetched, errors, absent);
    std::lock_guard lock(mutex_);
    if (TakeParts(pass, fetched, errors) && interfaces) {
      tablesMarks_ = marks;
      tablesTaken_ = started;
    }
    Publish(Clock::now());
    polled_.notify_all();
    wake_.notify_all();  // the quiet for the first tables may be over
  }
}

void RemoteAgent::FetchParts(const std::vector<bool>& fetch,
                             std::vector<std::vector<RemoteObject>>& fetched,
                             std::vector<std::string>& errors, std::string& absent) {
  const auto& subtrees = RemoteSubtrees();
  for (size_t i = 0; i < subtrees.size(); ++i) {
    if (!fetch[i]) {
      continue;
    }
    if (!absent.empty()) {
      errors[i] = absent;
      continue;
    }
    try {
      tablesPoller_.FetchSubtree(subtrees[i].root, fetched[i]);
    } catch (const FetchError& e) {
      errors[i] = e.what();
      if (e.kind() == FetchError::Kind::kAbsent) {
        absent = e.what();
      }
    }
  }
}

bool RemoteAgent::TakeParts(const std::vector<bool>& fetch,
                            std::vector<std::vector<RemoteObject>>& fetched,
                            const std::vector<std::string>& errors) {
  bool any = false;
  for (size_t i = 0; i < fetch.size(); ++i) {
    if (!fetch[i]) {
      continue;
    }
    tried_[i] = true;
    partError_[i] = errors[i];
    if (errors[i].empty()) {
      parts_[i] = std::make_shared<const std::vector<RemoteObject>>(std::move(fetched[i]));
      any = true;
    }
  }
  return any;
}

// Every part marked for the start at first, so a walk that comes later
// finds it; then those walks asked for lately.
bool RemoteAgent::Wanted(size_t part, Clock::time_point now) const {
  return (tablesFetches_ == 0 && RemoteSubtrees()[part].atStart) ||
         (asked_[part] != Clock::time_point{} && now - asked_[part] < kOnDemandKeep);
}

bool RemoteAgent::InterfaceTablesFresh(Clock::time_point now) const {
  return tablesTaken_ != Clock::time_point{} && tablesMarks_ == marks_ &&
         now - tablesTaken_ < kInterfaceTablesMaxAge;
}

void RemoteAgent::Publish(Clock::time_point taken) {
  auto snapshot = std::make_shared<RemoteSnapshot>();
  snapshot->parts = parts_;  // shared, not copied
  snapshot->taken = taken;
  latest_ = std::move(snapshot);
}

bool RemoteAgent::QuietForTables() const {
  return tablesFetching_ && tablesFetches_ == 0 && tablesTaken_ == Clock::time_point{};
}

std::string RemoteAgent::Staleness(Clock::time_point now) const {
  if (reading_ == nullptr) {
    return pollError_.empty() ? "The device at " + poller_.Where() + " has not answered yet."
                              : pollError_;
  }
  if (QuietForTables()) {
    return {};  // the fetch fails, and the quiet ends, when the device stops answering
  }
  const auto age = now - lastSuccess_;
  if (age > interval_ + kStaleMargin + lastPollTook_) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(age).count();
    return "No data from " + poller_.Where() + " for " + std::to_string(ms) + " ms" +
           (pollError_.empty() ? std::string(": it does not answer.") : ": " + pollError_);
  }
  return {};
}

template <typename Done>
bool RemoteAgent::WaitFor(std::unique_lock<std::mutex>& lock, Done done) {
  const auto finished = [this, &done] { return stopping_ || done(); };
  if (tableWait_.count() == 0) {
    polled_.wait(lock, finished);
    return true;
  }
  return polled_.wait_for(lock, tableWait_, finished);
}

std::shared_ptr<const RemoteReading> RemoteAgent::Reading(
    const std::vector<std::vector<uint32_t>>& names) {
  std::unique_lock lock(mutex_);
  const Clock::time_point now = Clock::now();
  bool unpolled = false;
  for (const auto& name : names) {
    watched_[name] = now;
    unpolled = unpolled || !std::binary_search(polledNames_.begin(), polledNames_.end(), name);
  }
  // A poll begun less than half an interval ago is the next reading
  // already; asking more often would only load the device. While the
  // first tables come, the latest marks do.
  if (unpolled || (!polling_ && !QuietForTables() && now - lastPollStart_ >= interval_ / 2)) {
    demanded_ = true;
    wake_.notify_all();
  }
  if (unpolled && reading_ != nullptr) {
    // Names the polls do not ask for yet (a new choice, the first
    // reading) come with the next poll, which this waits for: a reading
    // asked on a session of its own could arrive microseconds before a
    // poll's answer the device took milliseconds later, and the rate
    // between the two would be a spike. A poll already running began
    // without them.
    const uint64_t wanted = polls_ + (polling_ ? 2 : 1);
    polled_.wait(lock, [this, wanted] { return stopping_ || polls_ >= wanted; });
  }
  failure_ = Staleness(Clock::now());
  if (failure_.empty() && unpolled) {
    // The poll waited for failed: the reading at hand lacks the names.
    for (const auto& name : names) {
      if (!std::binary_search(polledNames_.begin(), polledNames_.end(), name)) {
        failure_ = pollError_.empty() ? "No reading from " + poller_.Where() + " yet." : pollError_;
        break;
      }
    }
  }
  if (!failure_.empty()) {
    return nullptr;
  }
  return reading_;
}

std::shared_ptr<const RemoteSnapshot> RemoteAgent::Snapshot(bool startsWalk, int subtree) {
  std::unique_lock lock(mutex_);
  const Clock::time_point now = Clock::now();
  const size_t part = static_cast<size_t>(subtree);
  const bool known = subtree >= 0;
  const bool interfaces = known && RemoteSubtrees()[part].interfaces;
  if (startsWalk && known) {
    asked_[part] = now;
    // A part never fetched yet is fetched next even when a fetch runs now
    // without it.
    if ((!tablesFetching_ && now - lastTablesStart_ >= interval_ / 2) || !tried_[part]) {
      tablesDemanded_ = true;
    }
    tablesWake_.notify_all();
  }
  if (reading_ == nullptr) {
    failure_ = Staleness(now);
    return nullptr;
  }
  if (startsWalk && known) {
    const auto ready = [this, part, interfaces] {
      return tried_[part] &&
             (!interfaces || !partError_[part].empty() || InterfaceTablesFresh(Clock::now()));
    };
    if (!WaitFor(lock, ready)) {
      failure_ = "The device at " + poller_.Where() +
                 " is still sending this table (a table of thousands of rows takes it long).";
      return nullptr;
    }
    if (!partError_[part].empty()) {
      failure_ = partError_[part];
      return nullptr;
    }
  }
  // After a wait for a table, the age is the one the walk meets.
  failure_ = Staleness(Clock::now());
  if (!failure_.empty() || latest_ == nullptr) {
    return nullptr;
  }
  return latest_;
}

bool RemoteAgent::DirectNext(const std::vector<uint32_t>& name, RemoteObject& out) {
  std::lock_guard lock(directMutex_);
  return directPoller_.Next(name, out);
}

std::string RemoteAgent::LastError() const {
  std::lock_guard lock(mutex_);
  return failure_.empty() ? pollError_ : failure_;
}

}  // namespace velmar::agent
