#include "remote_agent.h"

namespace velmar::agent {

RemoteAgent::RemoteAgent(const RemoteSettings& settings, std::chrono::milliseconds pollInterval)
    : poller_(settings),
      interval_(pollInterval.count() > 0 ? pollInterval : std::chrono::milliseconds(1000)),
      parts_(RemoteSubtrees().size()),
      asked_(RemoteSubtrees().size()) {
  // The first poll fetches every part, so a walk of any of them finds it.
  const Clock::time_point now = Clock::now();
  for (auto& asked : asked_) {
    asked = now;
  }
}

RemoteAgent::~RemoteAgent() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) {
    worker_.join();
  }
}

bool RemoteAgent::Start() {
  std::unique_lock lock(mutex_);
  if (!worker_.joinable()) {
    worker_ = std::thread([this] { Run(); });
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

// Runs without the lock: only this thread writes parts_ and the poller.
void RemoteAgent::Poll() {
  const Clock::time_point started = Clock::now();
  const auto& subtrees = RemoteSubtrees();
  std::vector<bool> fetch(subtrees.size());
  {
    std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    for (size_t i = 0; i < subtrees.size(); ++i) {
      fetch[i] = subtrees[i].everyPoll || now - asked_[i] < kOnDemandKeep;
    }
  }
  std::vector<std::vector<RemoteObject>> fetched(subtrees.size());
  try {
    for (size_t i = 0; i < subtrees.size(); ++i) {
      if (fetch[i]) {
        poller_.FetchSubtree(subtrees[i].root, fetched[i]);
      }
    }
  } catch (const FetchError& e) {
    std::lock_guard lock(mutex_);
    pollError_ = e.what();
    pollAbsent_ = e.kind() == FetchError::Kind::kAbsent;
    return;
  }
  auto snapshot = std::make_shared<RemoteSnapshot>();
  for (size_t i = 0; i < subtrees.size(); ++i) {
    if (fetch[i]) {
      parts_[i] = std::move(fetched[i]);
    }
  }
  snapshot->objects = Assemble(parts_);
  snapshot->taken = Clock::now();
  std::lock_guard lock(mutex_);
  latest_ = std::move(snapshot);
  lastSuccess_ = latest_->taken;
  lastPollTook_ = lastSuccess_ - started;
  pollError_.clear();
  pollAbsent_ = false;
}

std::shared_ptr<const RemoteSnapshot> RemoteAgent::Snapshot(bool startsWalk, int subtree) {
  std::unique_lock lock(mutex_);
  const Clock::time_point now = Clock::now();
  if (startsWalk) {
    if (subtree >= 0) {
      asked_[static_cast<size_t>(subtree)] = now;
    }
    // A poll begun less than half an interval ago is the next snapshot
    // already.
    if (!polling_ && now - lastPollStart_ >= interval_ / 2) {
      demanded_ = true;
      wake_.notify_all();
    }
  }
  if (latest_ == nullptr) {
    failure_ = pollError_;
    return nullptr;
  }
  const auto age = now - lastSuccess_;
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

uint64_t RemoteAgent::Polls() const {
  std::lock_guard lock(mutex_);
  return polls_;
}

}  // namespace velmar::agent
