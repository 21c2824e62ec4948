#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <cstdint>
#include <memory>

#include "net/idle_countdown.h"

namespace velmar {

// The root of the socket components: the socket handle, the time-out
// counter, the mode, and the readiness notifications that stand in for
// Winsock's window messages. A notification is asked for by the wait loop
// that needs it and is delivered once (as Winsock re-enables a message only
// after the next call), so a socket that nobody reads never keeps the
// event loop busy.
class SocketBase : public QObject {
 public:
  // The notification events, numbered as Winsock numbers them.
  enum Event : uint16_t { kRead = 1, kWrite = 2, kOutOfBand = 4, kConnect = 16, kClose = 32 };

  explicit SocketBase(QObject* owner = nullptr);
  // Closes an open socket without firing events: the owner is going away.
  ~SocketBase() override;

  // Milliseconds slept at the end of every pass of a send or receive loop;
  // -1 (the default) for none.
  int Pause() const { return pause_; }
  void SetPause(int milliseconds) { pause_ = milliseconds; }

  int TimeOut() const { return timeOut_; }
  void SetTimeOut(int seconds);

  bool Blocking() const { return blocking_; }
  void SetBlocking(bool blocking) { blocking_ = blocking; }

  int Socket() const { return socket_; }
  int64_t LastResult() const { return lastResult_; }
  uint16_t AsyncError() const { return asyncError_; }

  QString Version() const { return QStringLiteral("2.02"); }
  void SetVersion(const QString&) {}

  // Exists in non-blocking mode only, from the first Connect on.
  IdleCountdown* TimeCounter() const { return counter_.get(); }

 protected:
  // Handles one notification for the open socket: `error` is the Winsock
  // code of a failed connect, else 0.
  virtual void WndProc(uint16_t event, uint16_t error) = 0;

  void SetSocket(int handle) { socket_ = handle; }
  void SetLastResult(int64_t result) { lastResult_ = result; }
  void SetAsyncError(uint16_t error) { asyncError_ = error; }

  // Starts the notifications for the open socket; the first write
  // readiness is reported as the connect notification.
  void SelectNotifications();
  // Stops the notifications of the open socket; any that were pending or
  // posted for it are dropped.
  void DropNotifications();
  // One notification when the socket becomes readable (data, close or
  // error) or writable.
  void WatchRead();
  void WatchWrite();
  // A wait loop read the end of the stream before a notification told of
  // it: the close notification is posted, as Winsock would have posted it,
  // and arrives with the next run of the queue.
  void PostPeerClose();

  void CreateTimeCounter();
  void FreeTimeCounter();
  void StartCounting();
  void StopCounting();
  void RestartCounting();
  bool TimedOut() const;

  // Sleeps in the event loop until something arrives (a notification, the
  // counter's tick, any other event) and handles it: a stalled peer costs
  // no CPU. Non-blocking mode only.
  void WaitForEvents();
  // The end of one pass of a wait loop: waits in the event loop until
  // something arrives when the pass could not move anything, else lets the
  // queue run once; then the pause. Blocking mode does neither.
  void EndPass(bool wait);

 private:
  void ReadReady();
  void WriteReady();
  void OutOfBandReady();
  void ReportPeerClose();

  int pause_ = -1;
  int timeOut_ = 60;
  std::unique_ptr<IdleCountdown> counter_;
  bool blocking_ = false;
  int socket_ = -1;
  int64_t lastResult_ = 0;
  uint16_t asyncError_ = 0;

  QSocketNotifier readNotifier_;
  QSocketNotifier writeNotifier_;
  QSocketNotifier outOfBandNotifier_;
  // Which socket the notifications belong to; a posted one that finds
  // another generation is dropped.
  uint64_t generation_ = 0;
  bool selected_ = false;
  bool connectPending_ = false;
  bool closeReported_ = false;
};

}  // namespace velmar
