#pragma once

#include <QIODevice>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "net/socket_base.h"

namespace velmar {

class StreamSocket;

// A connected-socket component: the per-exchange flags, the events, and
// the synchronous send and receive operations. In non-blocking mode every
// operation keeps the GUI event loop running while it waits, so handlers
// and ticks run nested inside it and may call Cancel.
class StreamSocket : public SocketBase {
  Q_OBJECT

 public:
  static constexpr int kPieceSize = 32768;
  // The line buffer holds 2047 bytes of a line, its line end included.
  static constexpr int kLineCapacity = 2047;
  // The most a response head (status and header lines) or a chunked
  // trailer may take: a peer that sends lines without end is refused.
  static constexpr int64_t kHeadLimit = 65536;

  explicit StreamSocket(QObject* owner = nullptr);

  // Closes an open socket and emits disconnected; idle, it does nothing.
  void Disconnect();
  // Ends the running operation with CanceledError and closes the
  // socket; safe with nothing running.
  void Cancel();
  void ResetState();

  // Sends the stream from `start` to its end, in pieces of 32768 bytes.
  void SendStream(QIODevice& stream, int64_t start);
  void SendBuffer(const char* buffer, int64_t count);
  // One line without its line feed; its first carriage return removed.
  QString ReadLine();
  // `length` bytes into the stream from `start`; 0 or below: until the
  // peer closes.
  void ReceiveStream(QIODevice& stream, int64_t length, int64_t start);
  // A chunked body, appended to the stream.
  void ReceiveChunked(QIODevice& stream);

  bool Canceled() const { return canceled_; }
  bool Connected() const { return connected_; }
  bool ClosedByPeer() const { return closedByPeer_; }
  int SocketType() const { return socketType_; }
  void SetSocketType(int type) { socketType_ = type; }
  int Protocol() const { return protocol_; }
  void SetProtocol(int protocol) { protocol_ = protocol; }

 signals:
  void connected(velmar::StreamSocket& sender);
  void disconnected(velmar::StreamSocket& sender);
  // Perc: per cent of the known size, -1 when unknown; byteCount: the
  // stream position; lineCount: -1.
  void transferProgress(velmar::StreamSocket& sender, int perc, int64_t byteCount, int lineCount);
  // The raw readiness events; the HTTP client leaves them unconnected.
  void dataAvailable(velmar::StreamSocket& sender);
  void readyToSend(velmar::StreamSocket& sender);
  void outOfBandData(velmar::StreamSocket& sender);

 protected:
  void HandleReadable() override;
  void HandleWritable() override;
  void HandleUrgentData() override;
  void HandleConnected() override;
  void HandlePeerClosed() override;

  void SetConnected(bool connected) { connected_ = connected; }
  // Raises the NetworkError of `error` (an errno value).
  [[noreturn]] static void RaiseErrno(int error);
  // The common end of a wait loop: time-out first, then cancel.
  void CheckTimeOutAndCancel();
  // Waits in the event loop, the idle time counted, until `done` says so,
  // the time-out passes or the operation is cancelled; the caller tells
  // which.
  template <typename Done>
  void WaitUntil(Done done) {
    StartCounting();
    while (!done() && !TimedOut() && !canceled_) {
      WaitForEvents();
    }
    StopCounting();
  }
  // ReadLine with a shared allowance: `budget`, when given, is reduced by
  // the bytes read, and a line that would take it below 0 raises the
  // stream error. `ended`, when given, tells whether the line ended with a
  // line feed (false: the peer closed first).
  QString ReadLineWithin(int64_t* budget, bool* ended = nullptr);

 private:
  // The head of every pass of a receive loop: raises CanceledError after a
  // cancel, false once the time-out has passed.
  bool StillReceiving();
  // The peer closed: noted, and the close notification posted.
  void PeerClosedStream();
  // ReadLineWithin's loop: the bytes up to and with the line feed, or up
  // to the peer's close or the time-out.
  std::string ReceiveLine(int64_t* budget);
  // Raises the stream error for a line over the buffer or the budget.
  void AppendLineByte(std::string& line, char byte, int64_t* budget);
  // ReceiveStream with the progress counted from `origin`.
  void Receive(QIODevice& stream, int64_t length, int64_t start, int64_t origin);
  void WriteOrFail(QIODevice& stream, const char* data, int64_t count);
  // What a wait loop does after a send or recv that failed with `error`.
  enum class NextPass {
    kRetry,  // interrupted, or stopped by a cancel or time-out the loop sees next
    kWait,   // the socket is now watched for the direction that blocked
  };
  // Raises the error itself when it is a real one.
  NextPass AfterFailedCall(int error, bool sending);

  bool canceled_ = false;
  bool connected_ = false;
  bool closedByPeer_ = false;
  int socketType_ = 1;
  int protocol_ = 0;
  std::vector<char> piece_;
};

}  // namespace velmar
