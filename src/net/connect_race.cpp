#include "net/connect_race.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/socket_error.h"

namespace velmar {

ConnectRace::ConnectRace(std::vector<Endpoint> endpoints, int socketType, int protocol,
                         std::chrono::milliseconds attemptDelay)
    : endpoints_(std::move(endpoints)), socketType_(socketType), protocol_(protocol) {
  delay_.setSingleShot(true);
  delay_.setTimerType(Qt::PreciseTimer);  // a coarse timer fires up to 5 % early
  delay_.setInterval(attemptDelay);
  connect(&delay_, &QTimer::timeout, this, [this] { StartNext(); });
}

ConnectRace::~ConnectRace() {
  for (auto& attempt : attempts_) {
    Close(*attempt);
  }
  if (winner_ != -1) {
    ::close(winner_);
  }
}

void ConnectRace::Start() {
  start_ = std::chrono::steady_clock::now();
  StartNext();
}

bool ConnectRace::Pending() const {
  return std::any_of(attempts_.begin(), attempts_.end(),
                     [](const auto& a) { return a->socket != -1; });
}

bool ConnectRace::Done() const {
  return winner_ != -1 || winnerEndpoint_ != nullptr || (next_ >= endpoints_.size() && !Pending());
}

int ConnectRace::TakeSocket() {
  const int socket = winner_;
  winner_ = -1;
  return socket;
}

const Endpoint* ConnectRace::Winner() const {
  return winnerEndpoint_;
}

// Starts the next address's attempt; one that fails at once is no reason
// to wait, so the one after it starts then too.
void ConnectRace::StartNext() {
  while (!Done() && next_ < endpoints_.size()) {
    const size_t index = next_++;
    const Endpoint& endpoint = endpoints_[index];
    started_.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start_));
    auto attempt = std::make_unique<Attempt>();
    attempt->endpoint = index;
    attempt->socket =
        ::socket(endpoint.Family(), socketType_ | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol_);
    int result = attempt->socket == -1 ? -1 : 0;
    if (result == 0) {
      do {
        result = ::connect(attempt->socket, endpoint.Address(), endpoint.length);
      } while (result == -1 && errno == EINTR);
    }
    const int error = result == 0 ? 0 : errno;
    Attempt& a = *attempts_.emplace_back(std::move(attempt));
    if (result == -1 && error == EINPROGRESS) {
      a.writable = new QSocketNotifier(a.socket, QSocketNotifier::Write, this);
      connect(a.writable, &QSocketNotifier::activated, this, [this, &a] {
        int soError = 0;
        socklen_t length = sizeof soError;
        if (::getsockopt(a.socket, SOL_SOCKET, SO_ERROR, &soError, &length) != 0) {
          soError = errno;
        }
        Finished(a, soError, true);
      });
      delay_.start();
      return;
    }
    Finished(a, error, false);
  }
}

void ConnectRace::Finished(Attempt& attempt, int error, bool startNext) {
  if (error == 0) {
    winner_ = attempt.socket;
    winnerEndpoint_ = &endpoints_[attempt.endpoint];
    attempt.socket = -1;
    delay_.stop();
    for (auto& other : attempts_) {
      Close(*other);
    }
    return;
  }
  failures_.push_back({endpoints_[attempt.endpoint], NetworkCodeFromErrno(error)});
  Close(attempt);
  // A failure starts the next attempt at once, not after the delay.
  if (startNext && next_ < endpoints_.size()) {
    delay_.stop();
    StartNext();
  }
}

void ConnectRace::Close(Attempt& attempt) {
  if (attempt.writable != nullptr) {
    // Possibly the notifier whose signal runs now: deleted once it returns.
    attempt.writable->setEnabled(false);
    attempt.writable->deleteLater();
    attempt.writable = nullptr;
  }
  if (attempt.socket != -1) {
    ::close(attempt.socket);
    attempt.socket = -1;
  }
}

}  // namespace velmar
