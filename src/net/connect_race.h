#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "net/endpoint.h"

namespace velmar {

// Connects to the first of several addresses that answers, the Happy
// Eyeballs way (RFC 8305): the addresses are tried in turn, the next one
// started when the attempt before it fails or has not connected within the
// attempt delay, with the earlier attempts left running; the first to
// connect wins and the others are closed. Driven by the event loop: start
// it, then let the loop run until Done().
class ConnectRace : public QObject {
 public:
  // RFC 8305's recommended Connection Attempt Delay.
  static constexpr std::chrono::milliseconds kAttemptDelay{250};

  struct Failure {
    Endpoint endpoint;
    uint16_t code;  // the error number (NetworkError)
  };

  ConnectRace(std::vector<Endpoint> endpoints, int socketType, int protocol,
              std::chrono::milliseconds attemptDelay = kAttemptDelay);
  // Closes every socket not taken.
  ~ConnectRace() override;
  ConnectRace(const ConnectRace&) = delete;
  ConnectRace& operator=(const ConnectRace&) = delete;

  void Start();
  // An attempt has connected, or every one has failed.
  bool Done() const;
  // The connected socket, the caller's from now on; -1 when none connected.
  int TakeSocket();
  // The address connected to, once one has.
  const Endpoint* Winner() const;
  // The attempts that failed, in the order they failed.
  const std::vector<Failure>& Failures() const { return failures_; }
  // When each attempt was started, from Start on.
  const std::vector<std::chrono::milliseconds>& StartTimes() const { return started_; }

 private:
  struct Attempt {
    size_t endpoint;
    int socket = -1;
    QSocketNotifier* writable = nullptr;  // a child of the race
  };

  void StartNext();
  // An attempt's outcome; a failure while the loop runs (not at its start)
  // starts the next attempt at once.
  void Finished(Attempt& attempt, int error, bool startNext);
  void Close(Attempt& attempt);
  bool Pending() const;

  std::vector<Endpoint> endpoints_;
  int socketType_;
  int protocol_;
  QTimer delay_;
  std::chrono::steady_clock::time_point start_;
  size_t next_ = 0;
  std::vector<std::unique_ptr<Attempt>> attempts_;
  int winner_ = -1;  // the socket
  const Endpoint* winnerEndpoint_ = nullptr;
  std::vector<Failure> failures_;
  std::vector<std::chrono::milliseconds> started_;
};

}  // namespace velmar
