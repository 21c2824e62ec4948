#include "agent/remote_agent.h"

namespace velmar::agent {

namespace {

bool OnDemand(size_t part) {
  return !RemoteSubtrees()[part].everyPoll;
}

}  // namespace

RemoteAgent::RemoteAgent(const RemoteSettings& settings, std::chrono::milliseconds pollInterval)
    : poller_(settings),
      tablesPoller_(settings),
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
  return latest_ != nullptr || pollAbsent_;
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
  const auto& subtrees = RemoteSubtrees();
  std::vector<std::vector<RemoteObject>> fetched(subtrees.size());
  try {
    for (size_t i = 0; i < subtrees.size(); ++i) {
      if (!OnDemand(i)) {
        poller_.FetchSubtree(subtrees[i].root, fetched[i]);
      }
    }
  } catch (const FetchError& e) {
    std::lock_guard lock(mutex_);
    pollError_ = e.what();
    pollAbsent_ = e.kind() == FetchError::Kind::kAbsent;
    return;
  }
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < subtrees.size(); ++i) {
    if (!OnDemand(i)) {
      parts_[i] = std::move(fetched[i]);
    }
  }
  Publish(Clock::now());
  tablesWake_.notify_all();
  lastSuccess_ = latest_->taken;
  lastPollTook_ = lastSuccess_ - started;
  pollError_.clear();
  pollAbsent_ = false;
}

void RemoteAgent::RunTables() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    // Once after the device first answers, then as walks ask: a table is
    // fetched for the walk after the one that asked, as the interface
    // polls are, but with no poll of its own between walks (a big table
    // costs the device too much to fetch for nobody).
    tablesWake_.wait(lock, [this] {
      return stopping_ || (latest_ != nullptr && (tablesFetches_ == 0 || tablesDemanded_));
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
  }
}

void RemoteAgent::FetchTables() {
  const auto& subtrees = RemoteSubtrees();
  std::vector<bool> fetch(subtrees.size());
  {
    std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    for (size_t i = 0; i < subtrees.size(); ++i) {
      fetch[i] = Wanted(i, now);
    }
  }
  std::vector<std::vector<RemoteObject>> fetched(subtrees.size());
  std::vector<std::string> errors(subtrees.size());
  std::string absent;  // a device that does not answer is not asked again in this pass
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
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < subtrees.size(); ++i) {
    if (fetch[i]) {
      tried_[i] = true;
      partError_[i] = errors[i];
      if (errors[i].empty()) {
        parts_[i] = std::move(fetched[i]);
      }
    }
  }
  // The interface answers stay as old as they are.
  if (latest_ != nullptr) {
    Publish(latest_->taken);
  }
}

// Every part on demand at first, so a walk that comes later finds it; then
// those walks asked for lately.
bool RemoteAgent::Wanted(size_t part, Clock::time_point now) const {
  return latest_ != nullptr && OnDemand(part) &&
         ((tablesFetches_ == 0 && RemoteSubtrees()[part].atStart) ||
          (asked_[part] != Clock::time_point{} && now - asked_[part] < kOnDemandKeep));
}

void RemoteAgent::Publish(Clock::time_point taken) {
  auto snapshot = std::make_shared<RemoteSnapshot>();
  snapshot->objects = Assemble(parts_);
  snapshot->taken = taken;
  latest_ = std::move(snapshot);
}

std::shared_ptr<const RemoteSnapshot> RemoteAgent::Snapshot(bool startsWalk, int subtree) {
  std::unique_lock lock(mutex_);
  const Clock::time_point now = Clock::now();
  const size_t part = static_cast<size_t>(subtree);
  const bool onDemand = subtree >= 0 && OnDemand(part);
  if (startsWalk) {
    if (subtree >= 0) {
      asked_[part] = now;
    }
    // A poll begun less than half an interval ago is the next snapshot
    // already. The table walks leave the interface polls alone: those are
    // spaced as the meter's ticks.
    if (onDemand) {
      // A part never fetched yet is fetched next even when a fetch runs
      // now without it.
      if ((!tablesFetching_ && now - lastTablesStart_ >= interval_ / 2) || !tried_[part]) {
        tablesDemanded_ = true;
      }
      tablesWake_.notify_all();
    } else if (!polling_ && now - lastPollStart_ >= interval_ / 2) {
      demanded_ = true;
      wake_.notify_all();
    }
  }
  if (latest_ == nullptr) {
    failure_ = pollError_;
    return nullptr;
  }
  if (startsWalk && onDemand) {
    const auto fetched = [this, part] { return stopping_ || tried_[part]; };
    if (tableWait_.count() == 0) {
      polled_.wait(lock, fetched);
    } else if (!polled_.wait_for(lock, tableWait_, fetched)) {
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
  const auto age = Clock::now() - lastSuccess_;
  if (age > interval_ + kStaleMargin + lastPollTook_) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(age).count();
    failure_ = "No data from " + poller_.Where() + " for " + std::to_string(ms) + " ms" +
               (pollError_.empty() ? std::string(": it does not answer.") : ": " + pollError_);
    return nullptr;
  }
  failure_.clear();
  return latest_;
}

std::string RemoteAgent::LastError() const {
  std::lock_guard lock(mutex_);
  return failure_.empty() ? pollError_ : failure_;
}

}  // namespace velmar::agent
