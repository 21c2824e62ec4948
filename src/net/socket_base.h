#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <cstdint>
#include <memory>

#include "net/idle_countdown.h"

namespace velmar {

// The root of the socket components: the socket handle, the time-out
// counter, the mode, and the readiness notifications. A notification is
// asked for by the wait loop that needs it and is delivered once, the
// notifier switched off until the next request, so a socket that nobody
// reads never keeps the event loop busy.
class SocketBase : public QObject {
  Q_OBJECT

 public:
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

  // Exists in non-blocking mode only, from the first Connect on.
  IdleCountdown* TimeCounter() const { return counter_.get(); }

 protected:
  // The readiness handlers, one call for each notification of the open
  // socket. AsyncError() is set before each: the error number of a failed
  // connect, else 0.
  virtual void HandleReadable() = 0;
  virtual void HandleWritable() = 0;
  virtual void HandleUrgentData() = 0;
  // The connect finished; a failed one has only AsyncError() set, this
  // handler is not called for it.
  virtual void HandleConnected() = 0;
  virtual void HandlePeerClosed() = 0;

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
  // it: the close notification is posted and arrives with the next run of
  // the queue, so the handler hears of every close the same way.
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
